#pragma once

// Runs the command-line programs the installer needs.

#include <QString>
#include <QStringList>

namespace ostry::Shell {

// Runs the program and waits for it; standard output and error are read together. Returns
// that text (invalid UTF-8 repaired) on exit status 0, else throws ShellFailure.
QString run(const QString& program, const QStringList& arguments);

// Starts the program detached, its output sent to /dev/null, without waiting. False when it
// couldn't be started.
bool launch(const QString& program, const QStringList& arguments);

// Waits for process $1 to end, then starts the launcher $2.
inline constexpr const char* relaunchScript =
    "while /bin/kill -0 \"$1\" 2>/dev/null; do /bin/sleep 0.2; done; exec \"$2\"";

// Starts the bundle's launcher again once process `pid` has exited. Pass the launcher at the
// bundle's install path (AppBundle::launcherPath), never /proc/self/exe, which after an
// update follows the old copy.
bool scheduleRelaunch(qint64 pid, const QString& launcherPath);

} // namespace ostry::Shell
