// Window commands, displays and applications on a real GNOME Shell (headless, two monitors,
// one of them upright) through the Quandrel extension, with Wayland clients as the other
// applications' windows.

#include "GnomeApplications.h"
#include "GnomeDesktop.h"
#include "GnomeExtensionInstall.h"
#include "GnomeKeybindings.h"
#include "GnomeShell.h"
#include "GnomeTestSupport.h"
#include "GnomeWindows.h"
#include "GlobalHotKeys.h"
#include "KeyCodes.h"
#include "ScreenFreezer.h"
#include "WindowCommandTable.h"
#include "WindowManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QLoggingCategory>
#include <QProcess>

#include <gtest/gtest.h>

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

using namespace quandrel;
using quandrel::test::GnomeClient;
using quandrel::test::GnomeTestDesktop;

namespace {

class GnomeDesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLoggingCategory::setFilterRules(QStringLiteral("quandrel.windows.info=false"));
        desktop = std::make_unique<gnome::GnomeDesktop>(std::make_unique<gnome::GnomeShell>());
        ASSERT_EQ(desktop->shell().state(), gnome::ShellState::ready) << desktop->shell().problem();
    }

    GnomeTestDesktop& shell = GnomeTestDesktop::instance();
    std::unique_ptr<gnome::GnomeDesktop> desktop;
};

} // namespace

TEST_F(GnomeDesktopTest, MonitorsAreDisplaysInScreenSpaceThePrimaryFirst)
{
    const auto displays = desktop->displays().displays();
    ASSERT_EQ(displays.size(), 2u);
    EXPECT_EQ(displays[0].frame, (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(displays[0].visibleFrame, displays[0].frame);
    // 900 wide, 1440 tall, its top level with the first display's top.
    EXPECT_EQ(displays[1].frame, (Rect{1440, -540, 900, 1440}));
    EXPECT_EQ(displays[1].scale, 1);
    EXPECT_TRUE(desktop->services().trust->canControlWindows());
}

TEST_F(GnomeDesktopTest, EveryActionLeavesTheTablesFrame)
{
    GnomeClient w;
    ASSERT_TRUE(shell.place(w.id(), test::tableStartFrame));
    test::runWindowCommandTable(desktop->services(), w.handle(), [&] { return shell.frame(w.id()).value_or(Rect{}); });
}

TEST_F(GnomeDesktopTest, MaximizedWindowsAreArrangedAndAppsHiddenAndShown)
{
    GnomeClient w("quandrel-apps");
    ASSERT_TRUE(shell.eval(QStringLiteral("global.display.focus_window.maximize(Meta.MaximizeFlags.BOTH)")));
    ASSERT_TRUE(shell.waitUntil([&] { return shell.frame(w.id()) == Rect{0, 0, 1440, 900}; }));
    WindowManager manager(desktop->services());
    manager.gap = 8;
    ASSERT_TRUE(manager.perform(WindowAction::rightHalf));
    ASSERT_TRUE(shell.waitUntil([&] { return !manager.isInFlight(); }));
    EXPECT_EQ(shell.frame(w.id()), (Rect{724, 8, 708, 884}));

    auto& apps = desktop->applications();
    const auto front = apps.frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->pid, w.pid());
    EXPECT_EQ(front->desktopId, "quandrel-apps");
    const auto running = apps.runningApplications("quandrel-apps");
    ASSERT_EQ(running.size(), 1u);
    EXPECT_TRUE(running.front().active);

    apps.hide(w.pid());
    EXPECT_TRUE(shell.waitUntil([&] { return desktop->windows().isMinimized(w.handle()) == true; }));
    apps.unhide(w.pid());
    EXPECT_TRUE(shell.waitUntil([&] { return desktop->windows().isMinimized(w.handle()) == false && shell.focusedWindow() == w.id(); }));
    // A window that is gone is no crash and no frame.
    w.close();
    QCoreApplication::processEvents(); // what the Shell answered before is kept for one turn
    EXPECT_FALSE(desktop->windows().readFrame(w.handle()));
    bool applied = false;
    desktop->windows().setFrame(w.handle(), 0, {0, 0, 100, 100}, [&] { applied = true; });
    EXPECT_TRUE(shell.waitUntil([&] { return applied; }));
}

TEST_F(GnomeDesktopTest, OtherProgramsAndOtherVersionsAreRefusedPlainly)
{
    // gdbus is not in the extension's list of callers.
    QProcess gdbus;
    gdbus.start(QStringLiteral("gdbus"), {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("-d"), QStringLiteral("org.quandrel.Shell"),
                                          QStringLiteral("-o"), QStringLiteral("/org/quandrel/Shell"), QStringLiteral("-m"),
                                          QStringLiteral("org.quandrel.Shell.Windows")});
    ASSERT_TRUE(gdbus.waitForFinished(10000));
    EXPECT_NE(gdbus.exitCode(), 0);
    EXPECT_TRUE(gdbus.readAllStandardError().contains("AccessDenied"));

    for (const auto& [version, advice] : {std::pair{gnome::shellInterfaceVersion + 1, "update the extension."},
                                          std::pair{gnome::shellInterfaceVersion - 1, "update Quandrel."}}) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.quandrel.Shell"), QStringLiteral("/org/quandrel/Shell"),
                                                           QStringLiteral("org.quandrel.Shell"), QStringLiteral("Handshake"));
        call << version;
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
        EXPECT_EQ(reply.errorName(), QStringLiteral("org.quandrel.Shell.Error.Version"));
        EXPECT_TRUE(reply.errorMessage().endsWith(QLatin1String(advice))) << reply.errorMessage().toStdString();
    }
}

