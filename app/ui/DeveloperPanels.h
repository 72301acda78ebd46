#pragma once

// A way to try the floating panels by hand before captures produce them:
//
//   quandrel --show-thumbnail FILE.png   shows FILE.png as the thumbnail after a capture
//   quandrel --pin FILE.png              pins FILE.png on the screen
//
// The options go to the running Quandrel like command URLs (starting it first when none
// runs), as one message each that names the file by its absolute path. Only the file named
// on the command line is ever opened, only as a PNG of at most maxPixels pixels (its header
// is read at once, so a refusal reaches the client), and it is decoded off the main thread.

#include "CapturedImage.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace quandrel {

class DeveloperPanels {
public:
    // 16 k × 16 k: a screenshot of any desktop, and no more than a gigabyte decoded.
    static constexpr qint64 maxPixels = qint64(16384) * 16384;

    // The messages for the running instance that show these files (relative paths are taken
    // from the current folder).
    static QStringList messages(const QStringList& thumbnails, const QStringList& pins);

    using Show = std::function<void(const CapturedImage& image)>;
    using Toast = std::function<void(const QString& text, const QString& symbol)>;
    // The panels are the capture's own: its thumbnail and its pins, with their buttons.
    DeveloperPanels(Show showThumbnail, Show pin, Toast toast);

    // Carries out a message made by messages(): none when it is not one; otherwise whether
    // the file is a PNG it shows. The panel appears once the image is decoded, on a later
    // turn of the event loop.
    std::optional<bool> handle(const QString& message);

    // Why the file can't be shown, from its header alone; none when it can.
    static std::optional<QString> refusal(const QString& path);

private:
    Show m_showThumbnail;
    Show m_pin;
    Toast m_toast;
    QObject m_decodings; // the watchers of decodings under way, which go with this object
};

} // namespace quandrel
