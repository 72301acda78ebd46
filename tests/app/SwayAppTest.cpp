// The quandrel application in a sway session, as a user runs it: command URLs arrange the
// focused window and open applications, and the key bindings it prints are ones sway takes.

#include "LoggedProcess.h"
#include "SettingsStore.h"
#include "SwayTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace quandrel;
using quandrel::test::SwayClient;
using quandrel::test::SwayTestDesktop;

namespace {

namespace fs = std::filesystem;

class SwayAppTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root = fs::temp_directory_path() / ("quandrel-sway-app-" + std::to_string(getpid()));
        fs::create_directories(root / "config");
        fs::create_directories(root / "runtime");
        fs::create_directories(root / "data" / "applications");
        fs::permissions(root / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        // The command socket goes here; WAYLAND_DISPLAY is a full path, so sway stays reachable.
        setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
        unsetenv("QUANDREL_SESSION");
        {
            // Past the first launch: the welcome window would take the focus the commands act on.
            SettingsStore store(QString::fromStdString((root / "config" / "Quandrel" / "settings.json").string()));
            QuandrelSettings settings = store.settings();
            settings.hasCompletedOnboarding = true;
            store.setSettings(settings);
        }
        std::ofstream(root / "data" / "applications" / "quandrel-launched.desktop")
            << "[Desktop Entry]\nType=Application\nName=Launched\nExec=" QUANDREL_WAYLANDWINDOW " quandrel-launched\n";
        SwayTestDesktop::instance().useStandardOutputs();
    }

    static void TearDownTestSuite()
    {
        app.stop();
        fs::remove_all(root);
    }

    static std::string logText() { return test::readFile(root / "quandrel.log"); }

    // The first call starts Quandrel with the URL; later ones hand it over and return.
    static void open(const std::string& url)
    {
        if (app.started()) {
            EXPECT_EQ(std::system((std::string(QUANDREL_EXECUTABLE) + " '" + url + "'").c_str()), 0);
            return;
        }
        app = test::LoggedProcess({.arguments = {QUANDREL_EXECUTABLE, url}, .log = root / "quandrel.log", .environment = {}});
        EXPECT_TRUE(app.started());
    }

    bool landsAt(const SwayClient& w, const Rect& frame)
    {
        return sway.waitUntil([&] { return sway.outerFrame(w.id()) == frame; });
    }

    static inline fs::path root;
    static inline test::LoggedProcess app;
    SwayTestDesktop& sway = SwayTestDesktop::instance();
};

} // namespace

TEST_F(SwayAppTest, CommandURLsArrangeTheFocusedWindow)
{
    SwayClient w;
    const Rect tiled = *sway.outerFrame(w.id());
    open("quandrel://window/leftHalf"); // starts Quandrel, which runs it
    EXPECT_TRUE(landsAt(w, {0, 0, 720, 900})) << logText();
    EXPECT_TRUE(sway.isFloating(w.id()));
    ASSERT_TRUE(w.settle());

    open("quandrel://window/bottomRight"); // handed to the running Quandrel
    EXPECT_TRUE(landsAt(w, {720, 450, 720, 450})) << logText();
    ASSERT_TRUE(w.settle());
    open("quandrel://window/nextDisplay");
    EXPECT_TRUE(sway.waitUntil([&] { return sway.outerFrame(w.id())->x >= 1440; })) << logText();
    ASSERT_TRUE(w.settle());

    open("quandrel://window/restore");
    EXPECT_TRUE(sway.waitUntil([&] { return !sway.isFloating(w.id()); })) << logText();
    EXPECT_EQ(sway.outerFrame(w.id()), tiled);
}

TEST_F(SwayAppTest, AppURLsFocusTheApplicationsWindow)
{
    SwayClient launched("quandrel-launched");
    SwayClient other("quandrel-other");
    ASSERT_EQ(sway.focusedWindow(), other.id());
    open("quandrel://app/quandrel-launched");
    EXPECT_TRUE(sway.waitUntil([&] { return sway.focusedWindow() == launched.id(); })) << logText();
}

TEST_F(SwayAppTest, PrintedKeyBindingsAreOnesSwayTakes)
{
    const std::string text = test::commandOutput(std::string(QUANDREL_EXECUTABLE) + " --sway-bindings");
    std::istringstream lines(text);
    int bindings = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("bindsym ", 0) != 0)
            continue;
        ++bindings;
        EXPECT_TRUE(sway.run(line)) << line;
        const std::string combination = line.substr(8, line.find(' ', 8) - 8);
        sway.run("unbindsym " + combination);
    }
    EXPECT_EQ(bindings, 22) << text; // the window commands and the full-screen capture
}
