// Global hot keys and the app launcher on a real X server: presses sent with xdotool (XTEST),
// grabs of other X clients, applications from desktop entries in a temporary XDG_DATA_HOME.
// (Keys beyond the classic table are pressed as hot keys in x11_settings_ui_tests.)

#include "AppLauncher.h"
#include "DesktopEntries.h"
#include "HotKeyCenter.h"
#include "X11Applications.h"
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11HotKeys.h"
#include "X11KeyboardLayout.h"
#include "X11Windows.h"
#include "XTestSupport.h"

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace quandrel;
using quandrel::test::run;
using quandrel::test::TestWindow;
using quandrel::test::XDesktop;

namespace {

constexpr std::uint32_t left = 123, keyF = 3, keyG = 5, ctrlOpt = 0x1800;
constexpr std::uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
constexpr std::uint8_t xF = 41, xG = 42;
const char* const appId = "quandrel-testapp";

// Another X client, to hold grabs of its own.
class OtherClient {
public:
    OtherClient() : m_c(xcb_connect(nullptr, nullptr)), m_root(xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root) {}
    ~OtherClient() { xcb_disconnect(m_c); }
    // Answers whether the server granted the grab.
    bool grab(std::uint8_t keycode, std::uint16_t modifiers)
    {
        xcb_generic_error_t* e = xcb_request_check(m_c, xcb_grab_key_checked(m_c, 1, m_root, modifiers, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(e);
        return e == nullptr;
    }

private:
    xcb_connection_t* m_c;
    xcb_window_t m_root;
};

class CountingSound final : public SystemSound {
public:
    void beep() override { ++beeps; }
    int beeps = 0;
};

class X11HotKeysTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // GIO reads the data folders once, so the entries must exist before their first use.
        dataHome = std::filesystem::temp_directory_path() / ("quandrel-launcher-" + std::to_string(getpid()));
        std::filesystem::create_directories(dataHome / "applications");
        const auto entry = [](const std::string& id, const std::string& body) {
            std::ofstream(dataHome / "applications" / (id + ".desktop")) << "[Desktop Entry]\nType=Application\n" << body;
        };
        entry(appId, std::string("Name=Quandrel Test App\nExec=") + QUANDREL_TESTWINDOW_PATH + " --class " + appId
                         + " --geometry 300x200+400+300\nStartupWMClass=" + appId + "\n");
        // Entries whose windows name neither the ID nor a StartupWMClass: a reverse-DNS ID
        // whose last part is the class, and a program whose name is the class.
        entry("org.example.Quandrelpad", "Name=Pad\nExec=/bin/true\n");
        entry("quandrel-program-entry", std::string("Name=Program\nExec=") + QUANDREL_TESTWINDOW_PATH + "\n");
        // A program that talks on both outputs and then says it is done through a FIFO.
        ::mkfifo((dataHome / "done").c_str(), 0600);
        std::ofstream(dataHome / "talker.sh") << "echo talker-output-marker\necho talker-output-marker >&2\necho done > '"
                                              << (dataHome / "done").string() << "'\n";
        entry("quandrel-talker", "Name=Talker\nExec=/bin/sh " + (dataHome / "talker.sh").string() + "\n");
        setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dataHome); }

    void SetUp() override
    {
        desktop = x11::X11Desktop::open();
        ASSERT_TRUE(desktop);
        hotKeys = static_cast<x11::X11HotKeys*>(desktop->services().hotKeys);
        hotKeys->onPressed = [this](std::uint32_t id) { presses.push_back(id); };
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

    // Dispatches the connection's events until `done` or the time is up.
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(2))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done() && std::chrono::steady_clock::now() < deadline)
            desktop->connection().waitForEvent([](xcb_generic_event_t*) { return false; }, std::chrono::milliseconds(20));
        return done();
    }
    bool waitForPresses(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(2))
    {
        return pumpUntil([&] { return presses.size() >= count; }, timeout);
    }
    // Lets every event that may still come arrive, so that "nothing happened" is meaningful.
    void settle() { desktop->connection().waitForEvent([](xcb_generic_event_t*) { return false; }, std::chrono::milliseconds(150)); }

    AppBinding binding(FrontmostBehavior when = FrontmostBehavior::hide) { return {appId, "Quandrel Test App", std::nullopt, when}; }
    std::int32_t activePid() { return desktop->windows().focusedWindow() ? desktop->windows().focusedWindow()->pid : 0; }

    static inline std::filesystem::path dataHome;
    XDesktop& x = XDesktop::instance();
    std::unique_ptr<x11::X11Desktop> desktop;
    x11::X11HotKeys* hotKeys = nullptr;
    std::vector<std::uint32_t> presses;
    CountingSound sound;
    std::unique_ptr<AppLauncher> launcher;
};

} // namespace

