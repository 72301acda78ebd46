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
#include "PanelScreens.h"
#include "ThumbnailController.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quandrel {

class PinWindow;

class DeveloperPanels : public QObject {
    Q_OBJECT
public:
    // The messages for the running instance that show these files (relative paths are taken
    // from the current folder).
    static QStringList messages(const QStringList& thumbnails, const QStringList& pins);

    using Bookmark = std::function<std::optional<QByteArray>()>;
    DeveloperPanels(PanelScreens screens, Bookmark bookmark, std::function<void()> beep);
    ~DeveloperPanels() override;

    // Carries out a message made by messages(); false when it is not one.
    bool handle(const QString& message);

private:
    void showThumbnail(const CapturedImage& image);
    void pin(const CapturedImage& image);
    void toast(const QString& text, const QString& symbol);

    PanelScreens m_screens;
    Bookmark m_bookmark;
    std::function<void()> m_beep;
    ThumbnailController m_thumbnail;
    std::vector<PinWindow*> m_pins;
};

} // namespace quandrel
