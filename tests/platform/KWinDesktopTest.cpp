// Window commands, displays and applications on a real KWin (headless, two outputs, one of
// them turned), with small Qt Wayland clients as the other applications' windows.

#include "KWinApplications.h"
#include "KWinBridge.h"
#include "KWinDesktop.h"
#include "KWinHotKeys.h"
#include "KeyCodes.h"
#include "KWinTestSupport.h"
#include "KWinWindows.h"
#include "OwnWindows.h"
#include "ScreenFreezer.h"
#include "ScreenSpace.h"
#include "WindowCommandTable.h"
#include "WindowManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRasterWindow>
#include <QFile>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>
#include <unistd.h>

using namespace quandrel;
using quandrel::test::KWinClient;
using quandrel::test::KWinTestDesktop;

namespace {

class KWinDesktopTest : public ::testing::Test {
protected:
    // Runs an action and waits until KWin has applied its frame.
    void perform(WindowAction action)
    {
        manager->perform(action);
        EXPECT_TRUE(kwin.waitUntil([&] { return !manager->isInFlight(); }));
    }

    void SetUp() override
    {
        QLoggingCategory::setFilterRules(QStringLiteral("quandrel.windows.info=false"));
        kwin.useStandardOutputs();
        std::string whyNot;
        desktop = kwin::KWinDesktop::open(&whyNot);
        ASSERT_TRUE(desktop) << whyNot;
        manager = std::make_unique<WindowManager>(desktop->services());
        manager->gap = 8;
    }

    // The platform's handle of a client's window.
    WindowHandle handleOf(const KWinClient& client)
    {
        for (const auto& w : desktop->windows().windows()) {
            if (w.pid == client.pid())
                return w.handle;
        }
        return {};
    }

    KWinTestDesktop& kwin = KWinTestDesktop::instance();
    std::unique_ptr<kwin::KWinDesktop> desktop;
    std::unique_ptr<WindowManager> manager;
};

} // namespace

