// The tray icon as a person meets it: a tray host (trayer) on the private desktop shows
// Quandrel's icon, a left click opens its menu with the expected entries (read back from the
// screen with tesseract), "Settings…" opens the settings window, and the first launch shows
// the welcome window.

#include "XTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>

extern char** environ;

using quandrel::test::XDesktop;

namespace {

namespace fs = std::filesystem;

// A shell command's standard output.
std::string output(const std::string& command)
{
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        std::array<char, 4096> buffer;
        while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
            text.append(buffer.data(), n);
        ::pclose(pipe);
    }
    return text;
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

pid_t spawn(std::vector<std::string> argv, const fs::path& log)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

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
        tray = spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32", "--SetDockType", "true",
                      "--transparent", "false", "--expand", "false"},
                     root / "trayer.log");
        ASSERT_GT(tray, 0);
        ASSERT_TRUE(x.waitUntil([] { return !output("xdotool search --classname '^panel$'").empty(); })) << "trayer did not start";
        app = spawn({QUANDREL_EXECUTABLE}, root / "quandrel.log");
        ASSERT_GT(app, 0);
        ASSERT_TRUE(x.waitUntil([this] { return log().find("Quandrel is ready") != std::string::npos; })) << log();
    }

    void TearDown() override
    {
        for (const pid_t pid : {app, tray}) {
            if (pid > 0) {
                kill(pid, SIGTERM);
                waitpid(pid, nullptr, 0);
            }
        }
        x.setMonitors({});
        fs::remove_all(root);
    }

    std::string log() const
    {
        std::ifstream in(root / "quandrel.log");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Where Quandrel's icon sits in the tray host's panel; zero size while it is not there.
    Geometry embeddedIcon()
    {
        const std::string panel = output("xdotool search --classname '^panel$' | head -1");
        if (panel.empty())
            return {};
        std::istringstream tree(output("xwininfo -tree -id " + panel));
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
        std::istringstream tree(output("xwininfo -root -tree"));
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
        output("import -window root -crop " + std::to_string(g.width) + "x" + std::to_string(g.height) + "+" + std::to_string(g.x) + "+"
               + std::to_string(g.y) + " +repage -resize " + std::to_string(scale * 100) + "% " + image.string());
        std::vector<Word> words;
        std::istringstream tsv(output("tesseract " + image.string() + " - --psm 4 tsv 2>/dev/null"));
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
    pid_t tray = -1, app = -1;
};

} // namespace

TEST_F(X11TrayTest, IconInTheTrayOpensTheMenuOnALeftClick)
{
    // The first launch shows the welcome window.
    EXPECT_TRUE(x.waitUntil([] { return !output("xdotool search --onlyvisible --name '^Welcome to Quandrel$'").empty(); }));

    // The icon: Quandrel's window embedded in the tray host (a child of its panel window).
    Geometry at;
    ASSERT_TRUE(x.waitUntil([&] {
        at = embeddedIcon();
        return at.width > 0;
    })) << output("xwininfo -root -tree");
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
    EXPECT_TRUE(x.waitUntil([] { return !output("xdotool search --onlyvisible --name '^Quandrel Settings$'").empty(); })) << log();
}

TEST_F(X11TrayTest, SettingsURLOpensTheWindow)
{
    ASSERT_EQ(quandrel::test::run(std::string(QUANDREL_EXECUTABLE) + " quandrel://settings"), 0);
    EXPECT_TRUE(x.waitUntil([] { return !output("xdotool search --onlyvisible --name '^Quandrel Settings$'").empty(); })) << log();
    // The settings file was not opened instead: no other program started for it.
    EXPECT_EQ(log().find("xdg-open"), std::string::npos);
}
