#include "Shell.h"

#include "Errors.h"

#include <QFileInfo>
#include <QProcess>

namespace ostry::Shell {

QString run(const QString& program, const QStringList& arguments)
{
    const QString command = QFileInfo(program).fileName();
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(-1))
        throw ShellFailure(command, -1, process.errorString());
    process.waitForFinished(-1);
    const QString output = QString::fromUtf8(process.readAll());
    if (process.exitStatus() != QProcess::NormalExit)
        throw ShellFailure(command, -1, output.isEmpty() ? process.errorString() : output);
    if (process.exitCode() != 0)
        throw ShellFailure(command, process.exitCode(), output);
    return output;
}

bool launch(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

bool scheduleRelaunch(qint64 pid, const QString& launcherPath)
{
    return launch(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"), QString::fromLatin1(relaunchScript), QStringLiteral("sh"),
                   QString::number(pid), launcherPath});
}

} // namespace ostry::Shell
