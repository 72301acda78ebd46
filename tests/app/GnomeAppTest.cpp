// The quandrel application in a GNOME Wayland session with its Shell extension, as a user runs
// it: command URLs arrange the focused window, and a full-screen capture saves the display's
// real pixels.

#include "GnomeTestSupport.h"
#include "LoggedProcess.h"

#include <QImage>

#include <gtest/gtest.h>

#include <filesystem>

using namespace quandrel;
using quandrel::test::GnomeClient;
using quandrel::test::GnomeTestDesktop;

namespace {

namespace fs = std::filesystem;

class GnomeAppTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        quandrel = std::make_unique<test::SuiteQuandrel>("gnome-app");
        // Quandrel's own windows are Wayland windows of the Shell, not the tests' offscreen ones.
        setenv("QT_QPA_PLATFORM", "wayland", 1);
        GnomeTestDesktop::instance().allowCaller(QUANDREL_EXECUTABLE);
    }

    static void TearDownTestSuite() { quandrel.reset(); }

    static void open(const std::string& url) { quandrel->open(url); }
    static std::string logText() { return quandrel->logText(); }

    bool landsAt(const GnomeClient& w, const Rect& frame)
    {
        return shell.waitUntil([&] { return shell.frame(w.id()) == frame; });
    }

    static inline std::unique_ptr<test::SuiteQuandrel> quandrel;
    GnomeTestDesktop& shell = GnomeTestDesktop::instance();
};

} // namespace

TEST_F(GnomeAppTest, CommandURLsArrangeTheFocusedWindow)
{
    GnomeClient w;
    ASSERT_TRUE(shell.place(w.id(), {200, 150, 500, 400}));
    open("quandrel://window/leftHalf"); // starts Quandrel, which runs it
    EXPECT_TRUE(landsAt(w, {0, 0, 720, 900})) << logText();
    open("quandrel://window/bottomRight"); // handed to the running Quandrel
    EXPECT_TRUE(landsAt(w, {720, 450, 720, 450})) << logText();
    open("quandrel://window/nextDisplay");
    EXPECT_TRUE(shell.waitUntil([&] { return shell.frame(w.id()).value_or(Rect{}).x >= 1440; })) << logText();
    open("quandrel://window/restore");
    EXPECT_TRUE(landsAt(w, {200, 150, 500, 400})) << logText();
}

TEST_F(GnomeAppTest, FullScreenCaptureSavesTheDisplaysPixels)
{
    // The test window paints itself 0x306090 all over.
    GnomeClient w("quandrel-painted");
    ASSERT_TRUE(shell.place(w.id(), {300, 200, 400, 300}));
    const auto pngs = [] { return quandrel->shots(); };
    // The client draws at its new size a little after the Shell has placed it: until it has, a
    // capture shows what was there before, so the capture is taken again (a few times at most)
    // until the window shows its colour.
    QImage saved;
    for (int attempt = 0; attempt < 5; ++attempt) {
        for (const fs::path& old : pngs())
            fs::remove(old);
        open("quandrel://capture/fullScreen?then=save");
        ASSERT_TRUE(shell.waitUntil([&] { return pngs().size() == 1; }, std::chrono::seconds(10))) << logText();
        ASSERT_TRUE(shell.waitUntil([&] { return saved.load(QString::fromStdString(pngs().front().string())); }));
        if (saved.pixel(500, 350) == qRgb(0x30, 0x60, 0x90))
            break;
    }
    ASSERT_EQ(saved.size(), QSize(1440, 900)); // the pointer is on the primary display
    for (const QPoint inside : {QPoint(301, 201), QPoint(500, 350), QPoint(698, 498)})
        EXPECT_EQ(saved.pixel(inside), qRgb(0x30, 0x60, 0x90)) << inside.x() << "," << inside.y();
    for (const QPoint outside : {QPoint(299, 350), QPoint(500, 199), QPoint(701, 350), QPoint(500, 501)})
        EXPECT_NE(saved.pixel(outside), qRgb(0x30, 0x60, 0x90)) << outside.x() << "," << outside.y();
    // Nothing is left in the Shell's hand-over folder.
    EXPECT_TRUE(shell.waitUntil([&] { return shell.eval(QStringLiteral(
                                                 "Gio.File.new_for_path(GLib.get_user_runtime_dir() + '/quandrel-shell')"
                                                 ".enumerate_children('standard::name', 0, null).next_file(null) === null")) == QStringLiteral("true"); }));
}

