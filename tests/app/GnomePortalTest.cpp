// The quandrel application in a GNOME Wayland session without its Shell extension
// (tools/gnome-desktop.sh --testing --no-extension): screenshots come through the desktop
// portal. The session's permission store grants screenshots to programs outside a sandbox, as
// the person's "Allow" would; the test does that, Quandrel never does.

#include "GnomeTestSupport.h"
#include "LoggedProcess.h"
#include "SettingsStore.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace quandrel;
using quandrel::test::GnomeClient;
using quandrel::test::GnomeTestDesktop;

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> pngsIn(const fs::path& folder)
{
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.path().extension() == ".png")
            found.push_back(entry.path());
    return found;
}

class GnomePortalTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root = fs::temp_directory_path() / ("quandrel-gnome-portal-" + std::to_string(getpid()));
        fs::create_directories(root / "config");
        fs::create_directories(root / "runtime");
        fs::create_directories(root / "shots");
        fs::permissions(root / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
        unsetenv("QUANDREL_SESSION");
        setenv("QT_QPA_PLATFORM", "wayland", 1);
        SettingsStore store(QString::fromStdString((root / "config" / "Quandrel" / "settings.json").string()));
        QuandrelSettings settings = store.settings();
        settings.hasCompletedOnboarding = true;
        settings.saveFolderBookmark = QByteArray::fromStdString((root / "shots").string());
        store.setSettings(settings);
        // What the person's "Allow" in GNOME's question stores: host programs may take screenshots.
        QDBusMessage grant = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.impl.portal.PermissionStore"), QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"),
            QStringLiteral("org.freedesktop.impl.portal.PermissionStore"), QStringLiteral("SetPermission"));
        grant << QStringLiteral("screenshot") << true << QStringLiteral("screenshot") << QString() << QStringList{QStringLiteral("yes")};
        ASSERT_EQ(QDBusConnection::sessionBus().call(grant).type(), QDBusMessage::ReplyMessage);
    }

    static void TearDownTestSuite()
    {
        app.stop();
        fs::remove_all(root);
    }

    static std::string logText() { return test::readFile(root / "quandrel.log"); }

    static void open(const std::string& url)
    {
        if (app.started()) {
            EXPECT_EQ(std::system((std::string(QUANDREL_EXECUTABLE) + " '" + url + "'").c_str()), 0);
            return;
        }
        app = test::LoggedProcess({.arguments = {QUANDREL_EXECUTABLE, url}, .log = root / "quandrel.log", .environment = {}});
        EXPECT_TRUE(app.started());
    }

    static inline fs::path root;
    static inline test::LoggedProcess app;
    GnomeTestDesktop& shell = GnomeTestDesktop::instance();
};

} // namespace

TEST_F(GnomePortalTest, FullScreenCaptureCutsTheDisplayFromThePortalsImageAndRemovesItsFile)
{
    GnomeClient w("quandrel-painted"); // paints itself 0x306090 all over
    ASSERT_TRUE(shell.place(w.id(), {300, 200, 400, 300}));
    // The portal writes into the Pictures folder, or the home folder where there is none.
    const fs::path home = qEnvironmentVariable("HOME").toStdString();
    const auto portalFiles = [&] { return pngsIn(home).size() + pngsIn(home / "Pictures").size(); };
    QImage saved;
    // Until the client has drawn at its new size a capture shows what was there before: the
    // capture is taken again (a few times at most) until the window shows its colour.
    for (int attempt = 0; attempt < 5; ++attempt) {
        for (const fs::path& old : pngsIn(root / "shots"))
            fs::remove(old);
        open("quandrel://capture/fullScreen?then=save");
        ASSERT_TRUE(shell.waitUntil([&] { return pngsIn(root / "shots").size() == 1; }, std::chrono::seconds(20))) << logText();
        ASSERT_TRUE(shell.waitUntil([&] { return saved.load(QString::fromStdString(pngsIn(root / "shots").front().string())); }));
        if (saved.pixel(500, 350) == qRgb(0x30, 0x60, 0x90))
            break;
    }
    ASSERT_EQ(saved.size(), QSize(1440, 900)); // the first monitor alone, cut from the whole desktop
    for (const QPoint inside : {QPoint(301, 201), QPoint(500, 350), QPoint(698, 498)})
        EXPECT_EQ(saved.pixel(inside), qRgb(0x30, 0x60, 0x90)) << inside.x() << "," << inside.y();
    for (const QPoint outside : {QPoint(299, 350), QPoint(500, 199), QPoint(701, 350), QPoint(500, 501)})
        EXPECT_NE(saved.pixel(outside), qRgb(0x30, 0x60, 0x90)) << outside.x() << "," << outside.y();
    EXPECT_EQ(portalFiles(), 0u) << logText();
    // GNOME's question was explained before the first request, once.
    EXPECT_TRUE(fs::exists(root / "config" / "Quandrel" / "gnome-screenshot-portal")) << logText();
}
