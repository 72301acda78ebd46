#include "LoginItem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace quandrel;

TEST(LoginItem, AutostartEntryIsWrittenAndRemoved)
{
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    EXPECT_EQ(LoginItem::entryPath(), config.filePath(QStringLiteral("autostart/quandrel.desktop")));
    EXPECT_FALSE(LoginItem::isEnabled());

    EXPECT_FALSE(LoginItem::setEnabled(true, QStringLiteral("/opt/Quandrel \"beta\"/quandrel")));
    EXPECT_TRUE(LoginItem::isEnabled());
    QFile entry(LoginItem::entryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray text = entry.readAll();
    EXPECT_TRUE(text.contains("Exec=" + LoginItem::execValue(QStringLiteral("/opt/Quandrel \"beta\"/quandrel")) + "\n")) << text.constData();
    entry.close();

    // A desktop that switched the entry off with Hidden=true.
    ASSERT_TRUE(entry.open(QIODevice::Append));
    entry.write("Hidden=true\n");
    entry.close();
    EXPECT_FALSE(LoginItem::isEnabled());

    EXPECT_FALSE(LoginItem::setEnabled(false));
    EXPECT_FALSE(QFile::exists(LoginItem::entryPath()));
    EXPECT_FALSE(LoginItem::setEnabled(false)); // nothing to remove is no error

    // An autostart folder that cannot be created is reported.
    QFile blocker(config.filePath(QStringLiteral("autostart")));
    QFile::remove(config.filePath(QStringLiteral("autostart")));
    QDir(config.path()).rmdir(QStringLiteral("autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_TRUE(LoginItem::setEnabled(true));
}

// Whether an entry is on, as the Desktop Entry and Autostart specifications read it.
TEST(LoginItem, EntriesSwitchedOffByTheDesktopReadAsOff)
{
    const struct {
        const char* entry;
        bool enabled;
    } rows[] = {
        {"[Desktop Entry]\nExec=quandrel\n", true},
        {"[Desktop Entry]\nExec=quandrel\nX-GNOME-Autostart-enabled=true\n", true},
        {"[Desktop Entry]\nExec=quandrel\nX-GNOME-Autostart-enabled=false\n", false},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled = false\n", false},
        {"[Desktop Entry]\nHidden=true\n", false},
        {"[Desktop Entry]\nHidden=false\n", true},
        {"[Desktop Entry]\n# Hidden=true\n", true},
        {"[Desktop Entry]\nHidden=True\n", true}, // booleans are "true" or "false" exactly
        {"[Desktop Entry]\nExec=quandrel\n[Desktop Action Off]\nHidden=true\n", true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(LoginItem::isEnabled(QByteArray(row.entry)), row.enabled) << row.entry;
}

// The Exec value as a launcher reads it back: string escapes first, then the quoting rules.
TEST(LoginItem, ExecIsQuotedAsTheSpecificationSays)
{
    const struct {
        const char* program;
        const char* exec;
    } rows[] = {
        {"/usr/bin/quandrel", R"("/usr/bin/quandrel")"},
        {"/home/ann/My Apps/quandrel", R"("/home/ann/My Apps/quandrel")"},
        {"/opt/Quandrel \"beta\"/quandrel", R"("/opt/Quandrel \\"beta\\"/quandrel")"},
        {"/opt/$HOME/`x`/quandrel", R"("/opt/\\$HOME/\\`x\\`/quandrel")"},
        {"/opt/back\\slash/quandrel", R"("/opt/back\\\\slash/quandrel")"},
        {"/opt/100%/quandrel", R"("/opt/100%%/quandrel")"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(LoginItem::execValue(QString::fromUtf8(row.program)), QByteArray(row.exec)) << row.program;
}