TEST_F(GnomeAppTest, TheOverlayCoversEveryDisplayAndEscapeGivesTheFocusBack)
{
    GnomeClient focused("quandrel-focused");
    ASSERT_TRUE(shell.place(focused.id(), {300, 200, 400, 300}));
    // Quandrel's windows that cover a whole display, as "x,y,width,height" of their frames.
    const auto covering = [&] {
        return shell
            .eval(QStringLiteral("global.display.list_all_windows().filter(w => w.get_pid() == %1 && w.is_fullscreen() && "
                                 "w.showing_on_its_workspace()).map(w => { const r = w.get_frame_rect(); "
                                 "return [r.x, r.y, r.width, r.height].join(); }).sort().join(' ')")
                      .arg(quandrel->app.started() ? quandrel->app.pid() : 0))
            .value_or(QString());
    };
    open("quandrel://capture/area");
    EXPECT_TRUE(shell.waitUntil([&] { return covering() == QStringLiteral("\"0,0,1440,900 1440,0,900,1440\""); }, std::chrono::seconds(10)))
        << covering().toStdString() << "\n"
        << shell.eval(QStringLiteral("JSON.stringify(global.display.list_all_windows().map(w => [escape(w.get_title()), w.get_pid(), "
                                     "w.is_fullscreen(), w.showing_on_its_workspace()]))")).value_or(QString()).toStdString()
        << quandrel->app.pid() << "\n"
        << logText();
    EXPECT_TRUE(shell.waitUntil([&] { return shell.focusedWindow() != focused.id(); }));
    constexpr std::uint32_t escapeKey = 0xff1b;
    EXPECT_TRUE(shell.pressKeysUntil({escapeKey}, [&] { return covering() == QStringLiteral("\"\""); })) << covering().toStdString();
    EXPECT_TRUE(shell.waitUntil([&] { return shell.focusedWindow() == focused.id(); }));
}

TEST_F(GnomeAppTest, PinsAndThumbnailsStayAboveWindowsActivatedLaterOnEveryWorkspace)
{
    // For each panel: above, on every workspace and stacked over the window `over`.
    const auto panels = [&](std::uint64_t over) {
        return shell
            .eval(QStringLiteral("(() => { const all = global.display.sort_windows_by_stacking(global.display.list_all_windows()); "
                                 "const under = all.findIndex(w => w.get_id() == %1); "
                                 "return ['Quandrel pin', 'Quandrel thumbnail'].map(t => all.filter(w => w.get_title().startsWith(t) && "
                                 "w.is_above() && w.is_on_all_workspaces() && all.indexOf(w) > under).length).join(); })()")
                      .arg(over))
            .value_or(QString());
    };
    open("quandrel://capture/fullScreen?then=pin");
    ASSERT_TRUE(shell.waitUntil([&] { return panels(0).startsWith(QStringLiteral("\"1,")); }, std::chrono::seconds(10))) << logText();
    open("quandrel://capture/fullScreen?then=copyAndThumbnail");
    ASSERT_TRUE(shell.waitUntil([&] { return panels(0) == QStringLiteral("\"1,1\""); }, std::chrono::seconds(10))) << panels(0).toStdString()
                                                                                                             << logText();
    // A window shown and activated afterwards (mutter keeps the focus on the pin for a window
    // without an activation token, so the test activates it as a click would) stays below them.
    GnomeClient other("quandrel-other");
    EXPECT_EQ(shell.focusedWindow(), other.id());
    EXPECT_EQ(panels(other.id()), QStringLiteral("\"1,1\""));
    open("quandrel://pins/close");
    EXPECT_TRUE(shell.waitUntil([&] { return panels(0).startsWith(QStringLiteral("\"0,")); })) << panels(0).toStdString();
}
