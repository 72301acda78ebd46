// The quandrel application in a sway session, as a user runs it: command URLs arrange the
// focused window and open applications, screenshots are chosen on the overlay with the seat's
// pointer and keyboard, pins and thumbnails float, and the key bindings and rules it prints
// are ones sway takes.

#include "LoggedProcess.h"
#include "SwayTestSupport.h"

#include <QImage>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <set>
#include <sstream>

using namespace quandrel;
using quandrel::test::SwayClient;
using quandrel::test::SwayInput;
using quandrel::test::SwayTestDesktop;

namespace {

class SwayAppTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        quandrel = std::make_unique<test::SuiteQuandrel>("sway-app");
        quandrel->home.addApplication("quandrel-launched", QUANDREL_WAYLANDWINDOW " quandrel-launched");
        SwayTestDesktop::instance().useStandardOutputs();
    }

    static void TearDownTestSuite() { quandrel.reset(); }

    static void open(const std::string& url) { quandrel->open(url); }
    static std::string logText() { return quandrel->logText(); }

    // Up means one full-screen window on each output, one of them focused.
    bool overlayShown()
    {
        const auto windows = sway.windowsTitled("Quandrel selection");
        std::set<QString> outputs;
        bool focused = false;
        for (const QJsonObject& w : windows) {
            if (w.value(QLatin1String("fullscreen_mode")).toInt() != 1)
                return false;
            outputs.insert(w.value(QLatin1String("output")).toString());
            focused = focused || w.value(QLatin1String("focused")).toBool();
        }
        return focused && outputs == std::set<QString>{QStringLiteral("HEADLESS-1"), QStringLiteral("HEADLESS-2")};
    }

    bool landsAt(const SwayClient& w, const Rect& frame)
    {
        return sway.waitUntil([&] { return sway.outerFrame(w.id()) == frame; });
    }

    static inline std::unique_ptr<test::SuiteQuandrel> quandrel;
    SwayTestDesktop& sway = SwayTestDesktop::instance();
};

} // namespace

TEST_F(SwayAppTest, CommandURLsArrangeTheFocusedWindow)
{
    SwayClient w;
    const Rect tiled = *sway.outerFrame(w.id());
    open("quandrel://window/leftHalf"); // starts Quandrel, which runs it
    EXPECT_TRUE(landsAt(w, {0, 0, 720, 900})) << logText();
    EXPECT_TRUE(sway.isFloating(w.id()));
    ASSERT_TRUE(w.settle());

    open("quandrel://window/bottomRight"); // handed to the running Quandrel
    EXPECT_TRUE(landsAt(w, {720, 450, 720, 450})) << logText();
    ASSERT_TRUE(w.settle());
    open("quandrel://window/nextDisplay");
    EXPECT_TRUE(sway.waitUntil([&] { return sway.outerFrame(w.id())->x >= 1440; })) << logText();
    ASSERT_TRUE(w.settle());

    open("quandrel://window/restore");
    EXPECT_TRUE(sway.waitUntil([&] { return !sway.isFloating(w.id()); })) << logText();
    EXPECT_EQ(sway.outerFrame(w.id()), tiled);
}

TEST_F(SwayAppTest, AppURLsFocusTheApplicationsWindow)
{
    SwayClient launched("quandrel-launched");
    SwayClient other("quandrel-other");
    ASSERT_EQ(sway.focusedWindow(), other.id());
    open("quandrel://app/quandrel-launched");
    EXPECT_TRUE(sway.waitUntil([&] { return sway.focusedWindow() == launched.id(); })) << logText();
}

TEST_F(SwayAppTest, PrintedKeyBindingsAreOnesSwayTakes)
{
    const std::string text = test::commandOutput(std::string(QUANDREL_EXECUTABLE) + " --sway-bindings");
    std::istringstream lines(text);
    int bindings = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("for_window ", 0) == 0 || line.rfind("no_focus ", 0) == 0) {
            EXPECT_TRUE(sway.run(line)) << line; // as sway reads its configuration
        }
        if (line.rfind("bindsym ", 0) != 0)
            continue;
        ++bindings;
        EXPECT_TRUE(sway.run(line)) << line;
        const std::string combination = line.substr(8, line.find(' ', 8) - 8);
        sway.run("unbindsym " + combination);
    }
    EXPECT_EQ(bindings, 25) << text; // the window and capture commands, and closing the pins
    for (const std::string rule : {"for_window", "no_focus"})
        EXPECT_NE(text.find("\n" + rule + " [app_id=\"^quandrel$\""), std::string::npos) << text;
}

