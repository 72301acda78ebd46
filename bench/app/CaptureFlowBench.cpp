// Screenshots end to end with the running application: a full-screen capture saved to the
// screenshots folder by a command URL (launch of `quandrel quandrel://capture/fullScreen?then=save`
// until the PNG is complete), beside scrot and maim writing the same screen in the same run;
// then the idle memory before and after ten captures of every mode and choice with their
// windows closed again.
//
// Run on the private virtual desktop: tools/virtual-desktop.sh --size 3840x2160 -- capture_flow_bench

#include "BenchStats.h"
#include "SettingsStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

using quandrel::bench::printStats;

// A line of /proc/<pid>/status in MiB: "VmRSS" (all resident pages, shared library code
// included) or "RssAnon" (the process's own memory).
double statusMiB(qint64 pid, const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

int sh(const QString& command)
{
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), command});
}

// The PNG files in `folder` whose last bytes are the IEND chunk: complete ones.
int completePngs(const QString& folder)
{
    int n = 0;
    for (const QFileInfo& info : QDir(folder).entryInfoList({QStringLiteral("*.png")}, QDir::Files)) {
        QFile f(info.filePath());
        if (f.open(QIODevice::ReadOnly) && f.size() > 12 && f.seek(f.size() - 8) && f.read(4) == "IEND")
            ++n;
    }
    return n;
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QThread::usleep(500);
    }
    return true;
}

