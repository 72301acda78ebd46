// The editor window on a real X server with openbox: it opens centred on the monitor under
// the pointer, a drag made with XTEST draws a rectangle, Ctrl+C puts a PNG holding it on
// the clipboard for other programs (read back with xclip), and the window closes.

#include "EditorCanvasView.h"
#include "EditorView.h"
#include "EditorWindowController.h"
#include "X11Desktop.h"
#include "X11Displays.h"
#include "XTestSupport.h"

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>

using namespace quandrel;

namespace {

std::string xdotoolPoint(QPoint p) { return std::to_string(p.x()) + " " + std::to_string(p.y()); }

// Runs a program while this process's event loop keeps serving the clipboard.
QByteArray readWhileServing(const QString& program, const QStringList& arguments)
{
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit); // a hung xclip fails the test, not the run
    process.start(program, arguments);
    loop.exec();
    return process.readAllStandardOutput();
}

} // namespace

TEST(X11Editor, OpensUnderThePointerDrawsARectangleAndCopiesIt)
{
    auto& x = test::XDesktop::instance();
    x.setMonitors({"*LEFT 1600x1200+0+0", "RIGHT 1600x1200+1600+0"});
    ASSERT_EQ(test::run("xdotool mousemove 2400 500"), 0);

    auto desktop = x11::X11Desktop::open();
    ASSERT_TRUE(desktop);
    ASSERT_TRUE(QTest::qWaitFor([] { return QCursor::pos() == QPoint(2400, 500); }));
    const QPoint pointer = QCursor::pos();
    const auto frame = EditorWindowController::visibleFrameUnderPointer(desktop->displays().displays(),
                                                                        Point{double(pointer.x()), double(pointer.y())});
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->left(), 1600);

    QImage white(600, 400, QImage::Format_RGB32);
    white.fill(Qt::white);
    QStringList toasts;
    int closed = 0;
    EditorWindowController editor({white, 1}, [] { return QString(); }, {}, [&](const QString& text, const QString&) { toasts.append(text); }, frame);
    editor.onClose = [&](EditorWindowController*) { ++closed; };
    editor.editorDocument().setTool(EditorTool::rectangle);
    editor.show();
    QWidget* window = editor.window();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    const auto id = std::uint32_t(window->winId());
    ASSERT_TRUE(x.waitUntil([&] { return x.isManaged(id); }));

    // Centred on the right monitor: exactly across, and down within the title bar's height.
    const Rect outer = x.outerFrame(id);
    EXPECT_NEAR(outer.midX(), frame->center().x(), 2);
    EXPECT_LE(std::abs(outer.midY() - frame->center().y()), outer.height - x.clientGeometry(id).height + 2);

    EditorCanvasView* canvas = editor.view()->canvasView();
    ASSERT_TRUE(QTest::qWaitFor([&] { return canvas->paintCount() > 0; }));
    const auto screen = [&](QPointF imagePoint) { return canvas->mapToGlobal(canvas->mapping().toWidget(imagePoint)).toPoint(); };
    ASSERT_DOUBLE_EQ(canvas->mapping().scale(), 1);
    const std::string drag = "xdotool mousemove " + xdotoolPoint(screen({100, 100})) + " mousedown 1 mousemove "
        + xdotoolPoint(screen({200, 180})) + " mousemove " + xdotoolPoint(screen({300, 250})) + " mouseup 1";
    ASSERT_EQ(test::run(drag), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return editor.editorDocument().annotations().size() == 1; }));
    const QRectF drawn = editor.editorDocument().annotations().front().normalizedRect();
    EXPECT_NEAR(drawn.left(), 100, 1);
    EXPECT_NEAR(drawn.right(), 300, 1);

    ASSERT_EQ(test::run("xdotool key ctrl+c"), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed == 1; }));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(toasts, QStringList{QStringLiteral("Copied")});

    // The copy takes the clipboard once it is encoded.
    ASSERT_TRUE(QTest::qWaitFor([] {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        return data && data->hasFormat(QStringLiteral("image/png"));
    }));
    const QByteArray png = readWhileServing(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", "image/png", "-o"});
    QImage copied;
    ASSERT_TRUE(copied.loadFromData(png, "PNG")) << png.size() << " bytes";
    ASSERT_EQ(copied.size(), QSize(600, 400));
    // The rectangle's left edge (x = 100, y-up 100…250) in the PNG's top-down rows, and
    // white inside and outside it.
    const QColor edge = copied.pixelColor(100, 400 - 175);
    EXPECT_GT(edge.red(), 200);
    EXPECT_LT(edge.green(), 100);
    EXPECT_EQ(copied.pixelColor(200, 400 - 175), QColor(Qt::white));
    EXPECT_EQ(copied.pixelColor(50, 50), QColor(Qt::white));

    x.setMonitors({});
}
