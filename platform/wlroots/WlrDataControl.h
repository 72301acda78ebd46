#pragma once

// The clipboard through zwlr_data_control_manager_v1 (sway and other wlroots compositors,
// KWin): a copy becomes the seat's selection whatever window has the keyboard. It runs on a
// plain libwayland-client connection of its own beside Qt's, whose events the event loop's
// thread reads; each reader's request is written on a thread of its own, so a large PNG and
// a slow reader never hold up the event loop, and a reader that stops reading is given up
// after ten seconds.

#include "ClipboardWriter.h"

#include <memory>

namespace quandrel::wlroots {

class WlrDataControl final : public ClipboardWriter {
public:
    // The data control of $WAYLAND_DISPLAY's first seat; none without a Wayland display or
    // where the compositor offers no data control. Needs a Qt event loop on this thread.
    static std::unique_ptr<WlrDataControl> open();
    ~WlrDataControl() override;
    WlrDataControl(const WlrDataControl&) = delete;
    WlrDataControl& operator=(const WlrDataControl&) = delete;

    // false once the compositor has ended the connection or the seat's device.
    bool offer(ClipboardContent content) override;
    std::uint64_t takenByOthers() const override;
    bool takesCopies() const override;

    struct Connection;

private:
    explicit WlrDataControl(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> m_connection;
};

// The data control where the compositor offers it, the toolkit's clipboard elsewhere.
std::unique_ptr<ClipboardWriter> sessionClipboard();

} // namespace quandrel::wlroots
