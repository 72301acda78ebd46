// The tray icon as a person meets it: a tray host (trayer) on the private desktop shows
// Quandrel's icon, a left click opens its menu with the expected entries (read back from the
// screen with tesseract), "Settings…" opens the settings window, and the first launch shows
// the welcome window. The icon is drawn light or dark as the tray's colours ask.

#include "LoggedProcess.h"
#include "XTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>

using quandrel::test::XDesktop;

namespace {

namespace fs = std::filesystem;

using quandrel::test::commandOutput;
using quandrel::test::LoggedProcess;

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

class X11TrayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("quandrel-tray-" + std::to_string(getpid()));
        for (const char* sub : {"config", "runtime", "data"})
            fs::create_directories(root / sub);
        fs::permissions(root / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
        setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        unsetenv("DBUS_SESSION_BUS_ADDRESS"); // no StatusNotifier host: the tray is XEmbed's
        x.setMonitors({"*MAIN 1440x900+0+0"});
        startTray();
        startQuandrel();
    }

    // trayer at the top right; `tint` paints its panel in one colour (0xRRGGBB).
    void startTray(std::optional<std::uint32_t> tint = std::nullopt)
    {
        std::vector<std::string> arguments{"trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
                                           "--SetDockType", "true", "--expand", "false"};
        char color[16];
        std::snprintf(color, sizeof color, "0x%06x", tint.value_or(0));
        for (const char* option : tint ? std::vector<const char*>{"--transparent", "true", "--alpha", "0", "--tint", color}
                                       : std::vector<const char*>{"--transparent", "false"})
            arguments.emplace_back(option);
        tray = LoggedProcess({.arguments = arguments, .log = root / "trayer.log", .appendToLog = false, .logStandardOutput = true,
                              .environment = {}});
        ASSERT_TRUE(tray.started());
        ASSERT_TRUE(x.waitUntil([] { return !commandOutput("xdotool search --classname '^panel$'").empty(); })) << "trayer did not start";
    }

    void startQuandrel()
    {
        app = LoggedProcess({.arguments = {QUANDREL_EXECUTABLE},
                             .log = root / "quandrel.log",
                             .appendToLog = false,
                             .logStandardOutput = true,
                             .environment = {}});
        ASSERT_TRUE(app.started());
        ASSERT_TRUE(x.waitUntil([this] { return log().find("Quandrel is ready") != std::string::npos; })) << log();
    }

    void TearDown() override
    {
        app.stop();
        tray.stop();
        x.setMonitors({});
        fs::remove_all(root);
    }

    std::string log() const { return app.logText(); }

    // Where Quandrel's icon sits in the tray host's panel; zero size while it is not there.
    Geometry embeddedIcon()
    {
        const std::string panel = commandOutput("xdotool search --classname '^panel$' | head -1");
        if (panel.empty())
            return {};
        std::istringstream tree(commandOutput("xwininfo -tree -id " + panel));
        for (std::string line; std::getline(tree, line);) {
            if (line.find("(\"quandrel\" \"Quandrel\")") == std::string::npos)
                continue;
            // "   0x600006 "Quandrel": ("quandrel" "Quandrel")  22x30+0+0  +1417+1"
            Geometry g;
            int rx = 0, ry = 0;
            const auto size = line.rfind(')') + 1;
            if (std::sscanf(line.c_str() + size, " %dx%d%d%d %d%d", &g.width, &g.height, &rx, &ry, &g.x, &g.y) == 6)
                return g;
        }
        return {};
    }

    // The open menu: a window of Quandrel's named "Quandrel" and taller than the icon.
    Geometry menuWindow()
    {
        std::istringstream tree(commandOutput("xwininfo -root -tree"));
        for (std::string line; std::getline(tree, line);) {
            if (line.find("\"Quandrel\": (\"quandrel\" \"Quandrel\")") == std::string::npos)
                continue;
            Geometry g;
            int rx = 0, ry = 0;
            const auto size = line.rfind(')') + 1;
            if (std::sscanf(line.c_str() + size, " %dx%d%d%d %d%d", &g.width, &g.height, &rx, &ry, &g.x, &g.y) == 6 && g.height > 100)
                return g;
        }
        return {};
    }

