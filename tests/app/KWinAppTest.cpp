// The quandrel application in a Plasma Wayland session, as a user runs it: it finds KWin by
// itself, command URLs arrange the focused window, its shortcuts are KDE shortcut-service
// actions that arrange the window when the service fires them, screenshots are chosen on the
// overlay with the seat's pointer and keyboard, and pins and thumbnails stay above where
// Quandrel puts them.

#include "KWinTestSupport.h"
#include "LoggedProcess.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

using namespace quandrel;
using quandrel::test::KWinClient;
using quandrel::test::KWinInput;
using quandrel::test::KWinTestDesktop;

namespace {

namespace fs = std::filesystem;

QDBusMessage component(const char* method)
{
    return QDBusMessage::createMethodCall("org.kde.kglobalaccel", "/component/quandrel", "org.kde.kglobalaccel.Component", method);
}

class KWinAppTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        quandrel = std::make_unique<test::SuiteQuandrel>("kwin-app");
        // KWin finds the desktop entries that give its screenshots and fake input to a program
        // in its own data folder.
        qputenv("XDG_DATA_HOME", dataHome);
        KWinTestDesktop::instance().useStandardOutputs();
    }

    static void TearDownTestSuite() { quandrel.reset(); }

    static void open(const std::string& url) { quandrel->open(url); }
    static std::string logText() { return quandrel->logText(); }
    static std::vector<fs::path> shots() { return quandrel->shots(); }

    // Quandrel's windows of a caption as KWin has them: frame, keepAbove, fullScreen, active,
    // stacking order.
    std::vector<QJsonObject> ownWindows(const char* caption)
    {
        const QJsonValue v = kwin.evaluate(QStringLiteral(
            "all.filter(function (w) { return w.pid === %1 && w.caption === \"%2\"; }).map(function (w) { return {frame: rect(w.frameGeometry), "
            "above: w.keepAbove, full: w.fullScreen, active: w === active, stacking: w.stackingOrder}; })").arg(quandrel->app.pid()).arg(QLatin1String(caption)));
        std::vector<QJsonObject> found;
        for (const QJsonValue& w : v.toArray())
            found.push_back(w.toObject());
        return found;
    }

    // Up means one full-screen window over each output, one of them active.
    bool overlayShown()
    {
        const auto windows = ownWindows("Quandrel selection");
        std::vector<QJsonValue> frames;
        bool active = false;
        for (const QJsonObject& w : windows) {
            if (!w.value(QLatin1String("full")).toBool())
                return false;
            frames.push_back(w.value(QLatin1String("frame")));
            active = active || w.value(QLatin1String("active")).toBool();
        }
        const QJsonObject first{{"x", 0}, {"y", 0}, {"width", 1440}, {"height", 900}};
        const QJsonObject second{{"x", 1440}, {"y", 0}, {"width", 900}, {"height", 1440}};
        return active && frames.size() == 2 && std::count(frames.begin(), frames.end(), first) == 1
            && std::count(frames.begin(), frames.end(), second) == 1;
    }

    bool overlayGone() { return ownWindows("Quandrel selection").empty(); }

    bool landsAt(const KWinClient& w, const Rect& frame)
    {
        return kwin.waitUntil([&] { return w.frame() == frame; });
    }

    static inline std::unique_ptr<test::SuiteQuandrel> quandrel;
    KWinTestDesktop& kwin = KWinTestDesktop::instance();
};

} // namespace

TEST_F(KWinAppTest, CommandURLsAndShortcutsArrangeTheFocusedWindow)
{
    KWinClient w;
    ASSERT_TRUE(kwin.place(w.pid(), {200, 150, 500, 400}));
    open("quandrel://window/leftHalf"); // starts Quandrel, which runs it
    EXPECT_TRUE(landsAt(w, {0, 0, 720, 900})) << logText();

    open("quandrel://window/bottomRight"); // handed to the running Quandrel
    EXPECT_TRUE(landsAt(w, {720, 450, 720, 450})) << logText();
    open("quandrel://window/nextDisplay");
    EXPECT_TRUE(kwin.waitUntil([&] { return w.frame() && w.frame()->x >= 1440; })) << logText();

    // The default shortcuts are the shortcut service's actions; firing one runs its command.
    QDBusConnection bus = QDBusConnection::sessionBus();
    EXPECT_TRUE(kwin.waitUntil([&] {
        const QDBusReply<QStringList> names = bus.call(component("shortcutNames"));
        return names.isValid() && names.value().contains("quandrel://window/maximize");
    })) << logText();
    bus.call(component("invokeShortcut") << QStringLiteral("quandrel://window/maximize"));
    EXPECT_TRUE(landsAt(w, {1440, 0, 900, 1440})) << logText();
}

TEST_F(KWinAppTest, FullScreenCapturesSaveTheOutputsRealPixels)
{
    KWinClient w;
    ASSERT_TRUE(kwin.place(w.pid(), {100, 120, 500, 400}));
    open("quandrel://capture/fullScreen?then=save");
    ASSERT_TRUE(kwin.waitUntil([&] { return !shots().empty(); }, std::chrono::seconds(15))) << logText();
    QImage saved;
    // Complete once the encoder has written the whole file.
    EXPECT_TRUE(kwin.waitUntil([&] { return saved.load(QString::fromStdString(shots().front().string())); }));
    EXPECT_EQ(saved.size(), QSize(1440, 900)) << logText();
    const auto colour = [&](int x, int y) { return saved.pixel(x, y) & 0xffffffu; };
    EXPECT_EQ(colour(100, 120), 0x306090u);
    EXPECT_EQ(colour(599, 519), 0x306090u);
    EXPECT_NE(colour(600, 520), 0x306090u);
    EXPECT_NE(colour(99, 119), 0x306090u);
}

