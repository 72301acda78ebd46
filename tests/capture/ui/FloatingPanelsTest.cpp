// The thumbnail, toasts and pins as widgets, without a display server (offscreen): that they
// follow the panel rules (tested on their own) and the events a person makes, on a clock the
// test advances.

#include "FakeOwnWindows.h"
#include "FloatingPanel.h"
#include "PinWindow.h"
#include "ScreenSpace.h"
#include "ThumbnailController.h"
#include "ThumbnailView.h"
#include "Toast.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include "ManualClock.h"

#include <gtest/gtest.h>

namespace quandrel {

namespace {

using test::ManualClock;

// Two displays side by side; the right one is taller and has a dock strut at its bottom.
const std::vector<Display> desk = {
    Display{"left", Rect{0, 0, 1920, 1080}, Rect{0, 0, 1920, 1050}, 1},
    Display{"right", Rect{1920, 0, 2560, 1440}, Rect{1920, 64, 2560, 1376}, 1},
};

QImage filled(int width, int height)
{
    QImage image(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32);
    image.fill(qRgb(40, 120, 200));
    return image;
}

void hover(QWidget* widget, bool in)
{
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(widget, in ? static_cast<QEvent*>(&enter) : &leave);
}

void flush()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override { ui::FloatingPanel::setCompositingOverride(true); }
    void TearDown() override { flush(); }

    std::vector<Display> displays = desk;
    std::optional<Point> pointer = Point{2000, 100}; // on the right display
    PanelScreens screens{[this] { return displays; }, [this] { return pointer; }};
    ManualClock clock;
};

} // namespace

// Where a panel goes is PanelLayout's (and the X11 test's); here only that degenerate images
// and a desk without displays still give a panel.
TEST_F(PanelTest, DegenerateImagesAndNoDisplayStillShowAThumbnail)
{
    ThumbnailController controller(screens, clock.scheduler());
    for (const QSize pixels : {QSize(0, 0), QSize(20000, 200)}) {
        controller.show(CapturedImage{filled(pixels.width(), pixels.height()), 1}, {});
        controller.panel()->grab();
    }
    EXPECT_EQ(controller.panel()->size(), QSize(220, 60));
    displays.clear();
    controller.show(CapturedImage{filled(100, 100), 1}, {});
    EXPECT_TRUE(controller.panel()->isVisible());
    EXPECT_EQ(controller.panel()->geometry(), QRect(0, 0, 220, 220));
}

TEST_F(PanelTest, ThumbnailTimerStopsWhileHoveredAndRestartsInFull)
{
    ThumbnailController controller(screens, clock.scheduler());
    controller.show(CapturedImage{filled(800, 600), 1}, {});
    QPointer<ui::FloatingPanel> panel = controller.panel();
    ThumbnailView* view = controller.view();
    clock.advance(5000);
    hover(view, true);
    EXPECT_TRUE(view->hovering());
    for (QAbstractButton* button : view->buttons())
        EXPECT_TRUE(button->isVisibleTo(view));
    clock.advance(20000);
    EXPECT_EQ(controller.panel(), panel.data()) << "kept while hovered";
    hover(view, false);
    EXPECT_FALSE(view->buttons()[0]->isVisibleTo(view));
    clock.advance(7999);
    EXPECT_EQ(controller.panel(), panel.data());
    clock.advance(1);
    EXPECT_EQ(controller.panel(), nullptr);
    flush();
    EXPECT_TRUE(panel.isNull());
    // A timer of a replaced thumbnail does not remove its successor early.
    controller.show(CapturedImage{filled(800, 600), 1}, {});
    clock.advance(4000);
    controller.show(CapturedImage{filled(800, 600), 1}, {});
    clock.advance(4000);
    EXPECT_NE(controller.panel(), nullptr);
    clock.advance(4000);
    EXPECT_EQ(controller.panel(), nullptr);
}

TEST_F(PanelTest, ThumbnailButtonsDismissFirstThenAct)
{
    ThumbnailController controller(screens, clock.scheduler());
    std::vector<std::string> log;
    auto action = [&](std::string name) { return [&, name] { log.push_back(name + (controller.panel() ? " while shown" : "")); }; };
    const QStringList tips = {"Close", "Edit", "Pin", "Save", "Copy"};
    for (int i = 0; i < 5; ++i) {
        controller.show(CapturedImage{filled(400, 300), 1}, {action("edit"), action("pin"), action("save"), action("copy")});
        EXPECT_EQ(controller.view()->buttons()[std::size_t(i)]->toolTip(), tips[i]);
        controller.view()->buttons()[std::size_t(i)]->click();
        flush();
        EXPECT_EQ(controller.panel(), nullptr);
    }
    EXPECT_EQ(log, (std::vector<std::string>{"edit", "pin", "save", "copy"})); // the close button only dismisses
    controller.dismiss(); // idempotent
}

