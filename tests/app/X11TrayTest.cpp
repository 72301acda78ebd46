// The tray icon as a person meets it: a tray host (trayer) on the private desktop shows
// Quandrel's icon, a left click opens its menu with the expected entries (read back from the
// screen with tesseract), "Settings…" opens the settings window, and the first launch shows
// the welcome window. The icon is drawn light or dark as the tray's colours ask.

#include "LoggedProcess.h"
#include "XTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>

using quandrel::test::commandOutput;
using quandrel::test::LoggedProcess;
using quandrel::test::XDesktop;

namespace {

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

class X11TrayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS"))
            sessionBus = bus;
        unsetenv("DBUS_SESSION_BUS_ADDRESS"); // no StatusNotifier host: the tray is XEmbed's
        x.setMonitors({"*MAIN 1440x900+0+0"});
    }

    // trayer at the top right, `tint` painting its panel in one colour (0xRRGGBB), then Quandrel.
    void start(std::optional<std::uint32_t> tint = std::nullopt)
    {
        app.stop();
        tray.stop();
        std::vector<std::string> arguments{"trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
                                           "--SetDockType", "true", "--expand", "false", "--transparent", tint ? "true" : "false"};
        char color[16];
        std::snprintf(color, sizeof color, "0x%06x", tint.value_or(0));
        if (tint)
            arguments.insert(arguments.end(), {"--alpha", "0", "--tint", color});
        tray = LoggedProcess({.arguments = arguments, .log = home.root / "trayer.log", .logStandardOutput = true});
        ASSERT_TRUE(x.waitUntil([] { return !commandOutput("xdotool search --classname '^panel$'").empty(); })) << "trayer did not start";
        if (tint) {
            ASSERT_TRUE(x.waitUntil([&] { return x.declareTrayForeground(*tint > 0x808080 ? 0x202020 : 0xeeeeee); }));
        }
        app = quandrel::test::startQuandrel({.log = home.log(), .logStandardOutput = true});
    }

    void TearDown() override
    {
        app.stop();
        tray.stop();
        x.setMonitors({});
        if (sessionBus)
            setenv("DBUS_SESSION_BUS_ADDRESS", sessionBus->c_str(), 1);
    }

    // A window of Quandrel's in this `xwininfo -tree` listing, at least `minHeight` tall; zero
    // size while there is none. Lines read "   0x600006 "Quandrel": ("quandrel" "Quandrel")  22x30+0+0  +1417+1".
    static Geometry quandrelWindow(const std::string& listing, int minHeight)
    {
        std::istringstream tree(commandOutput(listing));
        for (std::string line; std::getline(tree, line);) {
            if (line.find("\"Quandrel\": (\"quandrel\" \"Quandrel\")") == std::string::npos)
                continue;
            Geometry g;
            int rx = 0, ry = 0;
            if (std::sscanf(line.c_str() + line.rfind(')') + 1, " %dx%d%d%d %d%d", &g.width, &g.height, &rx, &ry, &g.x, &g.y) == 6
                && g.height >= minHeight)
                return g;
        }
        return {};
    }
    // Quandrel's icon: its window embedded in the tray host (a child of its panel window).
    Geometry embeddedIcon()
    {
        Geometry at;
        x.waitUntil([&] {
            at = quandrelWindow("xwininfo -tree -id $(xdotool search --classname '^panel$' | head -1)", 1);
            return at.width > 0;
        });
        return at;
    }

    // The words tesseract reads in a window, with their places on the screen.
    struct Word {
        std::string text;
        int x, y;
    };
    std::vector<Word> readWords(const Geometry& g)
    {
        const std::string image = (home.root / "menu.png").string();
        const int scale = 3;
        commandOutput("import -window root -crop " + std::to_string(g.width) + "x" + std::to_string(g.height) + "+" + std::to_string(g.x) + "+"
                      + std::to_string(g.y) + " +repage -resize " + std::to_string(scale * 100) + "% " + image);
        std::vector<Word> words;
        std::istringstream tsv(commandOutput("tesseract " + image + " - --psm 4 tsv 2>/dev/null"));
        std::string line;
        std::getline(tsv, line); // header
        while (std::getline(tsv, line)) {
            std::vector<std::string> cells;
            std::istringstream row(line);
            for (std::string cell; std::getline(row, cell, '\t');)
                cells.push_back(cell);
            if (cells.size() < 12 || cells[11].empty())
                continue;
            const int left = std::atoi(cells[6].c_str()), top = std::atoi(cells[7].c_str());
            const int width = std::atoi(cells[8].c_str()), height = std::atoi(cells[9].c_str());
            words.push_back({cells[11], g.x + (left + width / 2) / scale, g.y + (top + height / 2) / scale});
        }
        return words;
    }

    XDesktop& x = XDesktop::instance();
    quandrel::test::QuandrelHome home{"tray", true};
    LoggedProcess tray, app;
    std::optional<std::string> sessionBus;
};

} // namespace

