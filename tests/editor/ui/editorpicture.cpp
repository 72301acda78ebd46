// Puts an editor window on the screen for a person (or a screenshot) to look at, in the
// light palette or, with --dark, a dark one: an 800 × 500 screenshot with a crop, so that
// "Reset Crop" shows, at the 720-pixel minimum width or, with --panel, at its opening size
// with the colour and size panel open. With --tools it carries one of each newer kind (pen,
// marker, blur, a filled rectangle, two lines of text) and the Copy Text button. It prints
// "READY" once shown and runs until killed.
//
//   quandrel-editor-picture [--dark] [--panel] [--tools]

#include "DarkPalette.h"
#include "EditorView.h"
#include "EditorWindowController.h"
#include "Translations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

#include <cmath>
#include <cstdio>

using namespace quandrel;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    installTranslations(app); // LANG=de_DE.UTF-8 shows the German window
    QStringList args = QApplication::arguments().mid(1);
    const bool dark = args.removeAll(QStringLiteral("--dark")) > 0;
    const bool panel = args.removeAll(QStringLiteral("--panel")) > 0;
    const bool tools = args.removeAll(QStringLiteral("--tools")) > 0;
    if (!args.isEmpty())
        return 2;
    if (dark)
        QApplication::setPalette(test::darkPalette());
    using Kind = Annotation::Kind;

    QImage image(800, 500, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 800, 500);
    sky.setStops({{0, QColor(70, 130, 200)}, {1, QColor(230, 180, 90)}});
    p.fillRect(image.rect(), sky);
    if (tools) {
        p.setPen(Qt::white);
        p.setFont(QFont(QStringLiteral("DejaVu Sans"), 16));
        p.drawText(QRect(420, 330, 300, 60), Qt::AlignCenter, QStringLiteral("account 4521-9987"));
    }
    p.end();

    EditorWindowController editor(CapturedImage{image, 1}, {}, {}, {}, QRectF(0, 0, 1440, 900));
    if (tools) {
        EditorDocument& doc = editor.editorDocument();
        QList<QPointF> wave;
        for (int i = 0; i <= 40; ++i)
            wave.append(QPointF(80 + i * 6, 380 + 30 * std::sin(i / 4.0)));
        doc.add(Annotation::freehand(Kind::Type::pen, wave, editorPalette[4], 4));
        doc.add(Annotation::freehand(Kind::Type::marker, {{90, 300}, {200, 304}, {330, 300}}, editorPalette[2], 4));
        doc.add(Annotation::create(Kind::blur(), {420, 110}, {720, 170}, editorPalette[0], 4));
        doc.add(Annotation::create(Kind::rectangle(Kind::Fill::solid), {500, 220}, {600, 280}, editorPalette[3], 4));
        doc.add(Annotation::create(Kind::text(QStringLiteral("First line\nand a second")), {90, 180}, {90, 180}, editorPalette[6], 4));
        doc.setTool(EditorTool::pen);
        doc.setFill(Kind::Fill::solid);
        editor.onReadText = [](const CapturedImage&) {};
    } else {
        editor.editorDocument().applyCrop(QRectF(40, 40, 720, 420));
    }
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
