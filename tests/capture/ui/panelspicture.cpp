// Puts a pin, a thumbnail and a toast on the screen for a person (or a screenshot) to look
// at, in the light palette or, with --dark, a dark one. It prints the thumbnail's centre
// ("THUMBNAIL x y") once everything is shown and runs until killed; the toast is shown
// again whenever it goes.
//
//   quandrel-panels-picture [--dark] IMAGE.png
//   quandrel-panels-picture --symbols OUT.png   draws the symbol set at 16 points on scale
//                                               1 and 2 and at 96, dark on light and light
//                                               on dark, into one sheet

#include "DarkPalette.h"
#include "PinWindow.h"
#include "ThumbnailController.h"
#include "Toast.h"
#include "Display.h"
#include "X11Desktop.h"

#include "Symbols.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QImage>
#include <QPalette>
#include <QTimer>

#include <cstdio>

using namespace quandrel;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("--symbols")) {
        const QStringList names = QDir(QStringLiteral(":/icons")).entryList({QStringLiteral("*.svg")});
        QImage sheet(40 + 2 * (16 + 32 + 96 + 48), 24 + int(names.size()) * 110, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        QPainter p(&sheet);
        p.fillRect(QRect(sheet.width() / 2, 0, sheet.width() / 2, sheet.height()), QColor(0x2b, 0x2b, 0x2e));
        int y = 12;
        for (QString name : names) {
            name.chop(4);
            for (int half = 0; half < 2; ++half) {
                const QColor ink = half ? QColor(0xee, 0xee, 0xee) : QColor(0x20, 0x20, 0x20);
                int x = 12 + half * sheet.width() / 2;
                p.drawPixmap(x, y, ui::symbolPixmap(name, QSize(16, 16), ink, 1));
                const QImage twice = ui::symbolPixmap(name, QSize(16, 16), ink, 2).toImage();
                p.drawImage(QRect(x + 24, y, 32, 32), twice);
                p.drawPixmap(x + 64, y, ui::symbolPixmap(name, QSize(96, 96), ink, 1));
            }
            y += 110;
        }
        p.end();
        return sheet.save(args[1]) ? 0 : 1;
    }
    const bool dark = args.removeAll(QStringLiteral("--dark")) > 0;
    if (args.size() != 1)
        return 2;
    if (dark)
        QApplication::setPalette(quandrel::test::darkPalette());
    const QImage image(args.front());
    auto desktop = x11::X11Desktop::open();
    if (image.isNull() || !desktop)
        return 1;
    PanelScreens screens{[&] { return desktop->services().displays->displays(); }, {}};

    PinWindow pin(image, 1, {}, {}, {}, screens);
    pin.show();
    pin.setZoom(0.5); // out of the thumbnail's corner
    ThumbnailController thumbnail(screens);
    thumbnail.show(CapturedImage{image, 1}, {});
    auto toast = [&] { ui::showToast(QStringLiteral("Copied"), QStringLiteral("checkmark.circle.fill"), {}); };
    toast();
    QTimer again;
    QObject::connect(&again, &QTimer::timeout, [&] {
        if (!ui::ToastPresenter::shared().current())
            toast();
    });
    again.start(50);
    QTimer::singleShot(300, [&] {
        const QPoint centre = thumbnail.panel()->geometry().center();
        std::printf("THUMBNAIL %d %d\n", centre.x(), centre.y());
        std::fflush(stdout);
    });
    return app.exec();
}
