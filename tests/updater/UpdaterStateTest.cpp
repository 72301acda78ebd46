#include "AwaitTask.h"
#include "ManualClock.h"
#include "UpdaterFakes.h"
#include "UpdaterFixtures.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ostry;
using namespace ostry::test;
using Kind = UpdateState::Kind;

namespace {

constexpr qint64 hour = 3600 * 1000;
constexpr qint64 day = 24 * hour;

class UpdaterStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(dir.filePath("apps"));
        bundlePath = makeBundle(dir.filePath("apps"), {"1.0"});
        feed->answer = candidateFor("2.0");
        downloader->bundlePath = dir.filePath("download/Quandrel.AppDir");
    }

    QString settingsPath() const { return dir.filePath("config/updater.ini"); }

    std::unique_ptr<QSettings> settings() const
    {
        return std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat);
    }

    void store(const char* key, const QVariant& value) const
    {
        QSettings file(settingsPath(), QSettings::IniFormat);
        file.setValue(QLatin1String(key), value);
    }

    // Stores a last check `ago` milliseconds before the clock's start.
    void lastCheckedAgo(qint64 ago) const { store(UpdaterSettings::lastCheckDate, base.addMSecs(-ago).toString(Qt::ISODateWithMs)); }

    QDateTime now() const { return base.addMSecs(clock.now + clockOffset); }

    std::unique_ptr<Updater> make(Schedule schedule = Schedule::startNow, std::optional<bool> enabled = true)
    {
        UpdaterConfiguration configuration;
        configuration.bundle = AppBundle(bundlePath);
        UpdaterHooks hooks;
        hooks.now = [this] { return now(); };
        hooks.schedule = clock.scheduler();
        hooks.relaunch = [this](qint64 pid, const QString& launcher) {
            relaunches.push_back({pid, launcher});
            return true;
        };
        hooks.terminate = [this] { ++terminations; };
        hooks.isEnabled = enabled;
        return std::make_unique<Updater>(configuration, settings(), UpdaterParts{feed, downloader, verifier, installer},
                                         presenter, hooks, schedule);
    }

    // Moves the clock on by `ms`, stopping at each scheduled step so that the step sees the
    // time it was due at.
    void runFor(qint64 ms)
    {
        const qint64 end = clock.now + ms;
        for (;;) {
            const std::optional<int> due = nextWake();
            if (!due || *due > end)
                break;
            clock.advance(std::max(0, *due - clock.now));
        }
        clock.advance(int(end - clock.now));
    }

    // When the schedule's next step is due, in milliseconds from the clock's start.
    std::optional<int> nextWake() const
    {
        std::optional<int> earliest;
        for (const auto& entry : clock.entries) {
            if (entry.run && (!earliest || entry.due < *earliest))
                earliest = entry.due;
        }
        return earliest;
    }

    QTemporaryDir dir;
    QString bundlePath;
    const QDateTime base = QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
    quandrel::test::ManualClock clock;
    qint64 clockOffset = 0;
    std::shared_ptr<FakeFeed> feed = std::make_shared<FakeFeed>();
    std::shared_ptr<FakeDownloader> downloader = std::make_shared<FakeDownloader>();
    std::shared_ptr<FakeVerifier> verifier = std::make_shared<FakeVerifier>();
    std::shared_ptr<FakeInstaller> installer = std::make_shared<FakeInstaller>();
    FakePresenter presenter;
    std::vector<std::pair<qint64, QString>> relaunches;
    int terminations = 0;
};

// Log lines of the updater's category, while the object lives.
class LogCapture {
public:
    LogCapture()
    {
        lines().clear();
        m_previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& message) {
            if (context.category && QByteArray(context.category) == "ostry.updater")
                lines().append(message);
        });
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    static QStringList& lines()
    {
        static QStringList captured;
        return captured;
    }

private:
    QtMessageHandler m_previous;
};

