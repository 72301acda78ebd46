#include "DeveloperEditor.h"

#include "EditorWindowController.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QImageReader>
#include <QStandardPaths>

#include <cmath>
#include <cstdio>
#include <memory>

namespace quandrel {

int runDeveloperEditor(const QStringList& files, const std::vector<Display>& displays)
{
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: quandrel --edit FILE.png [FILE.png…]\n");
        return 2;
    }
    // The visible frame of the display under the pointer comes from the desktop itself (docks
    // and panels left out); without one the fallback frame is used.
    const QPoint pointer = QCursor::pos();
    const std::optional<QRectF> visibleFrame =
        EditorWindowController::visibleFrameUnderPointer(displays, Point{double(pointer.x()), double(pointer.y())});

    auto open = std::make_shared<int>(0);
    const auto quitWhenDone = [open] {
        if (*open > 0)
            return;
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (!clipboard->ownsClipboard())
            return QCoreApplication::quit();
        QObject::connect(clipboard, &QClipboard::dataChanged, qApp, [clipboard] {
            if (!clipboard->ownsClipboard())
                QCoreApplication::quit();
        });
    };

    for (const QString& file : files) {
        QImageReader reader(file);
        reader.setAutoTransform(true);
        QImage image = reader.read();
        if (image.isNull()) {
            std::fprintf(stderr, "Could not read %s: %s\n", qPrintable(file), qPrintable(reader.errorString()));
            continue;
        }
        // Quandrel writes 72 × scale DPI into its screenshots.
        const double dpi = image.dotsPerMeterX() * 0.0254;
        const double scale = std::max(1.0, std::round(dpi / 72));
        auto* controller = new EditorWindowController(
            {std::move(image), scale}, [] { return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) + QStringLiteral("/Quandrel"); },
            [](const QImage& pinned, double) {
                std::fprintf(stderr, "Pin: %d × %d pixels (pinned windows open from the tray application)\n",
                             pinned.width(), pinned.height());
            },
            [](const QString& text, const QString& symbol) {
                std::fprintf(stderr, "Toast: %s [%s]\n", qPrintable(text), qPrintable(symbol));
            },
            visibleFrame);
        ++*open;
        controller->onClose = [open, quitWhenDone](EditorWindowController* closing) {
            closing->deleteLater();
            --*open;
            quitWhenDone();
        };
        controller->show();
    }
    if (*open == 0)
        return 1;
    return QApplication::exec();
}

} // namespace quandrel
