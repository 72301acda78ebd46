// The app launcher against real windows and a desktop entry installed into a temporary
// XDG_DATA_HOME.

#include "AppLauncher.h"
#include "DesktopEntries.h"
#include "FrontmostApplication.h"
#include "X11Applications.h"
#include "X11Desktop.h"
#include "X11Displays.h"
#include "X11Session.h"
#include "X11Windows.h"
#include "XTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

using namespace quandrel;
using quandrel::test::TestWindow;
using quandrel::test::XDesktop;

namespace {

const char* const appId = "quandrel-testapp";

class CountingSound final : public SystemSound {
public:
    void beep() override { ++beeps; }
    int beeps = 0;
};

class X11LauncherTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // GIO reads the data folders once, so the entry must exist before its first use.
        dataHome = std::filesystem::temp_directory_path() / ("quandrel-launcher-" + std::to_string(getpid()));
        std::filesystem::create_directories(dataHome / "applications");
        std::ofstream(dataHome / "applications" / (std::string(appId) + ".desktop"))
            << "[Desktop Entry]\nType=Application\nName=Quandrel Test App\n"
            << "Exec=" << QUANDREL_TESTWINDOW_PATH << " --class " << appId << " --geometry 300x200+400+300\n"
            << "StartupWMClass=" << appId << "\n";
        // Entries whose windows name neither the ID nor a StartupWMClass: a reverse-DNS ID
        // whose last part is the class, and a program whose name is the class.
        std::ofstream(dataHome / "applications" / "org.example.Quandrelpad.desktop")
            << "[Desktop Entry]\nType=Application\nName=Pad\nExec=/bin/true\n";
        // A program that talks on both outputs and then says it is done through a FIFO.
        ::mkfifo((dataHome / "done").c_str(), 0600);
        std::ofstream(dataHome / "talker.sh") << "echo talker-output-marker\necho talker-output-marker >&2\necho done > '"
                                              << (dataHome / "done").string() << "'\n";
        std::ofstream(dataHome / "applications" / "quandrel-talker.desktop")
            << "[Desktop Entry]\nType=Application\nName=Talker\nExec=/bin/sh " << (dataHome / "talker.sh").string() << "\n";
        std::ofstream(dataHome / "applications" / "quandrel-program-entry.desktop")
            << "[Desktop Entry]\nType=Application\nName=Program\nExec=" << QUANDREL_TESTWINDOW_PATH << "\n";
        setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dataHome); }

    void SetUp() override
    {
        desktop = x11::X11Desktop::open();
        ASSERT_TRUE(desktop);
        PlatformServices services = desktop->services();
        services.sound = &sound;
        launcher = std::make_unique<AppLauncher>(services);
    }

    void TearDown() override
    {
        // Whatever the launcher started is ended.
        for (const auto& app : desktop->applications().runningApplications(appId))
            kill(app.pid, SIGTERM);
        x.waitUntil([&] { return desktop->applications().runningApplications(appId).empty(); });
    }

    AppBinding binding(FrontmostBehavior when = FrontmostBehavior::hide) { return {appId, "Quandrel Test App", std::nullopt, when}; }
    std::int32_t activePid() { return desktop->windows().focusedWindow() ? desktop->windows().focusedWindow()->pid : 0; }

    static inline std::filesystem::path dataHome;
    XDesktop& x = XDesktop::instance();
    std::unique_ptr<x11::X11Desktop> desktop;
    CountingSound sound;
    std::unique_ptr<AppLauncher> launcher;
};

} // namespace

TEST_F(X11LauncherTest, NotRunningIsLaunchedAndBecomesActive)
{
    EXPECT_TRUE(desktop->applications().isInstalled(appId));
    EXPECT_TRUE(desktop->applications().runningApplications(appId).empty());
    launcher->activate(binding());
    ASSERT_TRUE(x.waitUntil([&] {
        const auto running = desktop->applications().runningApplications(appId);
        return running.size() == 1 && running.front().active;
    }));
    EXPECT_EQ(sound.beeps, 0);
}

TEST_F(X11LauncherTest, BackgroundIsFrontedActiveIsHiddenAndBack)
{
    TestWindow app({"--class", appId, "--geometry", "300x200+100+100"});
    // Another program: the test app's entry runs the test window program, whose own class
    // would make it one of the app's windows.
    TestWindow other({"--class", "quandrel-other", "--geometry", "300x200+600+100"});
    ASSERT_TRUE(x.activate(other.id()));

    const auto running = desktop->applications().runningApplications(appId);
    ASSERT_EQ(running.size(), 1u);
    EXPECT_EQ(running.front().pid, app.pid());
    EXPECT_FALSE(running.front().active);
    launcher->activate(binding());
    ASSERT_TRUE(x.waitUntil([&] { return activePid() == app.pid(); }));

    launcher->activate(binding());
    EXPECT_TRUE(x.waitUntil([&] { return x.isMinimized(app.id()); }));
    EXPECT_TRUE(x.waitUntil([&] { return activePid() != app.pid(); }));
    EXPECT_FALSE(desktop->applications().runningApplications(appId).front().active);

    launcher->activate(binding());
    EXPECT_TRUE(x.waitUntil([&] { return !x.isMinimized(app.id()) && activePid() == app.pid(); }));

    launcher->activate(binding(FrontmostBehavior::nothing));
    EXPECT_FALSE(x.isMinimized(app.id()));
    EXPECT_EQ(activePid(), app.pid());
}

