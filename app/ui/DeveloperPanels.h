#pragma once

// A way to try the floating panels by hand before captures produce them:
//
//   quandrel --show-thumbnail FILE.png   shows FILE.png as the thumbnail after a capture
//   quandrel --pin FILE.png              pins FILE.png on the screen
//
// The options go to the running Quandrel like command URLs (starting it first when none
// runs), as one message each that names the file by its absolute path. Only the file named
// on the command line is ever opened.

#include "CapturedImage.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace quandrel {

class DeveloperPanels {
public:
    // The messages for the running instance that show these files (relative paths are taken
    // from the current folder).
    static QStringList messages(const QStringList& thumbnails, const QStringList& pins);

    using Show = std::function<void(const CapturedImage& image)>;
    using Toast = std::function<void(const QString& text, const QString& symbol)>;
    // The panels are the capture's own: its thumbnail and its pins, with their buttons.
    DeveloperPanels(Show showThumbnail, Show pin, Toast toast);

    // Carries out a message made by messages(); false when it is not one.
    bool handle(const QString& message);

private:
    Show m_showThumbnail;
    Show m_pin;
    Toast m_toast;
};

} // namespace quandrel