TEST_F(KWinDesktopTest, OutputsAreDisplaysInScreenSpaceTheOriginOneFirst)
{
    const auto displays = desktop->windows().displays();
    ASSERT_EQ(displays.size(), 2u);
    EXPECT_EQ(displays[0].name, "Virtual-0");
    EXPECT_EQ(displays[0].frame, (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(displays[0].visibleFrame, displays[0].frame);
    // Turned by 90°: 900 wide, 1440 tall, its top level with the first display's top.
    EXPECT_EQ(displays[1].name, "Virtual-1");
    EXPECT_EQ(displays[1].frame, (Rect{1440, -540, 900, 1440}));
    EXPECT_EQ(displays[1].scale, 1);
    EXPECT_EQ(desktop->bridge().kwinVersion(), 5);
    EXPECT_TRUE(desktop->services().trust->canControlWindows());
}

TEST_F(KWinDesktopTest, EveryActionLeavesTheTablesFrame)
{
    KWinClient w;
    ASSERT_TRUE(kwin.place(w.pid(), test::tableStartFrame));
    test::runWindowCommandTable(desktop->services(), handleOf(w), [&] { return w.frame().value_or(Rect{}); });
}

TEST_F(KWinDesktopTest, WindowsMoveToTheTurnedDisplayAndAreFoundThere)
{
    KWinClient w;
    ASSERT_TRUE(kwin.place(w.pid(), {100, 100, 600, 500}));
    perform(WindowAction::nextDisplay);
    const Rect there = *w.frame();
    EXPECT_GE(there.x, 1440);
    EXPECT_LE(there.maxX(), 2340);
    EXPECT_EQ(there.size(), (Size{600, 500}));
    // Maximize on the turned display uses its own area.
    perform(WindowAction::maximize);
    EXPECT_EQ(w.frame(), (Rect{1448, 8, 884, 1424}));

    const ScreenSpace space(900);
    const auto found = desktop->windows().windowAtPoint(space.fromWindow(Point{1500, 700}));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->handle, handleOf(w));
    EXPECT_EQ(found->pid, w.pid());
    EXPECT_FALSE(desktop->windows().windowAtPoint(space.fromWindow(Point{1444, 4})));
}

TEST_F(KWinDesktopTest, ApplicationsAreFoundByAppIdMinimizedAndShownAgain)
{
    KWinClient a("quandrel-app");
    KWinClient b("org.kde.konsole");
    auto& apps = desktop->applications();

    const auto running = apps.runningApplications("quandrel-app");
    ASSERT_EQ(running.size(), 1u);
    EXPECT_EQ(running[0].pid, a.pid());
    EXPECT_FALSE(running[0].active);
    ASSERT_EQ(apps.runningApplications("org.kde.konsole").size(), 1u);
    EXPECT_TRUE(apps.runningApplications("org.kde.konsole")[0].active);
    EXPECT_TRUE(apps.runningApplications("quandrel").empty());
    EXPECT_EQ(apps.frontmostApplication()->desktopId, "org.kde.konsole");
    EXPECT_EQ(apps.frontmostApplication()->pid, b.pid());

    apps.hide(b.pid());
    EXPECT_TRUE(desktop->windows().isMinimized(handleOf(b)).value_or(false));
    apps.unhide(b.pid());
    EXPECT_FALSE(desktop->windows().isMinimized(handleOf(b)).value_or(true));

    desktop->windows().raise(handleOf(a));
    EXPECT_TRUE(kwin.waitUntil([&] { return kwin.activePid() == a.pid(); }));
    EXPECT_EQ(desktop->windows().windowsOfApplication(a.pid()).size(), 1u);

    bool opened = false;
    apps.openAndActivate("org.kde.konsole", [&](bool ok) { opened = ok; });
    EXPECT_TRUE(opened);
    EXPECT_TRUE(kwin.waitUntil([&] { return kwin.activePid() == b.pid(); }));

    // An application that does not run is launched from its desktop entry (through sh, so
    // that the entry's program names none of the other test windows).
    const QString applications = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/applications");
    QDir().mkpath(applications);
    QFile entry(applications + QStringLiteral("/quandrel-launched.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Launched\nExec=sh -c \"exec " QUANDREL_WAYLANDWINDOW " quandrel-launched\"\n");
    entry.close();
    // GIO notices a new entry through a file monitor of its own; until it has, the entry is not
    // found and the launch fails. It is asked again until it works.
    bool launched = false;
    int asked = 0, answered = 0;
    EXPECT_TRUE(kwin.waitUntil([&] {
        if (!launched && answered == asked) {
            ++asked;
            apps.openAndActivate("quandrel-launched", [&](bool ok) {
                launched = ok;
                ++answered;
            });
        }
        return launched;
    }));
    EXPECT_TRUE(kwin.waitUntil([&] {
        const auto front = apps.frontmostApplication();
        return front && front->desktopId == "quandrel-launched";
    }));
    const auto started = apps.runningApplications("quandrel-launched");
    ASSERT_EQ(started.size(), 1u);
    kill(started[0].pid, SIGTERM);
}

TEST_F(KWinDesktopTest, VanishedWindowsAndBadFramesAreNoneNeverACrash)
{
    EXPECT_FALSE(desktop->windows().readFrame(0x7ffffff0));
    EXPECT_FALSE(desktop->windows().isStandardWindow(0x7ffffff0));
    desktop->windows().setFrame(0x7ffffff0, 1, {0, 0, 100, 100});

    auto w = std::make_unique<KWinClient>();
    const ClientWindow gone{handleOf(*w), w->pid()};
    w->close();
    manager->perform(WindowAction::leftHalf, gone);
    EXPECT_FALSE(manager->last());

    // Frames beyond any layout stay within what KWin takes.
    KWinClient v;
    bool applied = false;
    desktop->windows().setFrame(handleOf(v), v.pid(), {-1e308, 1e308, std::nan(""), -5}, [&] { applied = true; });
    EXPECT_TRUE(kwin.waitUntil([&] { return applied; }));
    const auto frame = v.frame();
    ASSERT_TRUE(frame);
    EXPECT_GT(frame->width, 0);
    EXPECT_EQ(kwin::kwinCoordinate(1e308), 1 << 20);
    EXPECT_EQ(kwin::kwinSize(-5), 1);

    // A window that closes while it is being moved.
    for (int i = 0; i < 3; ++i) {
        KWinClient racing;
        const ClientWindow target{handleOf(racing), racing.pid()};
        const pid_t pid = racing.pid();
        std::thread killer([pid] { kill(pid, SIGKILL); });
        manager->perform(WindowAction::maximize, target);
        killer.join();
    }
    EXPECT_TRUE(desktop->services().trust->canControlWindows());
}

TEST_F(KWinDesktopTest, ShortcutsAreKGlobalAccelActionsAndTakenOnesSaySo)
{
    auto& hotKeys = desktop->hotKeys();
    std::vector<std::uint32_t> pressed;
    hotKeys.onPressed = [&](std::uint32_t id) { pressed.push_back(id); };
    const std::uint32_t ctrlAlt = modifier::control | modifier::alt;
    HotKeyStatuses statuses;
    hotKeys.bind({{1, 123, ctrlAlt, "Left", "quandrel://window/leftHalf"},
                  {2, 48, modifier::alt, "Tab", "quandrel://window/maximize"}, // KWin's window switcher
                  {3, 123, ctrlAlt, "Left", "quandrel://window/rightHalf"},    // the same keys again
                  {4, 0x10000 + 600, ctrlAlt, "", "quandrel://window/center"}},
                 [&](HotKeyStatuses s) { statuses = std::move(s); });
    EXPECT_EQ(statuses, (HotKeyStatuses{{1, HotKeyStatus::bound}, {2, HotKeyStatus::taken}, {3, HotKeyStatus::taken}, {4, HotKeyStatus::unsupported}}));
    EXPECT_TRUE(hotKeys.ownerOf((Qt::ALT | Qt::Key_Tab).toCombined()).startsWith("KWin"));
    EXPECT_EQ(hotKeys.holderOf(2), "KWin: Walk Through Windows");
    EXPECT_EQ(hotKeys.holderOf(3), "");
    EXPECT_EQ(hotKeys.ownerOf((Qt::CTRL | Qt::ALT | Qt::Key_Left).toCombined()), "Quandrel: quandrel://window/leftHalf");

    // A press, as Plasma's shortcut service hands it on.
    const auto invoke = [](const QString& action) {
        QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall("org.kde.kglobalaccel", "/component/quandrel",
                                                                          "org.kde.kglobalaccel.Component", "invokeShortcut")
                                           << action);
    };
    invoke("quandrel://window/leftHalf");
    EXPECT_TRUE(kwin.waitUntil([&] { return pressed == std::vector<std::uint32_t>{1}; }));

    // A new set replaces the old one: the old combination is free again, the new one fires.
    hotKeys.bind({{5, 124, ctrlAlt, "Right", "quandrel://window/rightHalf"}}, [&](HotKeyStatuses s) { statuses = std::move(s); });
    EXPECT_EQ(statuses, (HotKeyStatuses{{5, HotKeyStatus::bound}}));
    EXPECT_TRUE(hotKeys.ownerOf((Qt::CTRL | Qt::ALT | Qt::Key_Left).toCombined()).isEmpty());
    invoke("quandrel://window/rightHalf");
    EXPECT_TRUE(kwin.waitUntil([&] { return pressed == std::vector<std::uint32_t>{1, 5}; }));
    hotKeys.bind({}, {});
    EXPECT_TRUE(hotKeys.ownerOf((Qt::CTRL | Qt::ALT | Qt::Key_Right).toCombined()).isEmpty());
}

TEST_F(KWinDesktopTest, FrozenOutputsShowTheWindowsPixelsAndWindowImagesAreTheirOwn)
{
    KWinClient w;
    ASSERT_TRUE(kwin.place(w.pid(), {100, 120, 500, 400}));
    // One display each; the second is the turned one right of the first.
    FreezeRequest request{{{0, 0, 1440, 900}, {1440, 0, 900, 1440}}, true};
    auto result = QCoro::waitFor(desktop->services().screen->freeze(request));
    ASSERT_TRUE(std::holds_alternative<FrozenScreens>(result)) << std::get<GrabFailure>(result).message;
    const auto& frozen = std::get<FrozenScreens>(result);
    ASSERT_EQ(frozen.images.size(), 2u);
    const PixelBuffer& first = frozen.images[0];
    ASSERT_EQ(first.width, 1440);
    ASSERT_EQ(first.height, 900);
    EXPECT_EQ(frozen.images[1].width, 900);
    EXPECT_EQ(frozen.images[1].height, 1440);
    const auto pixel = [](const PixelBuffer& image, int x, int y) {
        return reinterpret_cast<const std::uint32_t*>(image.data + y * image.bytesPerLine)[x] & 0xffffffu;
    };
    // The test window's colour inside its frame, not outside.
    EXPECT_EQ(pixel(first, 100, 120), 0x306090u);
    EXPECT_EQ(pixel(first, 599, 519), 0x306090u);
    EXPECT_NE(pixel(first, 600, 520), 0x306090u);
    EXPECT_NE(pixel(first, 99, 119), 0x306090u);
    ASSERT_TRUE(frozen.windows);
    const auto listed = std::find_if(frozen.windows->begin(), frozen.windows->end(), [&](const ScreenWindow& s) { return s.pid == w.pid(); });
    ASSERT_NE(listed, frozen.windows->end());
    EXPECT_EQ(listed->frame, (Rect{100, 120, 500, 400}));
    EXPECT_TRUE(listed->ordinary);

    auto own = QCoro::waitFor(desktop->services().screen->windowImage(listed->handle));
    ASSERT_TRUE(std::holds_alternative<PixelBuffer>(own)) << std::get<GrabFailure>(own).message;
    const PixelBuffer& image = std::get<PixelBuffer>(own);
    EXPECT_EQ(image.width, 500);
    EXPECT_EQ(image.height, 400);
    EXPECT_EQ(pixel(image, 250, 200), 0x306090u);
    EXPECT_TRUE(std::holds_alternative<GrabFailure>(QCoro::waitFor(desktop->services().screen->windowImage(0x7ffffff0))));

    // The pointer where the seat's pointer was moved, in KWin's layout.
    test::KWinInput input;
    ASSERT_TRUE(input.move({321, 123}));
    EXPECT_EQ(desktop->services().screen->pointerPosition(), (Point{321, 123}));
    const auto again = QCoro::waitFor(desktop->services().screen->freeze({{}, false}));
    ASSERT_TRUE(std::holds_alternative<FrozenScreens>(again));
    EXPECT_EQ(std::get<FrozenScreens>(again).pointer, (Point{321, 123}));
}

TEST_F(KWinDesktopTest, PanelsStayAboveOnEveryDesktopAndTheOverlayTakesTheFocusAndGivesItBack)
{
    KWinClient other;
    OwnWindows& own = *desktop->services().ownWindows;
    const auto roleOf = [&](const char* caption) {
        return kwin.evaluate(QStringLiteral("(function() { for (var i = 0; i < all.length; ++i) if (all[i].pid === %1 && all[i].caption === \"%2\") "
                                            "return [all[i].keepAbove, all[i].onAllDesktops, all[i].skipTaskbar, all[i].skipSwitcher]; return null; })()")
                                 .arg(::getpid())
                                 .arg(QLatin1String(caption)));
    };
    const QJsonArray panel{true, true, true, true};

    // Marked before it is shown, as the panels are; a second pin of the same caption too.
    QRasterWindow pin;
    pin.setTitle(QStringLiteral("Quandrel pin"));
    pin.resize(300, 200);
    pin.create();
    own.markFloatingPanel(pin);
    pin.show();
    EXPECT_TRUE(kwin.waitUntil([&] { return roleOf("Quandrel pin") == panel; }));
    QRasterWindow plain;
    plain.setTitle(QStringLiteral("not a panel"));
    plain.resize(200, 100);
    plain.show();
    EXPECT_TRUE(kwin.waitUntil([&] { return roleOf("not a panel").isArray(); }));
    EXPECT_EQ(roleOf("not a panel"), (QJsonArray{false, false, false, false}));
    plain.hide();

    // The overlay is made active, so it has the keyboard; on release the other window has it again.
    desktop->windows().raise(handleOf(other));
    ASSERT_TRUE(kwin.waitUntil([&] { return kwin.activePid() == other.pid(); }));
    QRasterWindow overlay;
    overlay.setTitle(QStringLiteral("Quandrel selection"));
    overlay.resize(400, 300);
    overlay.create();
    own.markOverlay(overlay);
    overlay.show();
    EXPECT_EQ(own.grabInput(overlay), InputGrabError::none);
    EXPECT_TRUE(own.inputGrabbed());
    EXPECT_TRUE(kwin.waitUntil([&] { return kwin.activePid() == ::getpid() && overlay.isActive(); }));
    overlay.hide();
    own.releaseInput();
    EXPECT_FALSE(own.inputGrabbed());
    EXPECT_TRUE(kwin.waitUntil([&] { return kwin.activePid() == other.pid(); }));
}

// KWin 6 names what the script uses differently (windowList, activeWindow, screens,
// windowAdded, windowActivated): the script runs in KWin's own engine against a small
// workspace of those names, fed requests as Quandrel would send them.
TEST_F(KWinDesktopTest, TheScriptSpeaksKWin6sNamesToo)
{
    const QString fake = QStringLiteral(R"js((function () {
    var added = [];
    function signal(list) { return { connect: function (f) { list.push(f); }, disconnect: function () {} }; }
    function win(id, pid, caption) {
        return { internalId: "{" + id + "}", pid: pid, caption: caption, frameGeometry: { x: id * 100, y: 0, width: 100, height: 80 },
                 resourceClass: "c", resourceName: "n", desktopFileName: "d", minimized: false, normalWindow: true, specialWindow: false,
                 stackingOrder: id, deleted: false, managed: true, keepAbove: false, frameGeometryChanged: signal([]) };
    }
    var a = win(1, 10, "a"), b = win(2, 11, "b"), panel = win(3, 12, "Quandrel thumbnail");
    var windows = [a, b];
    var workspace = {
        windowList: function () { return windows; }, activeWindow: a, currentDesktop: {},
        screens: [{ name: "DP-1", geometry: { x: 0, y: 0, width: 1920, height: 1080 }, devicePixelRatio: 1.5 }],
        clientArea: function () { return { x: 0, y: 30, width: 1920, height: 1050 }; },
        windowAdded: signal(added), windowActivated: signal([]),
    };
    var requests = [
        { id: 1, op: "outputs" }, { id: 2, op: "windows" }, { id: 3, op: "activate", window: "{2}" },
        { id: 4, op: "setFrame", window: "{1}", frame: { x: 5, y: 6, width: 300, height: 200 } },
        { id: 5, op: "panelRole", pid: 12, caption: "Quandrel thumbnail", focus: false, at: { x: 1600, y: 900 } }, { id: 6, op: "quit" },
    ];
    var answers = [];
    function callDBus(service, path, iface, method, text, callback) {
        answers.push(JSON.parse(text));
        if (callback)
            callback(JSON.stringify(requests.shift()));
    }
    @SCRIPT@
    windows.push(panel);
    added.forEach(function (f) { f(panel); });
    return { answers: answers, active: workspace.activeWindow.caption, frame: rect(a.frameGeometry), panel: rect(panel.frameGeometry),
             above: panel.keepAbove && panel.onAllDesktops && panel.skipTaskbar };
})())js");
    const QJsonObject v = kwin.evaluate(QString(fake).replace(QLatin1String("@SCRIPT@"), kwin::KWinBridge::scriptText(QStringLiteral("org.example")))).toObject();
    const QJsonArray answers = v.value(QLatin1String("answers")).toArray();
    ASSERT_EQ(answers.size(), 6) << QJsonDocument(v).toJson().toStdString();
    const auto result = [&](int i) { return answers.at(i).toObject().value(QLatin1String("result")); };
    const QJsonObject outputs = result(1).toObject();
    EXPECT_EQ(outputs.value(QLatin1String("version")).toInt(), 6);
    const QJsonObject output = outputs.value(QLatin1String("outputs")).toArray().at(0).toObject();
    EXPECT_EQ(output.value(QLatin1String("name")).toString(), QStringLiteral("DP-1"));
    EXPECT_EQ(output.value(QLatin1String("scale")).toDouble(), 1.5);
    EXPECT_EQ(output.value(QLatin1String("area")).toObject().value(QLatin1String("y")).toInt(), 30);
    const QJsonArray listed = result(2).toArray();
    ASSERT_EQ(listed.size(), 2);
    EXPECT_EQ(listed.at(0).toObject().value(QLatin1String("id")).toString(), QStringLiteral("{2}")); // front first
    EXPECT_TRUE(listed.at(1).toObject().value(QLatin1String("active")).toBool());
    EXPECT_EQ(result(3), QJsonValue(true));
    EXPECT_EQ(v.value(QLatin1String("active")).toString(), QStringLiteral("b"));
    EXPECT_EQ(result(4).toObject().value(QLatin1String("frame")), v.value(QLatin1String("frame")));
    EXPECT_EQ(v.value(QLatin1String("frame")).toObject().value(QLatin1String("width")).toInt(), 300);
    // A panel that appears later takes its role and its place.
    EXPECT_TRUE(v.value(QLatin1String("above")).toBool());
    EXPECT_EQ(v.value(QLatin1String("panel")), (QJsonObject{{"x", 1600}, {"y", 900}, {"width", 100}, {"height", 80}}));
}
