// The quandrel application as a user runs it, on the private desktop: hot keys move the
// focused window, a settings change applies without a restart, and a second launch hands
// its command URL to the running instance, or, without one, shows the settings.

#include "LoggedProcess.h"
#include "SettingsStore.h"
#include "XTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace quandrel;
using quandrel::test::TestWindow;
using quandrel::test::XDesktop;

namespace {

namespace fs = std::filesystem;

class X11AppTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root = fs::temp_directory_path() / ("quandrel-app-" + std::to_string(getpid()));
        fs::create_directories(root / "config");
        fs::create_directories(root / "runtime");
        fs::create_directories(root / "data" / "applications");
        setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        fs::permissions(root / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
        XDesktop::instance().setMonitors({"*MAIN 1440x900+0+0"});
        // Past the first launch: the welcome window, shown some time after "ready" on a busy
        // machine, would take the focus the shortcuts act on.
        fs::create_directories(root / "config" / "Quandrel");
        std::ofstream(root / "config" / "Quandrel" / "settings.json") << "{\"hasCompletedOnboarding\": true}\n";

        // Started the way AppRun starts it from the application folder.
        std::ofstream(root / "data" / "applications" / "quandrel-environment.desktop")
            << "[Desktop Entry]\nType=Application\nName=Environment\nExec=sh -c \"env > '"
            << (root / "environment").string() << "'\"\n";
        app = test::LoggedProcess({.arguments = {QUANDREL_EXECUTABLE},
                                   .log = root / "quandrel.log",
                                   .environment = {{"APPDIR", (root / "Quandrel.AppDir").string()},
                                                   {"TESSDATA_PREFIX", (root / "Quandrel.AppDir/usr/share/tessdata").string()}}});
        ASSERT_TRUE(app.started());
        ASSERT_TRUE(XDesktop::instance().waitUntil([] { return logText().find("Quandrel is ready") != std::string::npos; }))
            << logText();
    }

    static void TearDownTestSuite()
    {
        app.stop();
        XDesktop::instance().setMonitors({});
        fs::remove_all(root);
    }

    static std::string logText() { return app.logText(); }
    static int occurrences(const std::string& text) { return app.occurrences(text); }

    bool landsAt(std::uint32_t window, const Rect& frame)
    {
        return x.waitUntil([&] { return x.outerFrame(window) == frame; });
    }

    static inline fs::path root;
    static inline test::LoggedProcess app;
    XDesktop& x = XDesktop::instance();
};

const Rect leftHalf{0, 0, 720, 900};
const Rect rightHalf{720, 0, 720, 900};

} // namespace

TEST_F(X11AppTest, ShortcutMovesTheFocusedWindow)
{
    TestWindow w({"--geometry", "400x300+300+200"});
    ASSERT_TRUE(x.activate(w.id()));
    ASSERT_EQ(test::run("xdotool key ctrl+alt+Left"), 0);
    EXPECT_TRUE(landsAt(w.id(), leftHalf)) << logText();
}

TEST_F(X11AppTest, ChangedShortcutWorksWithoutRestart)
{
    TestWindow w({"--geometry", "400x300+300+200"});
    ASSERT_TRUE(x.activate(w.id()));
    {
        SettingsStore store(QString::fromStdString((root / "config" / "Quandrel" / "settings.json").string()));
        QuandrelSettings next = store.settings();
        next.windowShortcuts[WindowAction::leftHalf] = {0, 0x1800}; // Ctrl+Alt+A
        store.setSettings(next);
    }
    // The running instance notices the file change; the new combination starts working.
    ASSERT_TRUE(x.waitUntil([&] {
        test::run("xdotool key ctrl+alt+a");
        return x.waitUntil([&] { return x.outerFrame(w.id()) == leftHalf; }, std::chrono::milliseconds(100));
    })) << logText();

    // The old combination does nothing: a later press of another shortcut is handled, and
    // no left-half command came before it.
    const int before = occurrences("leftHalf in");
    ASSERT_EQ(test::run("xdotool key ctrl+alt+Left ctrl+alt+Right"), 0);
    EXPECT_TRUE(landsAt(w.id(), rightHalf));
    EXPECT_EQ(occurrences("leftHalf in"), before);
}