    // The words tesseract reads in a window, with their places on the screen.
    struct Word {
        std::string text;
        int x, y;
    };
    std::vector<Word> readWords(const Geometry& g)
    {
        const fs::path image = root / "menu.png";
        const int scale = 3;
        commandOutput("import -window root -crop " + std::to_string(g.width) + "x" + std::to_string(g.height) + "+" + std::to_string(g.x) + "+"
               + std::to_string(g.y) + " +repage -resize " + std::to_string(scale * 100) + "% " + image.string());
        std::vector<Word> words;
        std::istringstream tsv(commandOutput("tesseract " + image.string() + " - --psm 4 tsv 2>/dev/null"));
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
    fs::path root;
    LoggedProcess tray, app;
};

} // namespace

TEST_F(X11TrayTest, IconInTheTrayOpensTheMenuOnALeftClick)
{
    // The first launch shows the welcome window.
    EXPECT_TRUE(x.waitUntil([] { return !commandOutput("xdotool search --onlyvisible --name '^Welcome to Quandrel$'").empty(); }));

    // The icon: Quandrel's window embedded in the tray host (a child of its panel window).
    Geometry at;
    ASSERT_TRUE(x.waitUntil([&] {
        at = embeddedIcon();
        return at.width > 0;
    })) << commandOutput("xwininfo -root -tree");
    EXPECT_GT(at.x, 1300);
    EXPECT_LT(at.y, 32);

    ASSERT_EQ(quandrel::test::run("xdotool mousemove " + std::to_string(at.x + at.width / 2) + " " + std::to_string(at.y + at.height / 2)
                                  + " click 1"),
              0);
    Geometry menuAt;
    ASSERT_TRUE(x.waitUntil([&] {
        menuAt = menuWindow();
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
    EXPECT_TRUE(x.waitUntil([] { return !commandOutput("xdotool search --onlyvisible --name '^Quandrel Settings$'").empty(); })) << log();
}

TEST_F(X11TrayTest, SettingsURLOpensTheWindow)
{
    ASSERT_EQ(quandrel::test::run(std::string(QUANDREL_EXECUTABLE) + " quandrel://settings"), 0);
    EXPECT_TRUE(x.waitUntil([] { return !commandOutput("xdotool search --onlyvisible --name '^Quandrel Settings$'").empty(); })) << log();
    // The settings file was not opened instead: no other program started for it.
    EXPECT_EQ(log().find("xdg-open"), std::string::npos);
}

TEST_F(X11TrayTest, TheIconIsDrawnInTheTraysColours)
{
    // A dark panel whose tray asks for light icons, and a light one asking for dark icons, as
    // GTK-based panels say with their theme's colours.
    const struct {
        std::uint32_t panel, foreground;
        const char* drawing;
    } trays[] = {{0x202020, 0xeeeeee, "light"}, {0xf0f0f0, 0x202020, "dark"}};
    for (const auto& t : trays) {
        app.stop();
        tray.stop();
        ASSERT_NO_FATAL_FAILURE(startTray(t.panel));
        ASSERT_TRUE(x.waitUntil([&] { return x.declareTrayForeground(t.foreground); }));
        ASSERT_NO_FATAL_FAILURE(startQuandrel());
        EXPECT_TRUE(x.waitUntil([&] { return log().find(std::string("Tray icon: the ") + t.drawing + " drawing (the tray") != std::string::npos; }))
            << log();
        Geometry at;
        ASSERT_TRUE(x.waitUntil([&] {
            at = embeddedIcon();
            return at.width > 0;
        }));
        // The drawing on the panel: its strongest pixel stands out from the panel colour.
        const fs::path picture = root / (std::string("tray-") + t.drawing + ".png");
        const std::string crop = std::to_string(at.width) + "x" + std::to_string(at.height) + "+" + std::to_string(at.x) + "+" + std::to_string(at.y);
        const auto contrast = [&] {
            commandOutput("import -window root -crop " + crop + " +repage " + picture.string());
            const std::string extreme = commandOutput("convert " + picture.string() + " -colorspace Gray -format '%[fx:" + (t.foreground > 0x808080 ? "maxima" : "minima") + "]' info:");
            return std::abs(std::atof(extreme.c_str()) - double(t.panel & 0xff) / 255.0);
        };
        EXPECT_TRUE(x.waitUntil([&] { return contrast() > 0.6; })) << "contrast " << contrast() << " on " << t.drawing;
        if (const char* keep = std::getenv("QUANDREL_PICTURES")) {
            commandOutput("import -window root -crop 240x40+1200+0 +repage " + (fs::path(keep) / picture.filename()).string());
        }
    }
}