TEST_F(UpdaterStateTest, PackageReceiptTurnsEverythingOff)
{
    writeFile(bundlePath + "/Bundle/package-receipt", "installed by dpkg\n");
    auto updater = make(Schedule::startNow, std::nullopt);
    EXPECT_FALSE(updater->isEnabled());
    EXPECT_FALSE(updater->canCheckForUpdates());
    EXPECT_EQ(clock.pending(), 0);
    await(updater->checkForUpdates(ostry::Initiator::user));
    updater->installAndRelaunch();
    updater->setAutomaticallyInstalls(true);
    runFor(2 * day);
    EXPECT_EQ(feed->calls, 0);
    EXPECT_EQ(updater->state().kind, Kind::idle);
    EXPECT_EQ(presenter.total(), 0);
    EXPECT_TRUE(Updater::disabledReason(AppBundle(bundlePath)).contains("package manager"));
    EXPECT_FALSE(Updater::disabledReason(std::nullopt).isEmpty());
}

TEST_F(UpdaterStateTest, FirstStartChecksAtOnceThenWaitsAnHourAtATime)
{
    auto updater = make();
    EXPECT_EQ(feed->calls, 1);
    EXPECT_EQ(updater->lastCheckDate(), base);
    EXPECT_EQ(updater->state().kind, Kind::available);
    EXPECT_EQ(nextWake(), hour);
    // A whole day of schedule: 24 hourly wake-ups, one more check at its end.
    runFor(day - 1);
    EXPECT_EQ(feed->calls, 1);
    EXPECT_EQ(presenter.shows, 1);
    runFor(1);
    EXPECT_EQ(feed->calls, 2);
    EXPECT_EQ(presenter.shows, 2);
    EXPECT_EQ(QSettings(settingsPath(), QSettings::IniFormat).value(UpdaterSettings::lastCheckDate).toString(),
              base.addMSecs(day).toString(Qt::ISODateWithMs));
    EXPECT_EQ(QFile::permissions(settingsPath()), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

// The wait for the next check: the time left of a day since the last one, but at least a
// minute and at most an hour at a time; a date in the future (the clock was set back) or one
// that can't be read still checks within a day.
TEST_F(UpdaterStateTest, TheNextCheckWaitsTheRestOfADay)
{
    const struct {
        qint64 ago;
        std::optional<int> firstWake;
        qint64 quiet, checkedBy; // no check within `quiet`, one by `checkedBy`
    } rows[] = {{23 * hour, hour, hour - 1, hour}, {day - 1000, 60 * 1000, 59 * 1000, 60 * 1000}, {-365 * day, hour, 0, day}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ago);
        clock = {};
        feed->calls = 0;
        lastCheckedAgo(row.ago);
        auto updater = make();
        EXPECT_EQ(nextWake(), row.firstWake);
        runFor(row.quiet);
        EXPECT_EQ(feed->calls, 0);
        runFor(row.checkedBy - row.quiet);
        EXPECT_EQ(feed->calls, 1);
    }
    // Set back again while running: counted from when it was noticed, not from the old date.
    auto updater = make();
    clockOffset = -365 * day;
    runFor(day + hour);
    EXPECT_EQ(feed->calls, 2);

    store(UpdaterSettings::lastCheckDate, "yesterday-ish");
    feed->calls = 0;
    clockOffset = 0;
    auto unreadable = make();
    EXPECT_EQ(feed->calls, 1);
}

TEST_F(UpdaterStateTest, AFailedBackgroundCheckIsSilentAndRetriedAnHourLaterAUserCheckSaysSo)
{
    LogCapture log;
    feed->failure = "The network is down.";
    auto updater = make();
    EXPECT_EQ(feed->calls, 1);
    EXPECT_EQ(updater->state().kind, Kind::idle);
    EXPECT_EQ(presenter.total(), 0);
    EXPECT_FALSE(updater->lastCheckDate());
    EXPECT_TRUE(LogCapture::lines().contains("Update failed: The network is down."));
    // Not again at once (the feed would be asked in a tight loop), but an hour later.
    EXPECT_EQ(nextWake(), hour);
    runFor(hour);
    EXPECT_EQ(feed->calls, 2);

    feed->failure = "The update server responded with status 500.";
    await(updater->checkForUpdates(ostry::Initiator::user));
    EXPECT_EQ(updater->state().kind, Kind::failed);
    EXPECT_EQ(updater->state().message, "The update server responded with status 500.");
    EXPECT_EQ(presenter.lastError, "The update server responded with status 500.");
    EXPECT_EQ(presenter.errors, 1);
    EXPECT_EQ(presenter.total(), 1);
}

TEST_F(UpdaterStateTest, UpToDateIsToldOnlyWhenAsked)
{
    auto updater = make(Schedule::onStart);
    for (const char* offered : {"1.0", "0.9", "1.0.0"}) {
        feed->answer = candidateFor(offered);
        await(updater->checkForUpdates(ostry::Initiator::background));
        EXPECT_EQ(updater->state().kind, Kind::upToDate) << offered;
    }
    feed->answer.reset();
    await(updater->checkForUpdates(ostry::Initiator::background));
    EXPECT_EQ(presenter.total(), 0);
    await(updater->checkForUpdates(ostry::Initiator::user));
    EXPECT_EQ(updater->state().kind, Kind::upToDate);
    EXPECT_EQ(presenter.upToDates, 1);
    EXPECT_EQ(presenter.lastUpToDate, "Quandrel 1.0");
    EXPECT_EQ(presenter.total(), 1);
}

TEST_F(UpdaterStateTest, ASkippedVersionIsOfferedOnlyWhenTheUserAsks)
{
    {
        auto first = make(Schedule::onStart);
        feed->answer = candidateFor("2.0");
        await(first->checkForUpdates(ostry::Initiator::user));
        first->skipThisVersion();
        EXPECT_EQ(presenter.shows, 1);
        EXPECT_EQ(presenter.closes, 1);
    }
    EXPECT_EQ(QSettings(settingsPath(), QSettings::IniFormat).value(UpdaterSettings::skippedVersion).toString(), "2.0");
    LogCapture log;
    auto updater = make(Schedule::onStart);
    await(updater->checkForUpdates(ostry::Initiator::background));
    EXPECT_EQ(updater->state().kind, Kind::available);
    EXPECT_EQ(presenter.shows, 1);
    EXPECT_TRUE(LogCapture::lines().contains("Skipping 2.0 as the user asked"));
    await(updater->checkForUpdates(ostry::Initiator::user));
    EXPECT_EQ(presenter.shows, 2);
    // A newer release than the skipped one is offered again.
    feed->answer = candidateFor("2.1");
    await(updater->checkForUpdates(ostry::Initiator::background));
    EXPECT_EQ(presenter.shows, 3);
    updater->remindMeLater();
    EXPECT_EQ(presenter.closes, 2);
}

TEST_F(UpdaterStateTest, AutomaticInstallsStageSilentlyAndInstallAtQuit)
{
    LogCapture log;
    store(UpdaterSettings::automaticallyInstalls, true);
    auto updater = make(Schedule::onStart);
    std::vector<double> progress;
    QObject::connect(updater.get(), &Updater::stateChanged, [&] {
        if (updater->state().kind == Kind::downloading)
            progress.push_back(updater->state().progress);
    });
    updater->beginCheckForUpdates(ostry::Initiator::background);
    ASSERT_TRUE(waitUntil([&] { return updater->state().kind == Kind::readyToInstall; }));
    EXPECT_EQ(progress, (std::vector<double>{0.0, 0.25, 0.5, 1.0}));
    EXPECT_EQ(verifier->calls, 1);
    EXPECT_EQ(presenter.readies, 1);
    EXPECT_EQ(presenter.lastReady->version.text(), "2.0");
    EXPECT_EQ(presenter.total(), 1);
    EXPECT_TRUE(LogCapture::lines().contains("2.0 is ready and will install on quit"));
    EXPECT_EQ(installer->installs, 0);

    // The staged update is offered again by a user's check, without asking the feed.
    await(updater->checkForUpdates(ostry::Initiator::user));
    EXPECT_EQ(feed->calls, 1);
    EXPECT_EQ(presenter.shows, 1);

    updater->applicationWillTerminate();
    EXPECT_EQ(installer->installs, 1);
    EXPECT_EQ(installer->installedFrom, downloader->bundlePath);
    EXPECT_EQ(installer->installedWith, InstallMode::direct);
    EXPECT_EQ(downloader->discards, 1);
    EXPECT_TRUE(relaunches.empty());
    EXPECT_EQ(terminations, 0);
}

// Automatic installs that can't stage: a failed download is silent; a folder needing
// rights (or one whose mode can't be told) shows the window instead.
TEST_F(UpdaterStateTest, AutomaticInstallsThatCannotStageOfferTheUpdateOrStaySilent)
{
    store(UpdaterSettings::automaticallyInstalls, true);
    downloader->failure = "connection reset";
    auto updater = make(Schedule::onStart);
    await(updater->checkForUpdates(ostry::Initiator::background));
    EXPECT_EQ(updater->state().kind, Kind::available);
    EXPECT_EQ(presenter.total(), 0);
    EXPECT_EQ(downloader->discards, 1);

    downloader->failure.reset();
    installer->mode = InstallMode::needsAuthorization;
    auto needsRights = make(Schedule::onStart);
    await(needsRights->checkForUpdates(ostry::Initiator::background));
    EXPECT_EQ(needsRights->state().kind, Kind::available);
    EXPECT_EQ(downloader->calls, 1);
    EXPECT_EQ(presenter.shows, 1);
    EXPECT_EQ(presenter.total(), 1);
    // Nothing staged: quitting installs nothing.
    needsRights->applicationWillTerminate();
    EXPECT_EQ(installer->installs, 0);

    installer->modeFails = true;
    auto other = make(Schedule::onStart);
    await(other->checkForUpdates(ostry::Initiator::background));
    EXPECT_EQ(presenter.shows, 2);
}

TEST_F(UpdaterStateTest, QuittingWithoutAutomaticInstallsLeavesTheStagedUpdate)
{
    auto updater = make(Schedule::onStart);
    await(updater->checkForUpdates(ostry::Initiator::background));
    updater->setAutomaticallyInstalls(true); // stages the offered version at once
    ASSERT_TRUE(waitUntil([&] { return updater->state().kind == Kind::readyToInstall; }));
    EXPECT_EQ(downloader->calls, 1);
    updater->setAutomaticallyInstalls(false);
    updater->applicationWillTerminate();
    EXPECT_EQ(installer->installs, 0);
    EXPECT_EQ(QSettings(settingsPath(), QSettings::IniFormat).value(UpdaterSettings::automaticallyInstalls).toBool(), false);
}

TEST_F(UpdaterStateTest, InstallAndRelaunchDownloadsInstallsAndRelaunchesTheBundle)
{
    auto updater = make(Schedule::onStart);
    await(updater->checkForUpdates(ostry::Initiator::user));
    ASSERT_EQ(updater->state().kind, Kind::available);
    updater->installAndRelaunch();
    ASSERT_TRUE(waitUntil([&] { return terminations == 1; }));
    EXPECT_EQ(updater->state().kind, Kind::installing);
    EXPECT_EQ(installer->installs, 1);
    EXPECT_EQ(installer->installedWith, InstallMode::direct);
    ASSERT_EQ(relaunches.size(), 1u);
    EXPECT_EQ(relaunches[0].first, QCoreApplication::applicationPid());
    EXPECT_EQ(relaunches[0].second, bundlePath + "/AppRun");
    EXPECT_EQ(downloader->discards, 1);
    EXPECT_EQ(presenter.shows, 1);
    EXPECT_EQ(presenter.total(), 1);
}

TEST_F(UpdaterStateTest, FailuresOfAnUpdateTheUserStartedAreShownAndStepBack)
{
    auto updater = make(Schedule::onStart);
    await(updater->checkForUpdates(ostry::Initiator::background));
    verifier->failure = "the manifest doesn't match";
    updater->installAndRelaunch();
    ASSERT_TRUE(waitUntil([&] { return presenter.errors == 1; }));
    EXPECT_EQ(updater->state().kind, Kind::available);
    EXPECT_EQ(presenter.lastError, "The update's signature couldn't be verified: the manifest doesn't match");
    EXPECT_EQ(downloader->discards, 1);
    EXPECT_EQ(installer->installs, 0);

    verifier->failure.reset();
    installer->failure = "disk full";
    updater->installAndRelaunch();
    ASSERT_TRUE(waitUntil([&] { return presenter.errors == 2; }));
    EXPECT_EQ(updater->state().kind, Kind::readyToInstall);
    EXPECT_EQ(presenter.lastError, "The update couldn't be installed: disk full");
    EXPECT_EQ(terminations, 0);
    EXPECT_TRUE(relaunches.empty());

    // The staged bundle stays and installs once the problem is gone.
    installer->failure.reset();
    updater->installAndRelaunch();
    ASSERT_TRUE(waitUntil([&] { return terminations == 1; }));
    EXPECT_EQ(downloader->calls, 2);
    EXPECT_EQ(installer->installs, 2);
}

TEST_F(UpdaterStateTest, AUserCheckDuringABackgroundCheckJoinsIt)
{
    feed->gate.closed = true;
    auto updater = make();
    EXPECT_EQ(updater->state().kind, Kind::checking);
    EXPECT_FALSE(updater->canCheckForUpdates());
    feed->answer = candidateFor("1.0");
    await(updater->checkForUpdates(ostry::Initiator::user));
    feed->gate.open();
    ASSERT_TRUE(waitUntil([&] { return updater->state().kind == Kind::upToDate; }));
    EXPECT_EQ(feed->calls, 1);
    EXPECT_EQ(presenter.upToDates, 1);
    // The schedule goes on from the finished check.
    EXPECT_EQ(clock.pending(), 1);
}

TEST_F(UpdaterStateTest, RestartingTheScheduleLeavesOneRunning)
{
    lastCheckedAgo(2 * hour);
    auto updater = make();
    updater->start();
    updater->setAutomaticallyChecks(false);
    runFor(2 * day);
    EXPECT_EQ(feed->calls, 0);
    // Back on, two days after the last check: at once, then a day later, and no more.
    updater->setAutomaticallyChecks(true);
    EXPECT_EQ(feed->calls, 1);
    runFor(day);
    EXPECT_EQ(feed->calls, 2);
    EXPECT_EQ(QSettings(settingsPath(), QSettings::IniFormat).value(UpdaterSettings::automaticallyChecks).toBool(), true);
}

TEST_F(UpdaterStateTest, AnUpdaterGoneDuringADownloadIsNotCalledBack)
{
    downloader->gate.closed = true;
    auto updater = make(Schedule::onStart);
    await(updater->checkForUpdates(ostry::Initiator::background));
    updater->installAndRelaunch();
    EXPECT_EQ(updater->state().kind, Kind::downloading);
    updater.reset();
    EXPECT_EQ(downloader->discards, 1);
    downloader->gate.open();
    QCoreApplication::processEvents();
    EXPECT_EQ(verifier->calls, 0);
    EXPECT_EQ(installer->installs, 0);
}

TEST_F(UpdaterStateTest, LeftoversOfAnInterruptedRunAreCleanedUp)
{
    const QString apps = dir.filePath("apps");
    const QString id = "0F8FAD5B-D9CB-469F-A165-70867728950E";
    QDir().mkpath(apps + "/.Quandrel.AppDir." + id + "/usr");
    QDir().mkpath(apps + "/Quandrel-previous-" + id + ".AppDir/usr");
    QDir().mkpath(apps + "/.Other.AppDir." + id);
    QDir().mkpath(apps + "/Quandrel-previous-mine.AppDir");
    const QString temp = dir.filePath("tmp");
    QDir().mkpath(temp + "/OstryUpdater-" + id + "/extracted");
    QDir().mkpath(temp + "/OstryUpdater-notes");

    Updater::removeLeftovers(AppBundle(bundlePath), temp);
    EXPECT_FALSE(QFileInfo::exists(apps + "/.Quandrel.AppDir." + id));
    EXPECT_FALSE(QFileInfo::exists(apps + "/Quandrel-previous-" + id + ".AppDir"));
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files";
    EXPECT_TRUE(QFileInfo::exists(trash + "/Quandrel-previous-" + id + ".AppDir"));
    EXPECT_FALSE(QFileInfo::exists(temp + "/OstryUpdater-" + id));
    // Nothing that merely looks similar is touched, and the bundle stays.
    EXPECT_TRUE(QFileInfo::exists(apps + "/.Other.AppDir." + id));
    EXPECT_TRUE(QFileInfo::exists(apps + "/Quandrel-previous-mine.AppDir"));
    EXPECT_TRUE(QFileInfo::exists(temp + "/OstryUpdater-notes"));
    EXPECT_TRUE(QFileInfo::exists(bundlePath + "/Bundle/Info.json"));
}

} // namespace