TEST_F(X11AppTest, SecondLaunchHandsItsURLToTheRunningInstanceOnce)
{
    TestWindow w({"--geometry", "400x300+300+200"});
    ASSERT_TRUE(x.activate(w.id()));
    const std::string url = "quandrel://window/rightHalf?second-launch";
    ASSERT_EQ(test::run(std::string(QUANDREL_EXECUTABLE) + " '" + url + "'"), 0);
    EXPECT_TRUE(landsAt(w.id(), rightHalf));
    EXPECT_TRUE(x.waitUntil([&] { return occurrences("Opened " + url) == 1; }));
    EXPECT_EQ(occurrences("Quandrel is ready"), 1);
}

TEST_F(X11AppTest, SecondLaunchWithoutArgumentsShowsTheSettings)
{
    const auto settingsShown = [] { return !test::commandOutput("xdotool search --onlyvisible --name '^Quandrel Settings$'").empty(); };
    ASSERT_FALSE(settingsShown());
    ASSERT_EQ(test::run(QUANDREL_EXECUTABLE), 0);
    EXPECT_TRUE(x.waitUntil(settingsShown)) << logText();
    EXPECT_EQ(occurrences("Quandrel is ready"), 1);
    EXPECT_EQ(test::run("wmctrl -F -c 'Quandrel Settings'"), 0);
    EXPECT_TRUE(x.waitUntil([&] { return !settingsShown(); }));
}

TEST_F(X11AppTest, XdgOpenReachesTheRunningInstance)
{
    ASSERT_EQ(test::run(std::string(QUANDREL_SOURCE_DIR) + "/tools/install-desktop-entry.sh " + QUANDREL_EXECUTABLE), 0);
    EXPECT_TRUE(fs::exists(root / "data" / "applications" / "quandrel.desktop"));
    TestWindow w({"--geometry", "400x300+300+200"});
    ASSERT_TRUE(x.activate(w.id()));
    ASSERT_EQ(test::run("xdg-open 'quandrel://window/leftHalf?from-xdg-open' >/dev/null 2>&1"), 0);
    EXPECT_TRUE(landsAt(w.id(), leftHalf)) << logText();
    EXPECT_TRUE(x.waitUntil([&] { return occurrences("Opened quandrel://window/leftHalf?from-xdg-open") == 1; }));
}

TEST_F(X11AppTest, DraggingAWindowToTheLeftEdgeSnapsIt)
{
    TestWindow w({"--geometry", "400x300+300+200"});
    ASSERT_TRUE(x.activate(w.id()));
    const Rect frame = x.outerFrame(w.id());
    std::string drag = "xdotool mousemove " + std::to_string(int(frame.midX())) + " " + std::to_string(int(frame.y + 8))
        + " mousedown 1 sleep 0.02";
    for (int i = 0; i < 40; ++i)
        drag += " mousemove_relative -- -40 0 sleep 0.005";
    drag += " sleep 0.05 mouseup 1";
    ASSERT_EQ(test::run(drag), 0);
    EXPECT_TRUE(landsAt(w.id(), leftHalf)) << logText();
}

TEST_F(X11AppTest, CommandSocketIsPrivateToTheUser)
{
    int sockets = 0;
    for (const auto& entry : fs::directory_iterator(root / "runtime")) {
        struct stat info {};
        ASSERT_EQ(lstat(entry.path().c_str(), &info), 0);
        if (!S_ISSOCK(info.st_mode))
            continue;
        ++sockets;
        EXPECT_EQ(info.st_mode & 077, 0u) << entry.path();
        EXPECT_EQ(info.st_uid, getuid());
    }
    EXPECT_EQ(sockets, 1);
}

TEST_F(X11AppTest, ProgramsItStartsDoNotInheritTheApplicationFolder)
{
    ASSERT_EQ(test::run(std::string(QUANDREL_EXECUTABLE) + " quandrel://app/quandrel-environment"), 0);
    std::string environment;
    ASSERT_TRUE(x.waitUntil([&] {
        environment = test::readFile(root / "environment");
        return environment.find("\nPATH=") != std::string::npos;
    })) << logText();
    EXPECT_EQ(environment.find("APPDIR="), std::string::npos) << environment;
    EXPECT_EQ(environment.find("Quandrel.AppDir"), std::string::npos) << environment;
}