TEST_F(X11TrayTest, IconInTheTrayOpensTheMenuOnALeftClick)
{
    ASSERT_NO_FATAL_FAILURE(start());
    // The first launch shows the welcome window.
    EXPECT_TRUE(x.waitUntil([] { return !commandOutput("xdotool search --onlyvisible --name '^Welcome to Quandrel$'").empty(); }));

    const Geometry at = embeddedIcon();
    ASSERT_GT(at.width, 0) << commandOutput("xwininfo -root -tree");
    EXPECT_GT(at.x, 1300);
    EXPECT_LT(at.y, 32);

    ASSERT_EQ(quandrel::test::run("xdotool mousemove " + std::to_string(at.x + at.width / 2) + " " + std::to_string(at.y + at.height / 2)
                                  + " click 1"),
              0);
    Geometry menuAt; // the open menu: taller than the icon
    ASSERT_TRUE(x.waitUntil([&] {
        menuAt = quandrelWindow("xwininfo -root -tree", 101);
        return menuAt.height > 0;
    })) << "no menu opened";
    EXPECT_GE(menuAt.x + menuAt.width, 1300); // beside the icon

    std::vector<Word> words;
    std::string text;
    ASSERT_TRUE(x.waitUntil([&] {
        words = readWords(menuAt);
        text.clear();
        for (const Word& w : words)
            text += w.text + " ";
        return text.find("Quit") != std::string::npos;
    })) << text;
    for (const char* expected : {"Window", "Capture", "Area", "Full", "Screen", "Repeat", "Last", "Settings", "Quit", "Quandrel"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " not in: " << text;
    EXPECT_EQ(text.find("Grant"), std::string::npos) << text; // every permission is there
    EXPECT_EQ(text.find("Apps"), std::string::npos) << text;  // no app bindings

    // Choosing "Settings…" opens the settings window.
    const auto settings = std::find_if(words.begin(), words.end(), [](const Word& w) { return w.text.rfind("Settings", 0) == 0; });
    ASSERT_NE(settings, words.end());
    ASSERT_EQ(quandrel::test::run("xdotool mousemove " + std::to_string(settings->x) + " " + std::to_string(settings->y) + " click 1"), 0);
    EXPECT_TRUE(x.waitUntil([] { return !commandOutput("xdotool search --onlyvisible --name '^Quandrel Settings$'").empty(); }))
        << app.logText();
}

TEST_F(X11TrayTest, TheIconIsDrawnInTheTraysColours)
{
    // A dark panel whose tray asks for light icons, and a light one asking for dark icons, as
    // GTK-based panels say with their theme's colours.
    for (const auto& [panel, drawing] : {std::pair{0x202020u, "light"}, {0xf0f0f0u, "dark"}}) {
        ASSERT_NO_FATAL_FAILURE(start(panel));
        EXPECT_TRUE(app.waitForLog(std::string("Tray icon: the ") + drawing + " drawing (the tray")) << app.logText();
        const Geometry at = embeddedIcon();
        ASSERT_GT(at.width, 0);
        // The drawing on the panel: its strongest pixel stands out from the panel colour.
        const std::string picture = (home.root / (std::string("tray-") + drawing + ".png")).string();
        const std::string crop = std::to_string(at.width) + "x" + std::to_string(at.height) + "+" + std::to_string(at.x) + "+" + std::to_string(at.y);
        const auto contrast = [&] {
            commandOutput("import -window root -crop " + crop + " +repage " + picture);
            const std::string extreme = commandOutput("convert " + picture + " -colorspace Gray -format '%[fx:"
                                                      + (panel < 0x808080 ? "maxima" : "minima") + "]' info:");
            return std::abs(std::atof(extreme.c_str()) - double(panel & 0xff) / 255.0);
        };
        EXPECT_TRUE(x.waitUntil([&] { return contrast() > 0.6; })) << "contrast " << contrast() << " on " << drawing;
        if (const char* keep = std::getenv("QUANDREL_PICTURES"))
            commandOutput(std::string("import -window root -crop 240x40+1200+0 +repage ") + keep + std::string("/tray-") + drawing + ".png");
    }
}
