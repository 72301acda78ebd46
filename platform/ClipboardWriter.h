#pragma once

// Putting Quandrel's copies on the clipboard where the session's own way is better than the
// toolkit's: on a Wayland compositor that hands the clipboard only to the window with the
// keyboard (KWin), the window that copies (an overlay already gone, a panel that never takes
// the focus) does not have it, so the copy goes through the compositor's data-control
// protocol instead. Where the session has no such way, offer() answers false and the caller
// puts the content on Qt's clipboard.

#include <QByteArray>

#include <cstdint>
#include <string>
#include <vector>

namespace quandrel {

// One representation of a copy: its MIME type and its bytes, complete.
struct ClipboardItem {
    std::string mimeType;
    QByteArray data;
};
using ClipboardContent = std::vector<ClipboardItem>;

class ClipboardWriter {
public:
    virtual ~ClipboardWriter() = default;
    // Replaces the clipboard's content with `content`, served to every program that asks
    // until another program takes the clipboard. Called on the event loop's thread; readers
    // are served away from it. false: not done, the toolkit's clipboard has to serve.
    virtual bool offer(ClipboardContent content) = 0;
    // How often another program has taken the clipboard since this writer began: a copy
    // prepared meanwhile is older than the clipboard and is not offered.
    virtual std::uint64_t takenByOthers() const = 0;
    // Whether copies go through this writer rather than the toolkit's clipboard.
    virtual bool takesCopies() const = 0;
};

// The toolkit's clipboard serves (X11, where any client may own the selection; GNOME).
class PlainClipboard final : public ClipboardWriter {
public:
    bool offer(ClipboardContent) override { return false; }
    std::uint64_t takenByOthers() const override { return 0; }
    bool takesCopies() const override { return false; }
};

} // namespace quandrel