TEST_F(PanelTest, ASecondToastReplacesTheFirstAndStaysItsFullTime)
{
    ui::ToastPresenter toasts(clock.scheduler());
    const QRect area(100, 50, 600, 500); // on the offscreen platform's one screen
    toasts.show("Copied", "checkmark.circle.fill", area);
    QPointer<ui::FloatingPanel> first = toasts.current();
    ASSERT_TRUE(first);

    clock.advance(1000);
    toasts.show("Saved Quandrel 2026-12-05 at 15.49.42.png", "square.and.arrow.down.fill", area);
    flush();
    EXPECT_TRUE(first.isNull()) << "the first toast goes at once";
    EXPECT_EQ(toasts.currentText(), "Saved Quandrel 2026-12-05 at 15.49.42.png");
    clock.advance(1599); // the first toast's time is up: nothing happens to the second
    EXPECT_NE(toasts.current(), nullptr);
    clock.advance(1);
    EXPECT_EQ(toasts.current(), nullptr);
    // A frame on no screen (unplugged) gives the primary screen's visible area.
    toasts.show("Copied", "checkmark.circle.fill", QRect(90000, 90000, 100, 100));
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(toasts.current()->geometry()));
}

TEST_F(PanelTest, PinFitsTheScreenAndTheWheelZoomsAroundItsCentreOrWithAltSetsTheOpacity)
{
    displays = {Display{"laptop", Rect{0, 0, 1440, 900}, Rect{0, 0, 1440, 875}, 1}};
    pointer = Point{100, 100};
    PinWindow pin(filled(4000, 3000), 1, {}, {}, {}, screens);
    pin.show();
    EXPECT_EQ(pin.size(), QSize(933, 700));
    const QPoint centre = pin.geometry().center();
    for (int i = 0; i < 100; ++i)
        pin.handleWheel(-1, false, false);
    EXPECT_EQ(pin.size(), QSize(400, 300)); // zoom 0.1
    EXPECT_NEAR(pin.geometry().center().x(), centre.x(), 1);
    EXPECT_NEAR(pin.geometry().center().y(), centre.y(), 1);

    // A high-resolution wheel sends pixel deltas: 40 pixels are a fifth more.
    pin.setZoom(1);
    QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(0, 40), QPoint(0, 40), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&pin, &wheel);
    EXPECT_DOUBLE_EQ(pin.zoom(), 1.2);
    // Alt + wheel changes opacity, whichever way Qt reports the wheel, and does not zoom.
    for (int i = 0; i < 40; ++i) {
        QWheelEvent altWheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(-120, 0), Qt::NoButton, Qt::AltModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&pin, &altWheel);
    }
    EXPECT_DOUBLE_EQ(pin.windowOpacity(), 0.2);
    EXPECT_DOUBLE_EQ(pin.zoom(), 1.2);
    pin.handleWheel(100, false, true);
    EXPECT_DOUBLE_EQ(pin.windowOpacity(), 1.0);
    PinWindow huge(filled(15360, 8640), 1, {}, {}, {}, screens);
    huge.show();
    huge.setZoom(8);
    EXPECT_LE(huge.width(), 32767);
}

TEST_F(PanelTest, PinKeysAndMenuFollowTheTable)
{
    int closed = 0, edited = 0;
    auto makePin = [&] {
        auto pin = std::make_unique<PinWindow>(
            filled(400, 200), 2, [] { return QString(); },
            [&](const CapturedImage& image) { edited += image.image.size() == QSize(400, 200) && image.scale == 2; },
            [&](PinWindow*) { ++closed; }, screens);
        pin->show();
        return pin;
    };
    auto press = [](PinWindow& pin, int key, Qt::KeyboardModifiers modifiers, const QString& text = {}) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
        return pin.handleKey(&event);
    };
    auto pin = makePin();
    // Which key means what is PanelLayout's table; here each command reaches its action.
    EXPECT_EQ(pin->size(), QSize(200, 100)); // scale 2
    EXPECT_FALSE(press(*pin, Qt::Key_Shift, Qt::ShiftModifier));
    pin->setZoom(3);
    EXPECT_TRUE(press(*pin, Qt::Key_0, Qt::NoModifier, "0"));
    EXPECT_EQ(pin->size(), QSize(200, 100));
    EXPECT_EQ(closed, 0);
    EXPECT_TRUE(press(*pin, Qt::Key_W, Qt::ControlModifier));
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(pin->isVisible());
    pin = makePin();
    EXPECT_TRUE(press(*pin, Qt::Key_Escape, Qt::ShiftModifier | Qt::ControlModifier));
    EXPECT_EQ(closed, 2);
    // Edit hands the image over and the pin gives way to the editor.
    pin = makePin();
    EXPECT_TRUE(press(*pin, Qt::Key_E, Qt::ControlModifier));
    EXPECT_EQ(edited, 1);
    EXPECT_EQ(closed, 3);

    std::unique_ptr<QMenu> menu(pin->makeMenu(nullptr));
    QStringList items;
    for (QAction* action : menu->actions())
        items << (action->isSeparator() ? QStringLiteral("-") : action->text() + " " + action->shortcut().toString());
    EXPECT_EQ(items, (QStringList{"Edit Ctrl+E", "Copy Ctrl+C", "Save As… Ctrl+S", "Actual Size 0", "-", "Close Ctrl+W"}));
}

