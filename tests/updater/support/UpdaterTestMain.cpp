// Runs the updater's tests inside a Qt event loop with HOME, the XDG folders and TMPDIR
// pointing into one temporary folder, so that no test touches the real home folder.

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QTemporaryDir sandbox(QDir::tempPath() + QStringLiteral("/ostry-updater-test-XXXXXX"));
    if (!sandbox.isValid())
        return 2;
    for (const char* folder : {"home", "home/.local/share", "home/.config", "home/.cache", "tmp"})
        QDir(sandbox.path()).mkpath(QString::fromLatin1(folder));
    qputenv("HOME", QFile::encodeName(sandbox.filePath(QStringLiteral("home"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(sandbox.filePath(QStringLiteral("home/.local/share"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(sandbox.filePath(QStringLiteral("home/.config"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(sandbox.filePath(QStringLiteral("home/.cache"))));
    qputenv("TMPDIR", QFile::encodeName(sandbox.filePath(QStringLiteral("tmp"))));
    qunsetenv("APPDIR");
    qunsetenv("SNAP");

    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
