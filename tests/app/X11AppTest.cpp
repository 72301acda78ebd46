// The quandrel application as a user runs it, on the private desktop: hot keys move the
// focused window, a settings change applies without a restart, and a second launch hands
// its command URL to the running instance, or, without one, shows the settings.

#include "LoggedProcess.h"
#include "SettingsStore.h"
#include "XTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
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
        home = std::make_unique<test::QuandrelHome>("app");
        XDesktop::instance().setMonitors({"*MAIN 1440x900+0+0"});
        home->addApplication("quandrel-environment", "sh -c \"env > '" + (home->root / "environment").string() + "'\"");
        // Started the way AppRun starts it from the application folder.
        app = test::startQuandrel({.log = home->log(),
                                   .environment = {{"APPDIR", (home->root / "Quandrel.AppDir").string()},
                                                   {"TESSDATA_PREFIX", (home->root / "Quandrel.AppDir/usr/share/tessdata").string()}}});
    }

    static void TearDownTestSuite()
    {
        app.stop();
        XDesktop::instance().setMonitors({});
        home.reset();
    }

    void SetUp() override { ASSERT_TRUE(x.activate(w.id())); }

    bool landsAt(const Rect& frame) { return x.waitUntil([&] { return x.outerFrame(w.id()) == frame; }); }
    static bool windowShown(const std::string& title)
    {
        return !test::commandOutput("xdotool search --onlyvisible --name '^" + title + "$'").empty();
    }

    static inline std::unique_ptr<test::QuandrelHome> home;
    static inline test::LoggedProcess app;
    XDesktop& x = XDesktop::instance();
    TestWindow w{{"--geometry", "400x300+300+200"}};
};

const Rect leftHalf{0, 0, 720, 900};
const Rect rightHalf{720, 0, 720, 900};

} // namespace

TEST_F(X11AppTest, ChangedShortcutWorksWithoutRestart)
{
    ASSERT_EQ(test::run("xdotool key ctrl+alt+Left"), 0);
    EXPECT_TRUE(landsAt(leftHalf)) << app.logText();
    {
        SettingsStore store(QString::fromStdString(home->settingsFile().string()));
        QuandrelSettings next = store.settings();
        next.windowShortcuts[WindowAction::rightHalf] = {0, 0x1800}; // Ctrl+Alt+A
        store.setSettings(next);
    }
    // The running instance notices the file change; the new combination starts working.
    ASSERT_TRUE(x.waitUntil([&] {
        test::run("xdotool key ctrl+alt+a");
        return x.waitUntil([&] { return x.outerFrame(w.id()) == rightHalf; }, std::chrono::milliseconds(100));
    })) << app.logText();

    // The old combination does nothing: a later press of another shortcut is handled, and
    // no right-half command came before it.
    const int before = app.occurrences("rightHalf in");
    ASSERT_EQ(test::run("xdotool key ctrl+alt+Right ctrl+alt+Left"), 0);
    EXPECT_TRUE(landsAt(leftHalf));
    EXPECT_EQ(app.occurrences("rightHalf in"), before);
}

TEST_F(X11AppTest, SecondLaunchesHandTheirURLsToTheRunningInstanceOnce)
{
    const std::string url = "quandrel://window/rightHalf?second-launch";
    ASSERT_EQ(test::runQuandrel("'" + url + "'"), 0);
    EXPECT_TRUE(landsAt(rightHalf));
    EXPECT_TRUE(app.waitForLog("Opened " + url));
    EXPECT_EQ(app.occurrences("Opened " + url), 1);

    // Through the desktop entry, as a browser's link does.
    ASSERT_EQ(test::run(std::string(QUANDREL_SOURCE_DIR) + "/tools/install-desktop-entry.sh " + QUANDREL_EXECUTABLE), 0);
    EXPECT_TRUE(fs::exists(home->data / "applications" / "quandrel.desktop"));
    ASSERT_EQ(test::run("xdg-open 'quandrel://window/leftHalf?from-xdg-open' >/dev/null 2>&1"), 0);
    EXPECT_TRUE(landsAt(leftHalf)) << app.logText();
    EXPECT_TRUE(app.waitForLog("Opened quandrel://window/leftHalf?from-xdg-open"));

    // Without arguments, or with the settings URL (which opens no other program for the file),
    // the settings window shows.
    const int opens = app.occurrences("xdg-open");
    for (const char* words : {"", "quandrel://settings"}) {
        ASSERT_FALSE(windowShown("Quandrel Settings"));
        ASSERT_EQ(test::runQuandrel(words), 0);
        EXPECT_TRUE(x.waitUntil([] { return windowShown("Quandrel Settings"); })) << app.logText();
        EXPECT_EQ(test::run("wmctrl -F -c 'Quandrel Settings'"), 0);
        EXPECT_TRUE(x.waitUntil([] { return !windowShown("Quandrel Settings"); }));
    }
    EXPECT_EQ(app.occurrences("xdg-open"), opens);
    EXPECT_EQ(app.occurrences("Quandrel is ready"), 1);
}

TEST_F(X11AppTest, DraggingAWindowToTheLeftEdgeSnapsIt)
{
    const Rect frame = x.outerFrame(w.id());
    std::string drag = "xdotool mousemove " + std::to_string(int(frame.midX())) + " " + std::to_string(int(frame.y + 8))
        + " mousedown 1 sleep 0.02";
    for (int i = 0; i < 40; ++i)
        drag += " mousemove_relative -- -40 0 sleep 0.005";
    drag += " sleep 0.05 mouseup 1";
    ASSERT_EQ(test::run(drag), 0);
    EXPECT_TRUE(landsAt(leftHalf)) << app.logText();
}

TEST_F(X11AppTest, TheSocketIsPrivateAndStartedProgramsDoNotInheritTheApplicationFolder)
{
    int sockets = 0;
    for (const auto& entry : fs::directory_iterator(home->runtime)) {
        struct stat info {};
        ASSERT_EQ(lstat(entry.path().c_str(), &info), 0);
        if (!S_ISSOCK(info.st_mode))
            continue;
        ++sockets;
        EXPECT_EQ(info.st_mode & 077, 0u) << entry.path();
        EXPECT_EQ(info.st_uid, getuid());
    }
    EXPECT_EQ(sockets, 1);

    ASSERT_EQ(test::runQuandrel("quandrel://app/quandrel-environment"), 0);
    std::string environment;
    ASSERT_TRUE(x.waitUntil([&] {
        environment = test::readFile(home->root / "environment");
        return environment.find("\nPATH=") != std::string::npos;
    })) << app.logText();
    EXPECT_EQ(environment.find("APPDIR="), std::string::npos) << environment;
    EXPECT_EQ(environment.find("Quandrel.AppDir"), std::string::npos) << environment;
}
