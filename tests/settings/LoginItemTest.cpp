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
    EXPECT_TRUE(text.contains("Exec=\"/opt/Quandrel \\\"beta\\\"/quandrel\"")) << text.constData();
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
