#include "DesktopSystemTiling.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

using quandrel::SystemTiling;
using quandrel::x11::DesktopSystemTiling;

TEST(SystemTiling, FollowsTheRunningWindowManager)
{
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_DIRS", config.filePath(QStringLiteral("none")).toLocal8Bit().constData(), 1);

    // Window managers that do not tile by dragging leave every zone to drag snapping.
    EXPECT_EQ(DesktopSystemTiling::forWindowManager("Openbox"), (SystemTiling{false, false}));
    EXPECT_EQ(DesktopSystemTiling::forWindowManager(""), (SystemTiling{false, false}));

    // KWin without a configuration tiles by default; its two switches are read separately.
    EXPECT_EQ(DesktopSystemTiling::forWindowManager("KWin"), (SystemTiling{true, true}));
    QFile kwinrc(config.filePath(QStringLiteral("kwinrc")));
    ASSERT_TRUE(kwinrc.open(QIODevice::WriteOnly));
    kwinrc.write("[Windows]\nElectricBorderTiling=false\nBorderlessMaximizedWindows=true\n");
    kwinrc.close();
    EXPECT_EQ(DesktopSystemTiling::forWindowManager("KWin"), (SystemTiling{false, true}));
    ASSERT_TRUE(kwinrc.open(QIODevice::Append));
    kwinrc.write("ElectricBorderMaximize=false\n");
    kwinrc.close();
    EXPECT_EQ(DesktopSystemTiling::forWindowManager("KWin"), (SystemTiling{false, false}));

    // Mutter without its settings schema installed: nothing to read, nothing left to it.
    if (!QFile::exists(QStringLiteral("/usr/share/glib-2.0/schemas/org.gnome.mutter.gschema.xml"))) {
        EXPECT_EQ(DesktopSystemTiling::forWindowManager("GNOME Shell"), (SystemTiling{false, false}));
    }
}
