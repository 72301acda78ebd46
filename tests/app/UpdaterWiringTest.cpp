// The updater as the application shows it: the tray menu's "Check for Updates…", the
// controller's one updater, the Software Update window, its message boxes and notification,
// and the "Updates" settings section.

#include "AppFixture.h"
#include "AwaitTask.h"
#include "TestHttpServer.h"
#include "TrayMenu.h"
#include "TrayMenuModel.h"
#include "UpdateWindow.h"
#include "UpdaterFakes.h"
#include "UpdaterFixtures.h"
#include "UpdatesSection.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quandrel;
using namespace ostry::test;
using ostry::UpdateState;
using Kind = UpdateState::Kind;

namespace {

QAction* menuAction(QMenu* menu, const QString& title)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == title)
            return action;
    }
    return nullptr;
}

class UpdaterWiringTest : public ::testing::Test, protected quandrel::test::AppFixture {
protected:
    void SetUp() override
    {
        feed->answer = candidateFor("1.0");
        downloader->bundlePath = dir.filePath("download/Quandrel.AppDir");
    }

    std::unique_ptr<AppController> makeController(std::optional<ostry::AppBundle> bundle)
    {
        return AppFixture::makeController([&](AppServices& services) {
            services.updates.presenter = &presenter;
            services.updates.runningBundle = bundle;
            services.updates.makeParts = [this] { return ostry::UpdaterParts{feed, downloader, verifier, installer}; };
        });
    }

    FakePresenter presenter;
    std::shared_ptr<FakeFeed> feed = std::make_shared<FakeFeed>();
    std::shared_ptr<FakeDownloader> downloader = std::make_shared<FakeDownloader>();
    std::shared_ptr<FakeVerifier> verifier = std::make_shared<FakeVerifier>();
    std::shared_ptr<FakeInstaller> installer = std::make_shared<FakeInstaller>();
};

TEST_F(UpdaterWiringTest, NotRunningFromABundleTurnsTheUpdaterAndItsCommandOff)
{
    auto controller = makeController(std::nullopt);
    controller->start();
    EXPECT_FALSE(controller->updater().isEnabled());
    TrayMenu tray(*controller);
    QAction* check = menuAction(tray.menu(), QStringLiteral("Check for Updates…"));
    ASSERT_TRUE(check);
    EXPECT_FALSE(check->isEnabled());
    controller->checkForUpdates();
    check->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(feed->calls, 0);
    EXPECT_EQ(presenter.total(), 0);
}

TEST_F(UpdaterWiringTest, TheMenuCommandRunsAUserCheckAndIsOffWhileChecking)
{
    QDir().mkpath(dir.filePath("apps"));
    const ostry::AppBundle bundle(makeBundle(dir.filePath("apps"), {"1.0"}));
    auto controller = makeController(bundle);
    TrayMenu tray(*controller);
    EXPECT_EQ(feed->calls, 0); // nothing before start
    feed->gate.closed = true;
    controller->start();
    EXPECT_EQ(feed->calls, 1); // never checked: at once
    EXPECT_EQ(controller->updater().state().kind, Kind::checking);
    EXPECT_FALSE(menuAction(tray.menu(), QStringLiteral("Check for Updates…"))->isEnabled());
    feed->gate.open();
    ASSERT_TRUE(waitUntil([&] { return controller->updater().state().kind == Kind::upToDate; }));
    EXPECT_EQ(presenter.total(), 0); // a background check says nothing

    QAction* check = menuAction(tray.menu(), QStringLiteral("Check for Updates…"));
    ASSERT_TRUE(check->isEnabled());
    check->trigger();
    ASSERT_TRUE(waitUntil([&] { return presenter.upToDates == 1; }));
    EXPECT_EQ(presenter.lastUpToDate, QStringLiteral("Quandrel 1.0"));
    EXPECT_EQ(feed->calls, 2);
    // The preferences live beside the settings file.
    EXPECT_TRUE(QSettings(dir.filePath("config/updater.ini"), QSettings::IniFormat).contains(ostry::UpdaterSettings::lastCheckDate));
}

class UpdateWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(dir.filePath("apps"));
        bundlePath = makeBundle(dir.filePath("apps"), {"1.0"});
        downloader->bundlePath = dir.filePath("download/Quandrel.AppDir");
        feed->answer = candidateFor("2.0");
    }

    std::unique_ptr<ostry::Updater> make(ostry::UpdatePresenting& presenter, bool enabled = true,
                                         std::optional<ostry::DistributionGuard::Reason> updatedBy = std::nullopt)
    {
        ostry::UpdaterConfiguration configuration;
        configuration.bundle = ostry::AppBundle(bundlePath);
        ostry::UpdaterHooks hooks;
        hooks.isEnabled = enabled;
        hooks.updatedBy = updatedBy;
        hooks.schedule = [](int, std::function<void()>) {};
        hooks.relaunch = [](qint64, const QString&) { return true; };
        hooks.terminate = [] {};
        return std::make_unique<ostry::Updater>(configuration,
                                                std::make_unique<QSettings>(dir.filePath("updater.ini"), QSettings::IniFormat),
                                                ostry::UpdaterParts{feed, downloader, verifier, installer}, presenter, hooks,
                                                ostry::Schedule::onStart);
    }

    QTemporaryDir dir;
    QString bundlePath;
    std::shared_ptr<FakeFeed> feed = std::make_shared<FakeFeed>();
    std::shared_ptr<FakeDownloader> downloader = std::make_shared<FakeDownloader>();
    std::shared_ptr<FakeVerifier> verifier = std::make_shared<FakeVerifier>();
    std::shared_ptr<FakeInstaller> installer = std::make_shared<FakeInstaller>();
};

TEST_F(UpdateWindowTest, TheWindowFollowsTheStateThroughAnInstall)
{
    ostry::WindowPresenter presenter;
    auto updater = make(presenter);
    downloader->gate.closed = true;
    ostry::test::await(updater->checkForUpdates(ostry::Initiator::user));
    ASSERT_TRUE(presenter.window());
    EXPECT_EQ(presenter.window()->windowTitle(), QStringLiteral("Software Update"));
    EXPECT_EQ(presenter.window()->size(), QSize(560, 420));
    ostry::UpdateView* view = presenter.view();
    EXPECT_EQ(view->headline(), QStringLiteral("A new version of Quandrel is available!"));
    EXPECT_EQ(view->versionLine(), QStringLiteral("Quandrel 2.0 is available. You have 1.0."));
    EXPECT_TRUE(view->skipButton()->isVisible());
    EXPECT_TRUE(view->remindButton()->isVisible());
    EXPECT_TRUE(view->installButton()->isVisible());
    EXPECT_TRUE(view->installButton()->isDefault());
    EXPECT_FALSE(view->progressBar()->isVisible());

    view->installButton()->click();
    EXPECT_EQ(updater->state().kind, Kind::downloading);
    EXPECT_TRUE(view->progressBar()->isVisible());
    EXPECT_EQ(view->progressBar()->value(), 1000); // the fake reported 1.0 before holding
    EXPECT_FALSE(view->installButton()->isVisible());
    EXPECT_FALSE(view->skipButton()->isVisible());

    // Showing again fronts the same window.
    QWidget* window = presenter.window();
    presenter.show(*updater);
    EXPECT_EQ(presenter.window(), window);

    verifier->failure = "bad";
    downloader->gate.open();
    ASSERT_TRUE(waitUntil([&] { return presenter.message(); }));
    EXPECT_EQ(presenter.message()->text(), QStringLiteral("Couldn't Update"));
    EXPECT_EQ(presenter.message()->informativeText(), QStringLiteral("The update's signature couldn't be verified: bad"));
    EXPECT_EQ(presenter.message()->icon(), QMessageBox::Warning);
    EXPECT_TRUE(view->installButton()->isVisible());

    // Staged: "Later" and "Install and Relaunch".
    verifier->failure.reset();
    updater->setAutomaticallyInstalls(true);
    ASSERT_TRUE(waitUntil([&] { return updater->state().kind == Kind::readyToInstall; }));
    EXPECT_TRUE(view->automaticInstalls()->isChecked());
    EXPECT_TRUE(view->laterButton()->isVisible());
    EXPECT_TRUE(view->installButton()->isVisible());
    EXPECT_FALSE(view->remindButton()->isVisible());
    view->laterButton()->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(presenter.window());
}

TEST_F(UpdateWindowTest, UpToDateClosesTheWindowAndSaysSo)
{
    ostry::WindowPresenter presenter;
    auto updater = make(presenter);
    ostry::test::await(updater->checkForUpdates(ostry::Initiator::user));
    ASSERT_TRUE(presenter.window());
    feed->answer = candidateFor("1.0");
    ostry::test::await(updater->checkForUpdates(ostry::Initiator::user));
    EXPECT_FALSE(presenter.window());
    ASSERT_TRUE(presenter.message());
    EXPECT_EQ(presenter.message()->text(), QStringLiteral("You're up to date!"));
    EXPECT_EQ(presenter.message()->informativeText(), QStringLiteral("Quandrel 1.0 is the newest version available."));
}