// Times a peer's command writing `file` (from launch until it exits).
std::vector<double> timePeer(const QString& program, const QStringList& arguments, const QString& file, int runs)
{
    std::vector<double> samples;
    if (QStandardPaths::findExecutable(program).isEmpty())
        return samples;
    for (int i = 0; i < runs; ++i) {
        QFile::remove(file);
        QElapsedTimer clock;
        clock.start();
        if (QProcess::execute(program, arguments + QStringList{file}) != 0 || !QFile::exists(file))
            return {};
        samples.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return samples;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    QTemporaryDir dir;
    for (const char* sub : {"config", "data", "runtime", "home", "shots", "peers"})
        QDir(dir.path()).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(dir.filePath(QStringLiteral("runtime")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString shots = dir.filePath(QStringLiteral("shots"));
    {
        quandrel::SettingsStore store(dir.filePath(QStringLiteral("config/Quandrel/settings.json")));
        quandrel::QuandrelSettings settings = store.settings();
        settings.saveFolderBookmark = shots.toUtf8();
        settings.hasCompletedOnboarding = true;
        store.setSettings(settings);
    }
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", dir.filePath(QStringLiteral("runtime")).toUtf8());
    qputenv("HOME", dir.filePath(QStringLiteral("home")).toUtf8());

    QProcess app;
    app.start(QStringLiteral(QUANDREL_EXECUTABLE), {});
    app.setReadChannel(QProcess::StandardError);
    QByteArray output;
    while (!output.contains("Quandrel is ready") && app.waitForReadyRead(10000))
        output += app.readAllStandardError();
    if (!output.contains("Quandrel is ready")) {
        std::fprintf(stderr, "quandrel did not start: %s\n", output.constData());
        return 1;
    }
    const auto url = [](const char* u) {
        return QProcess::execute(QStringLiteral(QUANDREL_EXECUTABLE), {QString::fromLatin1(u)});
    };
    QThread::sleep(2);
    const double idleBefore = statusMiB(app.processId(), "VmRSS");
    const double ownBefore = statusMiB(app.processId(), "RssAnon");

    // Full screen, saved.
    std::vector<double> saves;
    for (int i = 0; i < runs; ++i) {
        const int before = completePngs(shots);
        QElapsedTimer clock;
        clock.start();
        url("quandrel://capture/fullScreen?then=save");
        if (!waitFor([&] { return completePngs(shots) > before; })) {
            std::fprintf(stderr, "no screenshot was saved\n");
            return 1;
        }
        saves.push_back(double(clock.nsecsElapsed()) / 1e6);
        QThread::msleep(200); // the toast and the encoder settle
    }
    printStats("fullscreen_save_quandrel", saves);
    const QString peerFile = dir.filePath(QStringLiteral("peers/shot.png"));
    if (auto scrot = timePeer(QStringLiteral("scrot"), {QStringLiteral("-o")}, peerFile, runs); !scrot.empty())
        printStats("fullscreen_save_scrot", scrot);
    if (auto maim = timePeer(QStringLiteral("maim"), {}, peerFile, runs); !maim.empty())
        printStats("fullscreen_save_maim", maim);

    // Ten captures, one of each mode and each choice, and their windows closed again.
    const auto drag = [](int x0, int y0, int x1, int y1) {
        sh(QStringLiteral("xdotool mousemove %1 %2 mousedown 1 mousemove %3 %4 mousemove %5 %6 mouseup 1")
               .arg(x0).arg(y0).arg((x0 + x1) / 2).arg((y0 + y1) / 2).arg(x1).arg(y1));
    };
    const auto settle = [] { QThread::msleep(1500); };
    url("quandrel://capture/fullScreen?then=copy");
    settle();
    url("quandrel://capture/fullScreen?then=thumbnail");
    settle();
    url("quandrel://capture/fullScreen?then=pin");
    settle();
    url("quandrel://capture/fullScreen?then=editor");
    settle();
    url("quandrel://capture/area?then=copy");
    settle();
    drag(200, 200, 900, 600);
    settle();
    url("quandrel://capture/repeatArea?then=pin");
    settle();
    url("quandrel://capture/area?then=editor");
    settle();
    drag(300, 300, 1000, 700);
    settle();
    // A window to pick.
    QProcess window;
    window.start(QStringLiteral("xmessage"), {QStringLiteral("-geometry"), QStringLiteral("600x400+300+300"), QStringLiteral("a window to capture")});
    settle();
    url("quandrel://capture/window?then=copy");
    settle();
    sh(QStringLiteral("xdotool mousemove 500 450 click 1"));
    settle();
    window.kill();
    window.waitForFinished();
    url("quandrel://capture/text");
    settle();
    drag(100, 100, 1000, 400);
    QThread::sleep(3);
    url("quandrel://capture/fullScreen?then=save");
    settle();
    url("quandrel://pins/close");
    // Editors close as the window manager's close button closes them.
    for (int i = 0; i < 5; ++i)
        sh(QStringLiteral("wmctrl -c 'Quandrel Screenshot'"));
    // The thumbnail goes after its 8 seconds; an unused text engine after a minute.
    QThread::sleep(70);
    const double idleAfter = statusMiB(app.processId(), "VmRSS");
    const double ownAfter = statusMiB(app.processId(), "RssAnon");
    if (qEnvironmentVariableIsSet("CAPTURE_FLOW_BENCH_DEBUG")) {
        sh(QStringLiteral("xdotool search --onlyvisible --name Quandrel getwindowname %@ >&2"));
        sh(QStringLiteral("awk '/^[0-9a-f]+-/{n=$6} /^Rss:/{r[n]+=$2} END{for(k in r) if (r[k]>2000) print r[k], k}' /proc/%1/smaps | sort -rn | head -8 >&2").arg(app.processId()));
    }
    std::printf("idle_rss_before_captures: %.1f MiB\n", idleBefore);
    std::printf("idle_rss_after_ten_captures: %.1f MiB\n", idleAfter);
    std::printf("idle_rss_growth: %.1f MiB\n", idleAfter - idleBefore);
    std::printf("idle_own_memory_before_captures: %.1f MiB\n", ownBefore);
    std::printf("idle_own_memory_after_ten_captures: %.1f MiB\n", ownAfter);
    std::printf("idle_own_memory_growth: %.1f MiB\n", ownAfter - ownBefore);
    app.terminate();
    app.waitForFinished();
    return 0;
}
