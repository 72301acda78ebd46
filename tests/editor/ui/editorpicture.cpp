// Puts an editor window on the screen for a person (or a screenshot) to look at, in the
// light palette or, with --dark, a dark one: an 800 × 500 screenshot with a crop, so that
// "Reset Crop" shows, at the 720-pixel minimum width or, with --panel, at its opening size
// with the colour and size panel open. It prints "READY" once shown and runs until killed.
//
//   quandrel-editor-picture [--dark] [--panel]

#include "DarkPalette.h"
#include "EditorView.h"
#include "EditorWindowController.h"
#include "Translations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

#include <cstdio>

using namespace quandrel;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    installTranslations(app); // LANG=de_DE.UTF-8 shows the German window
    QStringList args = QApplication::arguments().mid(1);
    const bool dark = args.removeAll(QStringLiteral("--dark")) > 0;
    const bool panel = args.removeAll(QStringLiteral("--panel")) > 0;
    if (!args.isEmpty())
        return 2;
    if (dark)
        QApplication::setPalette(test::darkPalette());

    QImage image(800, 500, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 800, 500);
    sky.setColorAt(0, QColor(70, 130, 200));
    sky.setColorAt(1, QColor(230, 180, 90));
    p.fillRect(image.rect(), sky);
    p.end();

    EditorWindowController editor(CapturedImage{image, 1}, {}, {}, {}, QRectF(0, 0, 1440, 900));
    editor.editorDocument().applyCrop(QRectF(40, 40, 720, 420));
    editor.show();
    if (!panel)
        editor.window()->resize(720, 420);
    QTimer::singleShot(300, [&] {
        editor.window()->move(20, 20);
        if (panel)
            editor.view()->styleButton()->click();
        std::printf("READY %d %d\n", editor.window()->width(), editor.window()->height());
        std::fflush(stdout);
    });
    return app.exec();
}