TEST_F(UpdateWindowTest, ReleaseNotesAreFormattedButLoadNothing)
{
    TestHttpServer server;
    ostry::ReleaseNotesView notes;
    const QString image = server.url("/tracker.png").toString();
    notes.setNotes(QStringLiteral("## Changes\n\n* **Faster** captures\n\n![x](%1)\n\n<img src=\"%1\"><script>alert(1)</script>\n\n"
                                  "[site](https://example.invalid/)")
                       .arg(image));
    notes.resize(400, 300);
    notes.show();
    QCoreApplication::processEvents();
    const QString plain = notes.toPlainText();
    EXPECT_TRUE(plain.contains(QStringLiteral("Changes")));
    EXPECT_FALSE(plain.contains(QStringLiteral("## Changes")));
    EXPECT_TRUE(plain.contains(QStringLiteral("<script>alert(1)</script>"))); // raw HTML stays text
    EXPECT_TRUE(notes.document()->toHtml().contains(QStringLiteral("font-weight")));
    EXPECT_FALSE(notes.openLinks());
    EXPECT_FALSE(notes.openExternalLinks());
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(UpdateWindowTest, ReadyIsAnnouncedReplacingTheLastNotification)
{
    quandrel::test::RecordingNotifier notifier;
    ostry::WindowPresenter presenter(&notifier);
    presenter.notifyReady(QStringLiteral("Quandrel"), candidateFor("2.0"));
    presenter.notifyReady(QStringLiteral("Quandrel"), candidateFor("2.1"));
    ASSERT_EQ(notifier.shown.size(), 2u);
    EXPECT_EQ(std::get<0>(notifier.shown[0]), QStringLiteral("Quandrel 2.0 is ready"));
    EXPECT_EQ(std::get<1>(notifier.shown[0]), QStringLiteral("It will be installed when you quit Quandrel."));
    EXPECT_EQ(std::get<2>(notifier.shown[0]), 0u);
    EXPECT_EQ(std::get<2>(notifier.shown[1]), 7u); // the id of the first
    ostry::WindowPresenter silent;
    silent.notifyReady(QStringLiteral("Quandrel"), candidateFor("2.0")); // no notifier: nothing, no failure
}

TEST_F(UpdateWindowTest, TheSettingsSectionIsBoundToTheUpdater)
{
    FakePresenter presenter;
    auto updater = make(presenter);
    auto section = ostry::makeUpdatesSection(*updater);
    auto* checks = section->findChild<QCheckBox*>(QStringLiteral("automaticallyChecks"));
    auto* installs = section->findChild<QCheckBox*>(QStringLiteral("automaticallyInstalls"));
    auto* last = section->findChild<QLabel*>(QStringLiteral("lastChecked"));
    auto* checkNow = section->findChild<QPushButton*>(QStringLiteral("checkNow"));
    ASSERT_TRUE(checks && installs && last && checkNow);
    EXPECT_TRUE(checks->isChecked());
    EXPECT_FALSE(installs->isChecked());
    EXPECT_EQ(last->text(), QStringLiteral("Last checked: Never"));

    checks->click();
    EXPECT_FALSE(updater->automaticallyChecks());
    EXPECT_FALSE(QSettings(dir.filePath("updater.ini"), QSettings::IniFormat).value(ostry::UpdaterSettings::automaticallyChecks).toBool());
    feed->answer = candidateFor("1.0");
    checkNow->click();
    ASSERT_TRUE(waitUntil([&] { return presenter.upToDates == 1; }));
    EXPECT_NE(last->text(), QStringLiteral("Last checked: Never"));
    updater->setAutomaticallyInstalls(true);
    EXPECT_TRUE(installs->isChecked());

    auto disabled = make(presenter, false);
    auto off = ostry::makeUpdatesSection(*disabled);
    EXPECT_FALSE(off->findChild<QPushButton*>(QStringLiteral("checkNow"))->isEnabled());
    EXPECT_FALSE(off->findChild<QCheckBox*>(QStringLiteral("automaticallyInstalls"))->isEnabled());

    // A copy the package manager updates says so instead of offering controls that do nothing.
    auto packaged = make(presenter, false, ostry::DistributionGuard::Reason::packageManager);
    EXPECT_EQ(packaged->updatedBy(), ostry::DistributionGuard::Reason::packageManager);
    auto told = ostry::makeUpdatesSection(*packaged);
    auto* updatedBy = told->findChild<QLabel*>(QStringLiteral("updatedBy"));
    ASSERT_TRUE(updatedBy);
    EXPECT_EQ(updatedBy->text(), QStringLiteral("Updated by your package manager."));
    for (const char* control : {"automaticallyChecks", "automaticallyInstalls", "lastChecked", "checkNow"})
        EXPECT_TRUE(told->findChild<QWidget*>(QLatin1String(control))->isHidden()) << control;
    EXPECT_FALSE(off->findChild<QLabel*>(QStringLiteral("updatedBy")));
}

} // namespace