TEST_F(X11HotKeysTest, PressCallsBackOnceWhateverTheLocks)
{
    ASSERT_TRUE(hotKeys->registerHotKey(7, left, ctrlOpt));
    ASSERT_TRUE(hotKeys->registerHotKey(1, keyG, ctrlOpt));
    ASSERT_EQ(run("xdotool key ctrl+alt+Left"), 0);
    ASSERT_TRUE(waitForPresses(1));
    EXPECT_EQ(presses, (std::vector<std::uint32_t>{7}));
    // Num Lock and Caps Lock on: the press carries Mod2 and Lock and must still match.
    ASSERT_EQ(run("xdotool key Num_Lock Caps_Lock"), 0);
    ASSERT_EQ(run("xdotool key ctrl+alt+Left"), 0);
    EXPECT_TRUE(waitForPresses(2));
    ASSERT_EQ(run("xdotool key Num_Lock Caps_Lock"), 0);
    // Other modifiers do not match, the key alone does not either, and a held key (two
    // presses without a release, as key repeat sends) fires once.
    ASSERT_EQ(run("xdotool key ctrl+alt+shift+Left Left keydown ctrl+alt+g keydown g keyup g keyup ctrl+alt"), 0);
    ASSERT_TRUE(waitForPresses(3));
    settle();
    EXPECT_EQ(presses, (std::vector<std::uint32_t>{7, 7, 1}));
}

TEST_F(X11HotKeysTest, GrabsConflictAsAWholeAndAreReleasedWhole)
{
    {
        // The other client holds only the Num Lock variant: our registration fails as a whole
        // and leaves none of its other variants grabbed.
        OtherClient other, third;
        ASSERT_TRUE(other.grab(xF, ctrlAlt | XCB_MOD_MASK_2));
        EXPECT_FALSE(hotKeys->registerHotKey(1, keyF, ctrlOpt));
        EXPECT_TRUE(third.grab(xF, ctrlAlt));
        EXPECT_TRUE(third.grab(xF, ctrlAlt | XCB_MOD_MASK_LOCK));
    }
    ASSERT_TRUE(hotKeys->registerHotKey(3, keyG, ctrlOpt));
    EXPECT_FALSE(hotKeys->registerHotKey(4, keyG, ctrlOpt)); // under another id of ours too
    OtherClient other;
    EXPECT_FALSE(other.grab(xG, ctrlAlt));
    hotKeys->unregisterHotKey(3);
    for (const int locks : {0, int(XCB_MOD_MASK_LOCK), int(XCB_MOD_MASK_2), int(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2)})
        EXPECT_TRUE(other.grab(xG, std::uint16_t(ctrlAlt | locks))) << locks;
}

// A set is bound as a whole: it replaces what was bound before, and each id is answered with
// what became of it.
TEST_F(X11HotKeysTest, BindingASetAnswersEveryId)
{
    OtherClient other;
    ASSERT_TRUE(other.grab(xF, ctrlAlt));
    ASSERT_TRUE(hotKeys->registerHotKey(9, left, ctrlOpt));
    HotKeyStatuses statuses;
    hotKeys->bind({{.id = 1, .keyCode = keyG, .modifierMask = ctrlOpt}, {.id = 2, .keyCode = keyG, .modifierMask = ctrlOpt},
                   {.id = 3, .keyCode = keyF, .modifierMask = ctrlOpt}, {.id = 4, .keyCode = 0xFFFF, .modifierMask = ctrlOpt}},
                  [&](HotKeyStatuses answer) { statuses = std::move(answer); });
    EXPECT_EQ(statuses, (HotKeyStatuses{{1, HotKeyStatus::bound}, {2, HotKeyStatus::taken}, {3, HotKeyStatus::taken},
                                        {4, HotKeyStatus::unsupported}}));
    ASSERT_EQ(run("xdotool key ctrl+alt+Left ctrl+alt+g"), 0);
    ASSERT_TRUE(waitForPresses(1));
    EXPECT_EQ(presses, (std::vector<std::uint32_t>{1}));
}