// A pin smaller than its image ends up showing the image scaled smoothly (made on another
// thread), after the first show and after each zoom: one-pixel stripes average to grey.
TEST_F(PanelTest, AShrunkPinSettlesOnTheSmoothCopy)
{
    QImage stripes(1200, 800, QImage::Format_RGB32);
    for (int x = 0; x < stripes.width(); ++x)
        for (int y = 0; y < stripes.height(); ++y)
            stripes.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    PinWindow pin(stripes, 1, [] { return QString(); }, {}, {}, screens);
    pin.show(QRect(0, 0, 600, 400));
    const auto settledGrey = [&] { return std::abs(pin.grab().toImage().pixelColor(pin.width() / 2, pin.height() / 2).red() - 128) < 24; };
    for (const double zoom : {0.5, 0.37, 0.61}) {
        pin.setZoom(zoom);
        EXPECT_TRUE(QTest::qWaitFor(settledGrey)) << zoom;
    }
}

// Save As opens its dialog and returns; closing the pins meanwhile (the tray's "Close All
// Pins") takes the dialog with them, and an answer given before that writes the pin's image.
TEST_F(PanelTest, PinSaveAsReturnsAtOnceAndClosingThePinTakesTheDialog)
{
    QTemporaryDir folder;
    auto* pin = new PinWindow(filled(64, 32), 1, [&folder] { return folder.path(); }, {}, {}, screens);
    pin->show();
    bool returned = false, waitedInside = false;
    // A nested loop under the key would see the dialog before the key press returns.
    QTimer::singleShot(0, [&] {
        if (!returned && QApplication::activeModalWidget()) {
            waitedInside = true;
            QApplication::activeModalWidget()->close();
        }
    });
    QKeyEvent save(QEvent::KeyPress, Qt::Key_S, Qt::ControlModifier, QStringLiteral("s"));
    EXPECT_TRUE(pin->handleKey(&save));
    returned = true;
    ASSERT_FALSE(waitedInside);
    QPointer<QFileDialog> dialog = pin->findChild<QFileDialog*>();
    ASSERT_TRUE(dialog && dialog->isVisible());
    pin->deleteLater(); // as the coordinator drops it
    flush();
    EXPECT_FALSE(dialog);

    auto* second = new PinWindow(filled(64, 32), 1, [&folder] { return folder.path(); }, {}, {}, screens);
    second->show();
    second->menuSave();
    dialog = second->findChild<QFileDialog*>();
    ASSERT_TRUE(dialog);
    const QString path = folder.filePath(QStringLiteral("chosen.png"));
    dialog->selectFile(path);
    static_cast<QDialog*>(dialog.data())->accept(); // Save, as the person would press it
    delete second; // the image was handed over with the answer
    ASSERT_TRUE(QTest::qWaitFor([&path] { return QFileInfo(path).size() > 0; }, 20000));
    EXPECT_EQ(QImage(path).size(), QSize(64, 32));
}

// Panels get their roles from the session's own-window service, never from the display
// server directly: each panel is marked once when first shown, and a pin asks again for its
// aspect ratio whenever its size changes.
TEST_F(PanelTest, PanelsTakeTheirRolesFromTheSession)
{
    FakeOwnWindows session;
    session.composited = true;
    ui::FloatingPanel::setCompositingOverride(std::nullopt);
    ui::FloatingPanel::useOwnWindows(&session);
    {
        PinWindow pin(filled(400, 300), 1, {}, {}, {}, screens);
        EXPECT_TRUE(pin.compositing());
        pin.show();
        ASSERT_EQ(session.panels.size(), 1u);
        EXPECT_EQ(session.panels[0], pin.windowHandle());
        ASSERT_FALSE(session.aspectRequests.empty());
        EXPECT_EQ(session.aspectRequests.back().second, (std::pair<int, int>{400, 300}));
        const std::size_t asked = session.aspectRequests.size();
        pin.handleWheel(1, false, false);
        EXPECT_GT(session.aspectRequests.size(), asked);
        pin.show();
        EXPECT_EQ(session.panels.size(), 1u);
    }
    ui::FloatingPanel::useOwnWindows(nullptr);
    ui::FloatingPanel::setCompositingOverride(true);
}

} // namespace quandrel
