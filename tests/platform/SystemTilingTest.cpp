#include "SystemTilingRules.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

#include <cstdlib>

using quandrel::SystemTiling;
using namespace quandrel::freedesktop;

TEST(SystemTiling, FollowsTheRunningWindowManager)
{
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_DIRS", config.filePath(QStringLiteral("none")).toLocal8Bit().constData(), 1);

    // Window managers that do not tile by dragging leave every zone to drag snapping.
    EXPECT_EQ(systemTilingOf("Openbox"), (SystemTiling{false, false}));
    EXPECT_EQ(systemTilingOf(""), (SystemTiling{false, false}));

    // KWin without a configuration tiles by default; its two switches are read separately.
    EXPECT_EQ(systemTilingOf("KWin"), (SystemTiling{true, true}));
    QFile kwinrc(config.filePath(QStringLiteral("kwinrc")));
    ASSERT_TRUE(kwinrc.open(QIODevice::WriteOnly));
    kwinrc.write("[Windows]\nElectricBorderTiling=false\nBorderlessMaximizedWindows=true\n");
    kwinrc.close();
    EXPECT_EQ(systemTilingOf("KWin"), (SystemTiling{false, true}));
    ASSERT_TRUE(kwinrc.open(QIODevice::Append));
    kwinrc.write("ElectricBorderMaximize=false\n");
    kwinrc.close();
    EXPECT_EQ(systemTilingOf("KWin"), (SystemTiling{false, false}));

    // Mutter without its settings schema installed: nothing to read, nothing left to it.
    if (!QFile::exists(QStringLiteral("/usr/share/glib-2.0/schemas/org.gnome.mutter.gschema.xml"))) {
        EXPECT_EQ(systemTilingOf("GNOME Shell"), (SystemTiling{false, false}));
    }
}

// The desktop's own page for its edge tiling: known for GNOME and KDE when their settings
// tool is installed, none elsewhere.
TEST(SystemTiling, SettingsPageOfTheDesktop)
{
    using namespace quandrel::freedesktop;
    using quandrel::TilingSettingsPage;
    const auto having = [](std::set<std::string> programs) {
        return [programs](const std::string& p) { return programs.contains(p) ? "/usr/bin/" + p : std::string(); };
    };
    const auto gnome = tilingSettingsPageOf("GNOME Shell", having({"gnome-control-center"}));
    ASSERT_TRUE(gnome);
    EXPECT_EQ(*gnome, (TilingSettingsPage{"Multitasking", "gnome-control-center", {"multitasking"}}));
    EXPECT_FALSE(tilingSettingsPageOf("GNOME Shell", having({})));
    const auto plasma6 = tilingSettingsPageOf("KWin", having({"kcmshell6", "kcmshell5", "systemsettings"}));
    ASSERT_TRUE(plasma6);
    EXPECT_EQ(plasma6->program, "kcmshell6");
    EXPECT_EQ(plasma6->arguments, std::vector<std::string>{"kcm_kwinscreenedges"});
    EXPECT_EQ(tilingSettingsPageOf("KWin", having({"systemsettings"}))->program, "systemsettings");
    EXPECT_FALSE(tilingSettingsPageOf("Openbox", having({"gnome-control-center", "kcmshell6"})));
    EXPECT_FALSE(tilingSettingsPageOf("", having({"gnome-control-center"})));
}
