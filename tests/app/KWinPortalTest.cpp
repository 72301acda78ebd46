// The quandrel application on KWin when KWin refuses it its screenshot interface (its desktop
// entry lies in a data folder KWin does not read): full-screen captures come through the
// desktop portal instead. KDE's portal backend needs Plasma's own dialogs even when it asks
// nothing, which a bare KWin lacks, so a stand-in portal (tests/support/fake-portal.py) answers
// on KWin's bus with an image the test made.

#include "KWinTestSupport.h"
#include "LoggedProcess.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace quandrel;
using quandrel::test::KWinTestDesktop;

namespace {

namespace fs = std::filesystem;

TEST(KWinPortalTest, FullScreenCapturesComeThroughThePortalWhenKWinRefusesItsInterface)
{
    KWinTestDesktop& kwin = KWinTestDesktop::instance();
    kwin.useStandardOutputs(); // 1440 × 900, and a turned 900 × 1440 to its right
    test::QuandrelHome home("kwin-portal");
    setenv("XDG_CACHE_HOME", (home.root / "cache").c_str(), 1); // KDE's service cache of this Quandrel alone

    // The whole desktop as the portal hands it over: the first output grey with a blue
    // rectangle at 300,200 (400 × 300), the second one (turned, 900 × 1440) green.
    const fs::path desktop = home.root / "desktop.png";
    QImage whole(2340, 1440, QImage::Format_RGB32);
    whole.fill(qRgb(0x80, 0x80, 0x80));
    QPainter(&whole).fillRect(QRect(300, 200, 400, 300), qRgb(0x30, 0x60, 0x90));
    QPainter(&whole).fillRect(QRect(1440, 0, 900, 1440), qRgb(0x20, 0xa0, 0x40));
    ASSERT_TRUE(whole.save(QString::fromStdString(desktop.string())));
    const fs::path plan = home.root / "plan";
    const fs::path pictures = fs::path(qEnvironmentVariable("HOME").toStdString()) / "Pictures";
    test::LoggedProcess portal({.arguments = {"/usr/bin/python3", QUANDREL_FAKE_PORTAL, desktop.string(), plan.string()},
                                .log = home.root / "portal.log",
                                .environment = {}});
    ASSERT_TRUE(kwin.waitUntil([] { return test::commandOutput("gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus -m "
                                                                "org.freedesktop.DBus.NameHasOwner org.freedesktop.portal.Desktop") == "(true,)\n"; },
                               std::chrono::seconds(10)));
    test::LoggedProcess app = test::startQuandrel({.arguments = {}, .log = home.log(), .environment = {}});

    struct Answer {
        const char* plan;    // what the portal does
        const char* logged;  // what Quandrel says about it, where it saves nothing
        bool saved;          // whether a screenshot is saved
        bool fileLeft;       // whether the portal's file is still there afterwards
    };
    const Answer answers[] = {
        {"cancel", "the screenshot was cancelled", false, false},
        {"link", "no plain file", false, true}, // never read, never removed
        {"file", nullptr, true, false},
    };
    int attempt = 0;
    for (const Answer& a : answers) {
        SCOPED_TRACE(a.plan);
        ++attempt;
        std::ofstream(plan) << a.plan << "\n";
        ASSERT_EQ(test::runQuandrel("'quandrel://capture/fullScreen?then=save'"), 0);
        if (a.logged)
            ASSERT_TRUE(app.waitForLog(a.logged)) << app.logText() << test::readFile(home.root / "portal.log");
        else
            ASSERT_TRUE(kwin.waitUntil([&] { return test::QuandrelHome::files(home.shots, ".png").size() == 1; }, std::chrono::seconds(15)))
                << app.logText() << test::readFile(home.root / "portal.log");
        const auto shots = test::QuandrelHome::files(home.shots, ".png");
        ASSERT_EQ(shots.size(), a.saved ? 1u : 0u);
        const fs::path portalFile = pictures / ("Screenshot_" + std::to_string(attempt) + ".png");
        EXPECT_EQ(fs::exists(fs::symlink_status(portalFile)), a.fileLeft);
        EXPECT_TRUE(fs::exists(desktop));
        if (!a.saved)
            continue;
        QImage saved(QString::fromStdString(shots.front().string()));
        ASSERT_EQ(saved.size(), QSize(1440, 900));
        // The first output, cut from the whole: the blue rectangle in place, none of the second.
        for (const auto& [at, colour] : {std::pair{QPoint(299, 199), qRgb(0x80, 0x80, 0x80)}, {QPoint(300, 200), qRgb(0x30, 0x60, 0x90)},
                                         {QPoint(699, 499), qRgb(0x30, 0x60, 0x90)}, {QPoint(700, 500), qRgb(0x80, 0x80, 0x80)},
                                         {QPoint(1439, 899), qRgb(0x80, 0x80, 0x80)}})
            EXPECT_EQ(saved.pixel(at) & 0xffffff, colour & 0xffffff) << at.x() << "," << at.y();
    }
    // KWin's refusal is in the log once, with the way out taken.
    EXPECT_EQ(app.occurrences("Screenshots go through the desktop portal instead."), 1) << app.logText();
    fs::remove(pictures / "Screenshot_2.png");
}

} // namespace
