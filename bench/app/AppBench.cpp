// Start-up time to "ready" (hot keys registered, menu built), idle resident memory and
// idle wake-ups of the quandrel application, with a Flameshot daemon's idle resident memory
// measured in the same run as the reference.
//
// Run on the private virtual desktop: tools/virtual-desktop.sh -- app_bench

#include "BenchStats.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Resident memory of a process in MiB, from /proc.
double residentMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// Context switches of every thread of a process: each is a wake-up.
long contextSwitches(qint64 pid)
{
    long total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks.filePath(task) + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLong();
        }
    }
    return total;
}

QProcessEnvironment privateEnvironment(const QTemporaryDir& dir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
    return env;
}

} // namespace

int main(int argc, char** argv)
{
    const int starts = argc > 1 ? std::atoi(argv[1]) : 10;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;

    // Start-up: from launch until the ready line, over several fresh starts.
    std::vector<double> startup;
    qint64 idlePid = 0;
    QProcess idle;
    for (int i = 0; i <= starts; ++i) {
        QTemporaryDir dir;
        for (const char* sub : {"config", "data", "runtime", "home"})
            QDir(dir.path()).mkpath(QString::fromLatin1(sub));
        QFile::setPermissions(dir.filePath(QStringLiteral("runtime")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        auto* process = i == starts ? &idle : new QProcess;
        process->setProcessEnvironment(privateEnvironment(dir));
        process->setProcessChannelMode(QProcess::SeparateChannels);
        QElapsedTimer clock;
        clock.start();
        process->start(QStringLiteral(QUANDREL_EXECUTABLE), {});
        process->setReadChannel(QProcess::StandardError);
        QByteArray output;
        while (!output.contains("Quandrel is ready") && process->waitForReadyRead(5000))
            output += process->readAllStandardError();
        if (!output.contains("Quandrel is ready")) {
            std::fprintf(stderr, "quandrel did not start: %s\n", output.constData());
            return 1;
        }
        if (i < starts) {
            startup.push_back(double(clock.nsecsElapsed()) / 1e6);
            process->terminate();
            process->waitForFinished();
            delete process;
        } else {
            dir.setAutoRemove(false); // in use by the idle instance until the end
            idlePid = process->processId();
        }
    }
    quandrel::bench::print("startup_to_ready_median", quandrel::bench::median(startup), "ms", 1);

    // The first launch's welcome window is closed as the user would (the window manager's
    // close request); idle memory is what stays after it.
    const auto welcomeShown = [] {
        QProcess list;
        list.start(QStringLiteral("wmctrl"), {QStringLiteral("-l")});
        list.waitForFinished();
        return list.readAllStandardOutput().contains("Welcome to Quandrel");
    };
    for (int i = 0; i < 100 && !welcomeShown(); ++i)
        QThread::msleep(50);
    QProcess::execute(QStringLiteral("wmctrl"), {QStringLiteral("-c"), QStringLiteral("Welcome to Quandrel")});
    for (int i = 0; i < 100 && welcomeShown(); ++i)
        QThread::msleep(50);
    QThread::sleep(2);
    std::printf("idle_rss_quandrel: %.1f MiB\n", residentMiB(idlePid));
    const long before = contextSwitches(idlePid);
    QThread::sleep(idleSeconds);
    const long after = contextSwitches(idlePid);
    std::printf("idle_wakeups_quandrel: %.1f per minute\n", double(after - before) * 60.0 / idleSeconds);
    idle.terminate();
    idle.waitForFinished();

    // The reference: a Flameshot daemon, idle after start.
    if (!QStandardPaths::findExecutable(QStringLiteral("flameshot")).isEmpty()) {
        QTemporaryDir dir;
        for (const char* sub : {"config", "data", "runtime", "home"})
            QDir(dir.path()).mkpath(QString::fromLatin1(sub));
        QProcess flameshot;
        flameshot.setProcessEnvironment(privateEnvironment(dir));
        flameshot.start(QStringLiteral("flameshot"), {});
        if (flameshot.waitForStarted()) {
            QThread::sleep(4);
            std::printf("idle_rss_flameshot: %.1f MiB\n", residentMiB(flameshot.processId()));
            const long b = contextSwitches(flameshot.processId());
            QThread::sleep(idleSeconds);
            std::printf("idle_wakeups_flameshot: %.1f per minute\n", double(contextSwitches(flameshot.processId()) - b) * 60.0 / idleSeconds);
            flameshot.terminate();
            flameshot.waitForFinished();
        }
    }
    return 0;
}