TEST_F(SwayAppTest, ScreenshotsAreChosenOnTheOverlayWithTheFocusGivenBack)
{
    SwayClient coloured("quandrel-coloured");
    sway.run("[con_id=" + std::to_string(coloured.id()) + "] floating enable, border none, "
             "resize set width 300 px height 200 px, move absolute position 200 px 150 px");
    ASSERT_TRUE(coloured.settle());
    SwayClient focused("quandrel-focused");
    SwayInput input;
    quandrel->ensureRunning();
    for (const test::OverlayCapture& c : test::overlayCaptures(input)) {
        SCOPED_TRACE(c.url);
        const std::size_t before = quandrel->shots().size();
        open("quandrel://capture/" + c.url + "?then=save");
        if (c.choose) {
            ASSERT_TRUE(sway.waitUntil([&] { return overlayShown(); })) << logText();
            ASSERT_TRUE(c.choose());
        }
        if (c.size.isEmpty()) {
            EXPECT_TRUE(sway.waitUntil([&] { return sway.windowsTitled("Quandrel selection").empty(); }));
            EXPECT_EQ(quandrel->shots().size(), before);
        } else {
            ASSERT_TRUE(sway.waitUntil([&] { return quandrel->shots().size() > before; }, std::chrono::seconds(10))) << logText();
            const QImage image(QString::fromStdString(quandrel->shots().back().string()));
            EXPECT_EQ(image.size(), c.size);
            EXPECT_EQ(image.pixel(image.width() / 2, image.height() / 2) & 0xffffff, 0x306090u);
        }
        EXPECT_TRUE(sway.waitUntil([&] { return sway.windowsTitled("Quandrel selection").empty(); }));
        EXPECT_TRUE(sway.waitUntil([&] { return sway.focusedWindow() == focused.id(); }));
    }

    // Text capture reads a rendered label and puts its words on the clipboard.
    SwayClient text("quandrel-text", "Screenshots become text\nin the blink of an eye");
    sway.run("[con_id=" + std::to_string(text.id()) + "] floating enable, border none, "
             "resize set width 420 px height 140 px, move absolute position 700 px 400 px");
    ASSERT_TRUE(text.settle());
    ASSERT_EQ(std::system("printf before | wl-copy"), 0);
    const auto clipboard = [] { return test::commandOutput("wl-paste -n 2>/dev/null"); };
    open("quandrel://capture/text");
    ASSERT_TRUE(sway.waitUntil([&] { return overlayShown(); })) << logText();
    ASSERT_TRUE(input.drag({704, 404}, {1116, 536}));
    EXPECT_TRUE(sway.waitUntil([&] { return clipboard() != "before"; }, std::chrono::seconds(20))) << logText();
    EXPECT_EQ(clipboard(), "Screenshots become text\nin the blink of an eye") << logText();
}

TEST_F(SwayAppTest, PinsAndThumbnailsFloatAboveOnEveryWorkspace)
{
    SwayInput input;
    quandrel->ensureRunning();
    open("quandrel://capture/area?then=pin");
    ASSERT_TRUE(sway.waitUntil([&] { return overlayShown(); })) << logText();
    ASSERT_TRUE(input.drag({300, 300}, {500, 450}));
    ASSERT_TRUE(sway.waitUntil([&] { return sway.windowsTitled("Quandrel selection").empty(); }));
    open("quandrel://capture/repeatArea?then=copyAndThumbnail");
    const auto floatsAbove = [&](const char* title) {
        const auto found = sway.windowsTitled(title);
        return found.size() == 1 && found[0].value(QLatin1String("type")).toString() == QLatin1String("floating_con")
            && found[0].value(QLatin1String("sticky")).toBool() && found[0].value(QLatin1String("visible")).toBool();
    };
    ASSERT_TRUE(sway.waitUntil([&] { return floatsAbove("Quandrel pin") && floatsAbove("Quandrel thumbnail"); })) << logText();
    // Another window taking the focus leaves them floating where they are.
    SwayClient other("quandrel-other");
    EXPECT_TRUE(floatsAbove("Quandrel pin"));
    EXPECT_TRUE(floatsAbove("Quandrel thumbnail"));
    // The thumbnail in the corner of the output, as Qt was asked to put it.
    const auto thumbnail = sway.windowsTitled("Quandrel thumbnail");
    ASSERT_EQ(thumbnail.size(), 1u);
    const QJsonObject frame = thumbnail[0].value(QLatin1String("rect")).toObject();
    EXPECT_GT(frame.value(QLatin1String("x")).toInt(), 1000);
    EXPECT_GT(frame.value(QLatin1String("y")).toInt(), 600);
    open("quandrel://pins/close");
    EXPECT_TRUE(sway.waitUntil([&] { return sway.windowsTitled("Quandrel pin").empty(); }));
}