TEST_F(GnomeDesktopTest, TheExtensionInstallsWholeForThisProgramOnly)
{
    // Only the files: enabling it would change the running Shell's extensions under the other tests.
    const std::string dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString();
    const QString target = QString::fromStdString(dataHome) + QStringLiteral("/gnome-shell/extensions/shell@quandrel.org");
    // An older copy with a file the new one no longer has goes as a whole.
    ASSERT_TRUE(QDir().mkpath(target));
    QFile stale(target + QStringLiteral("/stale.js"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();

    const auto result = gnome::installExtension(QUANDREL_EXTENSION_BUILD "/legacy/shell@quandrel.org", dataHome, "/opt/quandrel/quandrel");
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_TRUE(QFile::exists(target + QStringLiteral("/extension.js")));
    EXPECT_TRUE(QFile::exists(target + QStringLiteral("/metadata.json")));
    EXPECT_FALSE(QFile::exists(target + QStringLiteral("/stale.js")));
    QFile callers(target + QStringLiteral("/callers"));
    ASSERT_TRUE(callers.open(QIODevice::ReadOnly));
    EXPECT_EQ(callers.readAll(), "/opt/quandrel/quandrel\n");

    const auto missing = gnome::installExtension("/nonexistent", dataHome, "/opt/quandrel/quandrel");
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(QFile::exists(target + QStringLiteral("/extension.js"))); // the installed copy stays
    // A ready extension leaves nothing to set up.
    EXPECT_FALSE(desktop->services().trust->setup());
}

TEST_F(GnomeDesktopTest, BoundShortcutsSignalTheirPressesAndTheDesktopsOwnAreTaken)
{
    GlobalHotKeys& hotKeys = *desktop->services().hotKeys;
    std::vector<std::uint32_t> presses;
    hotKeys.onPressed = [&](std::uint32_t id) { presses.push_back(id); };
    std::optional<HotKeyStatuses> statuses;
    const auto bind = [&](std::vector<HotKeyRequest> set) {
        statuses.reset();
        hotKeys.bind(std::move(set), [&](HotKeyStatuses s) { statuses = std::move(s); });
        return shell.waitUntil([&] { return statuses.has_value(); });
    };
    using namespace modifier;
    ASSERT_TRUE(bind({{.id = 1, .modifierMask = control | alt, .keyName = "Left"}, // GNOME's workspace key
                      {.id = 2, .modifierMask = control | alt, .keyName = "u"},
                      {.id = 3, .modifierMask = control | alt | shift, .keyName = "u"},
                      {.id = 4, .modifierMask = control | alt, .keyName = "u"}, // the same again
                      {.id = 5, .modifierMask = control}}));                    // a key without a name
    EXPECT_EQ(*statuses, (HotKeyStatuses{{1, HotKeyStatus::taken},
                                         {2, HotKeyStatus::bound},
                                         {3, HotKeyStatus::bound},
                                         {4, HotKeyStatus::taken},
                                         {5, HotKeyStatus::unsupported}}));

    constexpr std::uint32_t controlKey = 0xffe3, altKey = 0xffe9, shiftKey = 0xffe1, uKey = 0x0075;
    ASSERT_TRUE(shell.pressKeysUntil({controlKey, altKey, uKey}, [&] { return presses.size() == 1; }));
    ASSERT_TRUE(shell.pressKeysUntil({controlKey, altKey, shiftKey, uKey}, [&] { return presses.size() == 2; }));
    EXPECT_EQ(presses, (std::vector<std::uint32_t>{2, 3}));

    // A new set replaces the old one as a whole.
    ASSERT_TRUE(bind({{.id = 7, .modifierMask = control | alt | shift, .keyName = "u"}}));
    EXPECT_EQ(*statuses, (HotKeyStatuses{{7, HotKeyStatus::bound}}));
    ASSERT_TRUE(shell.pressKeys({controlKey, altKey, uKey}));
    ASSERT_TRUE(shell.pressKeysUntil({controlKey, altKey, shiftKey, uKey}, [&] { return presses.size() == 3; }));
    EXPECT_EQ(presses.back(), 7u);
    ASSERT_TRUE(bind({}));
}

TEST_F(GnomeDesktopTest, AWindowsImageIsTheWindowAloneCoveredPartsIncluded)
{
    GnomeClient painted("quandrel-painted");
    ASSERT_TRUE(shell.place(painted.id(), {100, 100, 400, 300}));
    GnomeClient cover("quandrel-cover");
    ASSERT_TRUE(shell.place(cover.id(), {200, 150, 400, 300}));
    const std::optional<GrabResult<PixelBuffer>> image = QCoro::waitFor(desktop->services().screen->windowImage(painted.handle()));
    ASSERT_TRUE(std::holds_alternative<PixelBuffer>(*image)) << std::get<GrabFailure>(*image).message;
    const PixelBuffer& pixels = std::get<PixelBuffer>(*image);
    EXPECT_EQ(pixels.width, 400);
    EXPECT_EQ(pixels.height, 300);
    const auto at = [&](int x, int y) { return reinterpret_cast<const std::uint32_t*>(pixels.data + y * pixels.bytesPerLine)[x]; };
    EXPECT_EQ(at(399, 299), 0xff306090u); // under the other window
}

TEST_F(GnomeDesktopTest, WithoutTheExtensionShortcutsAreGnomesOwnOnlyWithConsentAndGoCleanly)
{
    // A Quandrel the extension does not answer (no bus), with GNOME's settings in memory,
    // beside a custom shortcut of the person's own.
    GSettingsBackend* settings = g_memory_settings_backend_new();
    gnome::GnomeDesktop without(std::make_unique<gnome::GnomeShell>(QDBusConnection(QStringLiteral("no bus"))),
                                std::make_unique<gnome::GnomeKeybindings>("/opt/quandrel/quandrel", settings));
    const std::string custom = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/";
    GSettings* keys = g_settings_new_with_backend("org.gnome.settings-daemon.plugins.media-keys", settings);
    const auto list = [&] {
        gchar** paths = g_settings_get_strv(keys, "custom-keybindings");
        std::vector<std::string> result(paths, paths + g_strv_length(paths));
        g_strfreev(paths);
        return result;
    };
    const auto entry = [&](const std::string& name, const char* key, const char* value = nullptr) {
        GSettings* e = g_settings_new_with_backend_and_path("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding", settings,
                                                            (custom + name + "/").c_str());
        if (value)
            g_settings_set_string(e, key, value);
        gchar* text = g_settings_get_string(e, key);
        std::string result(text);
        g_free(text);
        g_object_unref(e);
        return result;
    };
    const gchar* mine[] = {"/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/mine/", nullptr};
    g_settings_set_strv(keys, "custom-keybindings", mine);
    for (const auto& [key, value] : {std::pair{"name", "Mine"}, std::pair{"command", "gedit"}, std::pair{"binding", "<Primary><Alt>k"}})
        entry("mine", key, value);

    GlobalHotKeys& hotKeys = *without.services().hotKeys;
    std::vector<HotKeyStatuses> answers;
    using namespace modifier;
    hotKeys.bind({{.id = 1, .modifierMask = control | alt, .keyName = "Left", .commandURL = "quandrel://window/leftHalf"},
                  {.id = 2, .modifierMask = control | alt, .keyName = "u", .commandURL = "quandrel://window/leftHalf"},
                  {.id = 3, .modifierMask = control | alt, .keyName = "k", .commandURL = "quandrel://capture/area"},
                  {.id = 4, .modifierMask = control | super, .keyName = "", .commandURL = "quandrel://capture/area"}},
                 [&](HotKeyStatuses s) { answers.push_back(std::move(s)); });
    ASSERT_EQ(answers.size(), 1u); // no consent yet: nothing written
    EXPECT_EQ(answers.back()[2], HotKeyStatus::unsupported);
    EXPECT_TRUE(without.keybindings().entries().empty());

    const auto setup = without.services().trust->setup();
    ASSERT_TRUE(setup && !setup->alternative.empty());
    without.services().trust->performAlternative();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers.back(), (HotKeyStatuses{{1, HotKeyStatus::taken}, // GNOME's workspace key
                                              {2, HotKeyStatus::boundByUser},
                                              {3, HotKeyStatus::taken}, // the person's own
                                              {4, HotKeyStatus::unsupported}}));
    EXPECT_EQ(list(), (std::vector<std::string>{custom + "mine/", custom + "quandrel-0/"}));
    EXPECT_EQ(entry("quandrel-0", "command"), "'/opt/quandrel/quandrel' 'quandrel://window/leftHalf'");
    EXPECT_EQ(entry("quandrel-0", "binding"), "<Control><Alt>u");

    // Released (at quit, or while a shortcut is recorded): Quandrel's entries go, the person's stay.
    hotKeys.bind({}, {});
    EXPECT_EQ(list(), (std::vector<std::string>{custom + "mine/"}));
    EXPECT_EQ(entry("quandrel-0", "binding"), "");
    EXPECT_EQ(entry("mine", "binding"), "<Primary><Alt>k");
    g_object_unref(keys);
    g_object_unref(settings);

    // In the desktop's own settings, a press runs the command line, through GNOME's settings
    // daemon; here the program notes the URL it is given.
    QTemporaryDir folder;
    QFile program(folder.filePath(QStringLiteral("quandrel")));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write("#!/bin/sh\nprintf '%s' \"$1\" >\"$0.url\"\n");
    program.close();
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    gnome::GnomeDesktop desktopSettings(std::make_unique<gnome::GnomeShell>(QDBusConnection(QStringLiteral("no bus"))),
                                        std::make_unique<gnome::GnomeKeybindings>(program.fileName().toStdString()));
    GlobalHotKeys& pressed = *desktopSettings.services().hotKeys;
    answers.clear();
    pressed.bind({{.id = 1, .modifierMask = control | alt, .keyName = "j", .commandURL = "quandrel://capture/area"}},
                 [&](HotKeyStatuses s) { answers.push_back(std::move(s)); });
    ASSERT_EQ(answers, (std::vector<HotKeyStatuses>{{{1, HotKeyStatus::boundByUser}}}));
    constexpr std::uint32_t controlKey = 0xffe3, altKey = 0xffe9, jKey = 0x006a;
    QFile url(program.fileName() + QStringLiteral(".url"));
    EXPECT_TRUE(shell.pressKeysUntil({controlKey, altKey, jKey}, [&] { return url.exists(); }));
    ASSERT_TRUE(url.open(QIODevice::ReadOnly));
    EXPECT_EQ(url.readAll(), "quandrel://capture/area");
    pressed.bind({}, {});
    QFile::remove(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Quandrel/gnome-keyboard-shortcuts"));
}

TEST_F(GnomeDesktopTest, XwaylandWindowsArePlacedPickedAndCapturedAsWaylandOnes)
{
    GnomeClient x("quandrel-x11", GnomeClient::Kind::xwayland);
    WindowManager manager(desktop->services());
    ASSERT_TRUE(manager.perform(WindowAction::leftHalf));
    ASSERT_TRUE(shell.waitUntil([&] { return !manager.isInFlight(); }));
    EXPECT_EQ(shell.frame(x.id()), (Rect{0, 0, 720, 900}));

    const auto frozen = QCoro::waitFor(desktop->services().screen->freeze({{}, true}));
    ASSERT_TRUE(std::holds_alternative<FrozenScreens>(frozen));
    const auto& windows = std::get<FrozenScreens>(frozen).windows;
    ASSERT_TRUE(windows && !windows->empty());
    EXPECT_EQ(windows->front().handle, x.handle()); // in front, where window mode picks it
    EXPECT_EQ(windows->front().frame, (Rect{0, 0, 720, 900}));
    EXPECT_TRUE(windows->front().ordinary);

    // Xwayland paints the resized window a little after the Shell has placed it.
    std::optional<PixelBuffer> pixels;
    EXPECT_TRUE(shell.waitUntil([&] {
        auto image = QCoro::waitFor(desktop->services().screen->windowImage(x.handle()));
        pixels = std::holds_alternative<PixelBuffer>(image) ? std::optional(std::get<PixelBuffer>(std::move(image))) : std::nullopt;
        return pixels && pixels->width == 720 && pixels->height == 900
            && reinterpret_cast<const std::uint32_t*>(pixels->data + 450 * pixels->bytesPerLine)[360] == 0xff336699u;
    })) << (pixels ? pixels->width : 0) << "x" << (pixels ? pixels->height : 0);
}