TEST_F(KWinAppTest, ScreenshotsAreChosenOnTheOverlayWithTheFocusGivenBack)
{
    KWinClient coloured("quandrel-coloured");
    ASSERT_TRUE(kwin.place(coloured.pid(), {200, 150, 300, 200}));
    KWinClient focused("quandrel-focused");
    ASSERT_TRUE(kwin.place(focused.pid(), {800, 500, 300, 200}));
    KWinInput input;
    quandrel->ensureRunning();
    for (const test::OverlayCapture& c : test::overlayCaptures(input)) {
        SCOPED_TRACE(c.url);
        const std::size_t before = shots().size();
        open("quandrel://capture/" + c.url + "?then=save");
        if (c.choose) {
            ASSERT_TRUE(kwin.waitUntil([&] { return overlayShown(); })) << logText();
            ASSERT_TRUE(c.choose());
        }
        if (c.size.isEmpty()) {
            EXPECT_TRUE(kwin.waitUntil([&] { return overlayGone(); }));
            EXPECT_EQ(shots().size(), before);
        } else {
            ASSERT_TRUE(kwin.waitUntil([&] { return shots().size() > before; }, std::chrono::seconds(10))) << logText();
            QImage image;
            EXPECT_TRUE(kwin.waitUntil([&] { return image.load(QString::fromStdString(shots().back().string())); }));
            EXPECT_EQ(image.size(), c.size);
            EXPECT_EQ(image.pixel(image.width() / 2, image.height() / 2) & 0xffffff, 0x306090u);
        }
        EXPECT_TRUE(kwin.waitUntil([&] { return overlayGone(); }));
        EXPECT_TRUE(kwin.waitUntil([&] { return kwin.activePid() == focused.pid(); }));
    }

    // Copies reach the clipboard although the overlay has given the keyboard back: an area
    // as a PNG, and the words of a text capture.
    KWinClient text("quandrel-text", "Screenshots become text\nin the blink of an eye");
    ASSERT_TRUE(kwin.place(text.pid(), {700, 400, 420, 140}));
    const auto clipboard = [](const char* type) { return test::commandOutput(std::string("wl-paste -n -t '") + type + "' 2>/dev/null"); };
    ASSERT_EQ(std::system("printf before | wl-copy"), 0);
    open("quandrel://capture/area?then=copyOnly");
    ASSERT_TRUE(kwin.waitUntil([&] { return overlayShown(); })) << logText();
    ASSERT_TRUE(input.drag({250, 200}, {450, 300}));
    QImage copied;
    EXPECT_TRUE(kwin.waitUntil([&] { return copied.loadFromData(QByteArray::fromStdString(clipboard("image/png")), "PNG"); }, std::chrono::seconds(10)))
        << logText();
    EXPECT_EQ(copied.size(), QSize(200, 100));
    EXPECT_EQ(copied.pixel(100, 50) & 0xffffff, 0x306090u);
    open("quandrel://capture/text");
    ASSERT_TRUE(kwin.waitUntil([&] { return overlayShown(); })) << logText();
    ASSERT_TRUE(input.drag({704, 404}, {1116, 536}));
    EXPECT_TRUE(kwin.waitUntil([&] { return clipboard("text/plain") == "Screenshots become text\nin the blink of an eye"; }, std::chrono::seconds(20)))
        << clipboard("text/plain") << logText();
    EXPECT_TRUE(kwin.waitUntil([&] { return kwin.activePid() == text.pid(); }));
}

TEST_F(KWinAppTest, PinsAndThumbnailsStayAboveWhereQuandrelPutsThem)
{
    KWinInput input;
    quandrel->ensureRunning();
    open("quandrel://capture/area?then=pin");
    ASSERT_TRUE(kwin.waitUntil([&] { return overlayShown(); })) << logText();
    ASSERT_TRUE(input.drag({300, 300}, {500, 450}));
    ASSERT_TRUE(kwin.waitUntil([&] { return overlayGone(); }));
    open("quandrel://capture/repeatArea?then=copyAndThumbnail");
    ASSERT_TRUE(kwin.waitUntil([&] { return ownWindows("Quandrel pin").size() == 1 && ownWindows("Quandrel thumbnail").size() == 1; }))
        << logText();
    // The thumbnail in the output's bottom right corner; it and the pin above a window
    // activated after them.
    KWinClient other("quandrel-other");
    ASSERT_TRUE(kwin.place(other.pid(), {100, 100, 1300, 780}));
    const QJsonObject pin = ownWindows("Quandrel pin").at(0);
    const QJsonObject thumbnail = ownWindows("Quandrel thumbnail").at(0);
    const QJsonObject frame = thumbnail.value(QLatin1String("frame")).toObject();
    EXPECT_EQ(frame.value(QLatin1String("x")).toInt() + frame.value(QLatin1String("width")).toInt(), 1440 - 20) << logText();
    EXPECT_EQ(frame.value(QLatin1String("y")).toInt() + frame.value(QLatin1String("height")).toInt(), 900 - 20) << logText();
    EXPECT_EQ(kwin.activePid(), other.pid());
    const int otherStacking = kwin.evaluate(QStringLiteral("byPid(%1).stackingOrder").arg(other.pid())).toInt();
    for (const QJsonObject& panel : {pin, thumbnail}) {
        EXPECT_TRUE(panel.value(QLatin1String("above")).toBool());
        EXPECT_GT(panel.value(QLatin1String("stacking")).toInt(), otherStacking);
    }
    open("quandrel://pins/close");
    EXPECT_TRUE(kwin.waitUntil([&] { return ownWindows("Quandrel pin").empty(); }));
}
