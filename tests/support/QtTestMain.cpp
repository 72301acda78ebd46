// main() for tests that need a Qt application object (event loops, the clipboard, fonts,
// widgets). HOME, the XDG folders and TMPDIR point into one temporary folder for the whole
// run, so no test touches the real home folder or settings. Without a display the offscreen
// platform is used; on the private virtual desktop the tests get the real X server.

#include "FloatingPanel.h"
#include "X11OwnWindows.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QTemporaryDir sandbox(QDir::tempPath() + QStringLiteral("/quandrel-test-XXXXXX"));
    if (!sandbox.isValid())
        return 2;
    for (const char* folder : {"home", "home/.local/share", "home/.config", "home/.cache", "tmp", "runtime"})
        QDir(sandbox.path()).mkpath(QString::fromLatin1(folder));
    QFile::setPermissions(sandbox.filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto set = [&](const char* name, const char* folder) {
        qputenv(name, QFile::encodeName(sandbox.filePath(QString::fromLatin1(folder))));
    };
    set("HOME", "home");
    set("XDG_DATA_HOME", "home/.local/share");
    set("XDG_CONFIG_HOME", "home/.config");
    set("XDG_CACHE_HOME", "home/.cache");
    set("XDG_RUNTIME_DIR", "runtime");
    set("TMPDIR", "tmp");
    // Tests decide for themselves whether they run inside an application bundle or a sandbox.
    qunsetenv("APPDIR");
    qunsetenv("SNAP");
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    // On the virtual desktop panels get their window-manager roles as in the application.
    const auto ownWindows = quandrel::x11::X11OwnWindows::forQtWindows();
    quandrel::ui::FloatingPanel::useOwnWindows(ownWindows.get());
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    quandrel::ui::FloatingPanel::useOwnWindows(nullptr);
    return status;
}