TEST_F(X11LauncherTest, CycleWindowsVisitsEveryWindowButTheMinimizedOne)
{
    TestWindow app({"--class", appId, "--geometry", "300x200+100+100"}, 4);
    x.minimize(app.ids()[3]);
    ASSERT_TRUE(x.activate(app.ids()[0]));

    std::set<std::uint32_t> visited;
    for (int press = 0; press < 3; ++press) {
        const std::uint32_t before = x.activeWindow();
        launcher->activate(binding(FrontmostBehavior::cycleWindows));
        ASSERT_TRUE(x.waitUntil([&] { return x.activeWindow() != before && x.activeWindow() != 0; })) << "press " << press;
        EXPECT_NE(x.activeWindow(), app.ids()[3]);
        visited.insert(x.activeWindow());
    }
    EXPECT_EQ(visited, (std::set<std::uint32_t>{app.ids()[0], app.ids()[1], app.ids()[2]}));
    EXPECT_TRUE(x.isMinimized(app.ids()[3]));
}

TEST_F(X11LauncherTest, UnknownApplicationBeeps)
{
    launcher->activate({"org.example.NotInstalled", "Nothing", std::nullopt, FrontmostBehavior::hide});
    EXPECT_EQ(sound.beeps, 1);
    launcher->activate({"../../etc/passwd", "Nothing", std::nullopt, FrontmostBehavior::hide});
    EXPECT_EQ(sound.beeps, 2);
}

TEST_F(X11LauncherTest, TwoProcessesOfOneApplicationAreCycledTogether)
{
    TestWindow older({"--class", appId, "--geometry", "300x200+100+100"});
    TestWindow newer({"--class", appId, "--geometry", "300x200+500+100"});
    ASSERT_TRUE(x.activate(newer.id()));

    launcher->activate(binding(FrontmostBehavior::cycleWindows));
    ASSERT_TRUE(x.waitUntil([&] { return x.activeWindow() == older.id(); }));
    launcher->activate(binding(FrontmostBehavior::cycleWindows));
    ASSERT_TRUE(x.waitUntil([&] { return x.activeWindow() == newer.id(); }));
    EXPECT_EQ(desktop->applications().runningApplications(appId).size(), 2u);
    EXPECT_EQ(sound.beeps, 0);
}

TEST_F(X11LauncherTest, ClassesMatchTheLastPartOfTheIdAndTheProgramInAnyCase)
{
    TestWindow pad({"--class", "QUANDRELPAD"});
    const auto padApps = desktop->applications().runningApplications("org.example.Quandrelpad");
    ASSERT_EQ(padApps.size(), 1u);
    EXPECT_EQ(padApps.front().pid, pad.pid());

    TestWindow program({"--class", "Quandrel-Testwindow"});
    const auto programApps = desktop->applications().runningApplications("quandrel-program-entry");
    ASSERT_EQ(programApps.size(), 1u);
    EXPECT_EQ(programApps.front().pid, program.pid());

    // Known and running: activation fronts the window instead of starting another.
    ASSERT_TRUE(x.activate(pad.id()));
    launcher->activate({"quandrel-program-entry", "Program", std::nullopt, FrontmostBehavior::hide});
    ASSERT_TRUE(x.waitUntil([&] { return x.activeWindow() == program.id(); }));
    EXPECT_EQ(sound.beeps, 0);
}

TEST_F(X11LauncherTest, LaunchedProgramsDoNotWriteIntoOurOutput)
{
    // Our own stdout and stderr go to a file while the program runs.
    const auto capture = dataHome / "our-output";
    std::fflush(stdout);
    std::fflush(stderr);
    const int saved[2] = {::dup(1), ::dup(2)};
    const int file = ::open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    ::dup2(file, 1);
    ::dup2(file, 2);
    const bool launched = freedesktop::launchDesktopEntry("quandrel-talker");
    ::dup2(saved[0], 1);
    ::dup2(saved[1], 2);
    for (const int fd : {saved[0], saved[1], file})
        ::close(fd);
    ASSERT_TRUE(launched);

    // The program has written both lines once it opens the FIFO.
    std::ifstream done(dataHome / "done");
    std::string word;
    done >> word;
    EXPECT_EQ(word, "done");
    std::stringstream ours;
    ours << std::ifstream(capture).rdbuf();
    EXPECT_EQ(ours.str().find("talker-output-marker"), std::string::npos) << ours.str();
}
