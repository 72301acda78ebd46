// The quandrel application in a Plasma Wayland session, as a user runs it: it finds KWin by
// itself, command URLs arrange the focused window, and its shortcuts are KDE shortcut-service
// actions that arrange the window when the service fires them.

#include "KWinTestSupport.h"
#include "LoggedProcess.h"
#include "SettingsStore.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace quandrel;
using quandrel::test::KWinClient;
using quandrel::test::KWinTestDesktop;

namespace {

namespace fs = std::filesystem;

QDBusMessage component(const char* method)
{
    return QDBusMessage::createMethodCall("org.kde.kglobalaccel", "/component/quandrel", "org.kde.kglobalaccel.Component", method);
}

class KWinAppTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root = fs::temp_directory_path() / ("quandrel-kwin-app-" + std::to_string(getpid()));
        fs::create_directories(root / "config");
        fs::create_directories(root / "runtime");
        fs::create_directories(root / "shots");
        fs::permissions(root / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        // The command socket goes here; WAYLAND_DISPLAY is a full path, so KWin stays reachable.
        setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
        unsetenv("QUANDREL_SESSION");
        {
            // Past the first launch: the welcome window would take the focus the commands act on.
            SettingsStore store(QString::fromStdString((root / "config" / "Quandrel" / "settings.json").string()));
            QuandrelSettings settings = store.settings();
            settings.hasCompletedOnboarding = true;
            settings.saveFolderBookmark = QByteArray::fromStdString((root / "shots").string());
            store.setSettings(settings);
        }
        KWinTestDesktop::instance().useStandardOutputs();
    }

    static void TearDownTestSuite()
    {
        app.stop();
        fs::remove_all(root);
    }

    static std::string logText() { return test::readFile(root / "quandrel.log"); }

    // The first call starts Quandrel with the URL; later ones hand it over and return.
    static void open(const std::string& url)
    {
        if (app.started()) {
            EXPECT_EQ(std::system((std::string(QUANDREL_EXECUTABLE) + " '" + url + "'").c_str()), 0);
            return;
        }
        app = test::LoggedProcess({.arguments = {QUANDREL_EXECUTABLE, url}, .log = root / "quandrel.log", .environment = {}});
        EXPECT_TRUE(app.started());
    }

    bool landsAt(const KWinClient& w, const Rect& frame)
    {
        return kwin.waitUntil([&] { return w.frame() == frame; });
    }

    static inline fs::path root;
    static inline test::LoggedProcess app;
    KWinTestDesktop& kwin = KWinTestDesktop::instance();
};

} // namespace

TEST_F(KWinAppTest, CommandURLsAndShortcutsArrangeTheFocusedWindow)
{
    KWinClient w;
    ASSERT_TRUE(kwin.place(w.pid(), {200, 150, 500, 400}));
    open("quandrel://window/leftHalf"); // starts Quandrel, which runs it
    EXPECT_TRUE(landsAt(w, {0, 0, 720, 900})) << logText();

    open("quandrel://window/bottomRight"); // handed to the running Quandrel
    EXPECT_TRUE(landsAt(w, {720, 450, 720, 450})) << logText();
    open("quandrel://window/nextDisplay");
    EXPECT_TRUE(kwin.waitUntil([&] { return w.frame() && w.frame()->x >= 1440; })) << logText();

    // The default shortcuts are the shortcut service's actions; firing one runs its command.
    QDBusConnection bus = QDBusConnection::sessionBus();
    EXPECT_TRUE(kwin.waitUntil([&] {
        const QDBusReply<QStringList> names = bus.call(component("shortcutNames"));
        return names.isValid() && names.value().contains("quandrel://window/maximize");
    })) << logText();
    bus.call(component("invokeShortcut") << QStringLiteral("quandrel://window/maximize"));
    EXPECT_TRUE(landsAt(w, {1440, 0, 900, 1440})) << logText();
}

TEST_F(KWinAppTest, FullScreenCapturesSaveTheOutputsRealPixels)
{
    KWinClient w;
    ASSERT_TRUE(kwin.place(w.pid(), {100, 120, 500, 400}));
    open("quandrel://capture/fullScreen?then=save");
    std::optional<fs::path> png;
    EXPECT_TRUE(kwin.waitUntil([&] {
        for (const auto& entry : fs::directory_iterator(root / "shots"))
            if (entry.path().extension() == ".png")
                png = entry.path();
        return png.has_value();
    }, std::chrono::seconds(15))) << logText();
    ASSERT_TRUE(png);
    QImage saved;
    // Complete once the encoder has written the whole file.
    EXPECT_TRUE(kwin.waitUntil([&] { return saved.load(QString::fromStdString(png->string())); }));
    EXPECT_EQ(saved.size(), QSize(1440, 900)) << logText();
    const auto colour = [&](int x, int y) { return saved.pixel(x, y) & 0xffffffu; };
    EXPECT_EQ(colour(100, 120), 0x306090u);
    EXPECT_EQ(colour(599, 519), 0x306090u);
    EXPECT_NE(colour(600, 520), 0x306090u);
    EXPECT_NE(colour(99, 119), 0x306090u);
}
