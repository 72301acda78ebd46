// The updater as a person lives with it: what an idle updater costs between checks, and how
// long it takes from "Install and Relaunch" until the new version answers (on the private
// desktop, with a real application folder and a release served from 127.0.0.1).
// Prints one "name: value unit" line per figure.

#include "UpdateScenario.h"
#include "Updater.h"
#include "UpdaterFixtures.h"

#include "BenchStats.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QTemporaryDir>

#include <malloc.h>

using namespace ostry;

namespace {

class NoPresenter final : public UpdatePresenting {
public:
    void show(Updater&) override {}
    void close() override {}
    void showUpToDate(const QString&, const QString&) override {}
    void showError(const QString&) override {}
    void notifyReady(const QString&, const UpdateCandidate&) override {}
};

std::size_t heapInUse()
{
    return mallinfo2().uordblks;
}

// Heap held by `count` enabled updaters with the real parts, each with its own network access
// manager as the application gives it, waiting for their next check.
double idleBytesPerUpdater(int count)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("apps"));
    const QString bundle = test::makeBundle(dir.filePath("apps"), {"1.0"});
    {
        QSettings settings(dir.filePath("updater.ini"), QSettings::IniFormat);
        settings.setValue(UpdaterSettings::lastCheckDate, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    }
    NoPresenter presenter;
    std::vector<std::unique_ptr<QNetworkAccessManager>> networks;
    std::vector<std::unique_ptr<Updater>> updaters;
    QCoreApplication::processEvents();
    malloc_trim(0);
    const std::size_t before = heapInUse();
    for (int i = 0; i < count; ++i) {
        UpdaterConfiguration configuration;
        configuration.bundle = AppBundle(bundle);
        configuration.feedRepository = "quandrel/quandrel";
        UpdaterHooks hooks;
        hooks.isEnabled = true;
        updaters.push_back(std::make_unique<Updater>(configuration,
                                                     std::make_unique<QSettings>(dir.filePath("updater.ini"), QSettings::IniFormat),
                                                     Updater::defaultParts(configuration, networks.emplace_back(
                                                                                              std::make_unique<QNetworkAccessManager>()).get()),
                                                     presenter, hooks, Schedule::startNow));
    }
    QCoreApplication::processEvents();
    const std::size_t after = heapInUse();
    return double(after - before) / count;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir sandbox;
    for (const char* folder : {"home", "config", "data", "tmp"})
        QDir(sandbox.path()).mkpath(QString::fromLatin1(folder));
    qputenv("HOME", QFile::encodeName(sandbox.filePath("home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(sandbox.filePath("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(sandbox.filePath("data")));
    qputenv("TMPDIR", QFile::encodeName(sandbox.filePath("tmp")));
    QDir(sandbox.path()).mkpath("runtime");
    QFile::setPermissions(sandbox.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(sandbox.filePath("runtime")));
    const bool desktop = !qEnvironmentVariableIsEmpty("DISPLAY");
    if (!desktop)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // The first one also pays for the first use of QSettings, the network stack and the logging.
    quandrel::bench::print("updater_first_idle_heap", idleBytesPerUpdater(1) / 1024.0, "kB", 1);
    quandrel::bench::print("updater_idle_heap", idleBytesPerUpdater(20) / 1024.0, "kB", 1);

    if (!desktop) {
        std::fprintf(stderr, "No DISPLAY: the relaunch is measured on the private desktop (tools/bench.sh).\n");
        return 0;
    }
    std::vector<double> samples;
    for (int run = 0; run < 3; ++run) {
        QTemporaryDir dir;
        test::UpdateScenario scenario(QFileInfo(dir.path()).canonicalFilePath(),
                                      {QStringLiteral(QUANDREL_EXECUTABLE), QStringLiteral(OSTRY_RELEASE_TOOL),
                                       QStringLiteral(QUANDREL_RELEASE_REPOSITORY)});
        QString error;
        if (!scenario.prepare(test::UpdateScenario::Archive::intact, &error) || !scenario.start()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        QStringList windows;
        if (!test::UpdateScenario::waitUntil([&] { return !(windows = test::UpdateScenario::windowsNamed("Software Update")).isEmpty(); },
                                             30000)
            || !test::UpdateScenario::activate(windows[0])) {
            std::fprintf(stderr, "no Software Update window\n%s\n", qPrintable(scenario.log()));
            return 1;
        }
        const qint64 oldPid = scenario.firstProcess().processId();
        QElapsedTimer timer;
        timer.start();
        test::UpdateScenario::typeKey("Return");
        std::optional<qint64> pid;
        if (!test::UpdateScenario::waitUntil([&] { return (pid = scenario.answeringPid()) && *pid != oldPid; }, 60000)) {
            std::fprintf(stderr, "the new version didn't answer\n%s\n", qPrintable(scenario.log()));
            return 1;
        }
        samples.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    quandrel::bench::printStats("install_and_relaunch_to_answer", samples, 0);
    return 0;
}