TEST_F(X11HotKeysTest, GrabsFollowAChangedModifierMap)
{
    ASSERT_TRUE(hotKeys->registerHotKey(5, keyG, 0x0900)); // Alt+Super
    // Super moves from Mod4 to Mod3, as a keyboard configuration tool may do; the desktop
    // gets its usual map back whatever happens.
    struct Restore {
        ~Restore() { run("xmodmap -e 'remove mod3 = Super_L' -e 'add mod4 = Super_L'"); }
    } restore;
    ASSERT_EQ(run("xmodmap -e 'remove mod4 = Super_L' -e 'add mod3 = Super_L'"), 0);
    // The change reaches Quandrel as an event of its own; until it is handled a press finds
    // the old grab, so press until one arrives.
    bool pressed = false;
    for (int attempt = 0; attempt < 20 && !pressed; ++attempt) {
        ASSERT_EQ(run("xdotool key super+alt+g"), 0);
        pressed = waitForPresses(1, std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(pressed);
}

TEST_F(X11HotKeysTest, DefaultBindingsRegisterThroughTheCenter)
{
    HotKeyCenter center(*hotKeys);
    std::vector<Command> actions;
    center.onPress = [&](const Command& a) { actions.push_back(a); };
    center.updateBindings(buildBindings(defaultWindowShortcuts(), defaultCaptureShortcuts(), {}));
    EXPECT_TRUE(center.failed().empty());
    ASSERT_EQ(run("xdotool key ctrl+alt+super+Right shift+super+2"), 0);
    pumpUntil([&] { return actions.size() >= 2; });
    EXPECT_EQ(actions, (std::vector<Command>{Command{WindowCommand{WindowAction::nextDisplay}}, Command{CaptureCommand{CaptureMode::area, std::nullopt}}}));
}

TEST_F(X11HotKeysTest, KeyNamesFollowTheServersLayout)
{
    struct Restore {
        ~Restore() { run("setxkbmap us"); }
    } restore;
    ASSERT_EQ(run("setxkbmap us"), 0);
    x11::ServerKeyboardLayout layout(desktop->connection());
    EXPECT_EQ(keyName(16, &layout), "Y");
    EXPECT_EQ(displayText({6, 0x1800}, &layout), "Ctrl+Alt+Z");
    EXPECT_EQ(keyName(linuxKeyBase + 157, &layout), "My Computer"); // named by the server's symbol
    // Another layout chosen while Quandrel runs: the names change, the stored codes do not.
    ASSERT_EQ(run("setxkbmap de"), 0);
    EXPECT_TRUE(pumpUntil([&] { return keyName(16, &layout) == "Z"; }));
    EXPECT_EQ(displayText({6, 0x1800}, &layout), "Ctrl+Alt+Y");
    EXPECT_GT(layout.reloads(), 1);
}

TEST_F(X11HotKeysTest, LaunchedFrontedHiddenAndBack)
{
    EXPECT_TRUE(desktop->applications().isInstalled(appId));
    launcher->activate(binding()); // not running: launched and active
    ASSERT_TRUE(x.waitUntil([&] {
        const auto running = desktop->applications().runningApplications(appId);
        return running.size() == 1 && running.front().active;
    }));
    TearDown();

    TestWindow app({"--class", appId, "--geometry", "300x200+100+100"});
    // Another program: the entry runs the test window program, whose own class would make it
    // one of the app's windows.
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

    launcher->activate({"org.example.NotInstalled", "Nothing", std::nullopt, FrontmostBehavior::hide});
    launcher->activate({"../../etc/passwd", "Nothing", std::nullopt, FrontmostBehavior::hide});
    EXPECT_EQ(sound.beeps, 2);
}

TEST_F(X11HotKeysTest, CycleWindowsVisitsEveryWindowButTheMinimizedOne)
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

TEST_F(X11HotKeysTest, TwoProcessesOfOneApplicationAreCycledTogether)
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

TEST_F(X11HotKeysTest, ClassesMatchTheLastPartOfTheIdAndTheProgramInAnyCase)
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

TEST_F(X11HotKeysTest, LaunchedProgramsDoNotWriteIntoOurOutput)
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
    std::string word;
    std::ifstream(dataHome / "done") >> word;
    EXPECT_EQ(word, "done");
    std::stringstream ours;
    ours << std::ifstream(capture).rdbuf();
    EXPECT_EQ(ours.str().find("talker-output-marker"), std::string::npos) << ours.str();
}
