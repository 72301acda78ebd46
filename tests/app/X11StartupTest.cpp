// Starting Quandrel many times at once, as a login session or a script might: exactly one
// process stays, and it holds the hot keys; the others hand over and leave. The same after the
// running instance was killed and left its socket behind; --quit ends the instance.

#include "LoggedProcess.h"
#include "XTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using quandrel::test::XDesktop;

namespace {

namespace fs = std::filesystem;

using quandrel::test::LoggedProcess;
using quandrel::test::readFile;

class X11StartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("quandrel-startup-" + std::to_string(getpid()));
        fs::create_directories(root / "config");
        fs::create_directories(root / "runtime");
        fs::permissions(root / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
        XDesktop::instance().setMonitors({"*MAIN 1440x900+0+0"});
    }

    void TearDown() override
    {
        running.clear();
        fs::remove_all(root);
    }

    LoggedProcess start(int index, std::vector<std::string> arguments = {})
    {
        arguments.insert(arguments.begin(), QUANDREL_EXECUTABLE);
        return LoggedProcess({.arguments = std::move(arguments),
                              .log = root / ("start-" + std::to_string(index) + ".log"),
                              .environment = {}});
    }

    // Starts `count` processes at once and waits until all but the instance have left.
    // Answers the processes still running.
    std::vector<LoggedProcess> startMany(int count, int round)
    {
        std::vector<LoggedProcess> alive;
        for (int i = 0; i < count; ++i)
            alive.push_back(start(round * 100 + i));
        XDesktop::instance().waitUntil(
            [&] {
                std::erase_if(alive, [](LoggedProcess& p) { return p.exited(); });
                return alive.size() <= 1;
            },
            std::chrono::seconds(30));
        return alive;
    }

    std::string instanceLog(int round)
    {
        for (int i = 0; i < 100; ++i) {
            const std::string log = readFile(root / ("start-" + std::to_string(round * 100 + i) + ".log"));
            if (log.find("Quandrel is ready") != std::string::npos)
                return log;
        }
        return {};
    }

    fs::path root;
    std::vector<LoggedProcess> running;
};

} // namespace

TEST_F(X11StartupTest, TwentySimultaneousStartsLeaveOneInstanceWithTheHotKeys)
{
    running = startMany(20, 0);
    ASSERT_EQ(running.size(), 1u);
    const std::string log = instanceLog(0);
    EXPECT_NE(log.find("Quandrel is ready"), std::string::npos);
    EXPECT_EQ(log.find(" 0 hot keys"), std::string::npos) << log;
    // A start says nothing but what it has to say.
    EXPECT_EQ(log.find("Please instantiate"), std::string::npos) << log;

    // The instance dies without cleaning up; its socket stays behind.
    running[0].stop(SIGKILL);
    running.clear();
    bool socketLeft = false;
    for (const auto& entry : fs::directory_iterator(root / "runtime"))
        socketLeft |= entry.path().extension() == ".socket";
    EXPECT_TRUE(socketLeft);

    running = startMany(20, 1);
    ASSERT_EQ(running.size(), 1u);
    EXPECT_NE(instanceLog(1).find("Quandrel is ready"), std::string::npos);
}

TEST_F(X11StartupTest, TheClientReportsRefusedCommands)
{
    running.push_back(start(0));
    ASSERT_TRUE(XDesktop::instance().waitUntil([&] { return readFile(root / "start-0.log").find("Quandrel is ready") != std::string::npos; },
                                               std::chrono::seconds(20)));
    const auto status = [&](const std::vector<std::string>& arguments) {
        return start(1, arguments).exitStatus();
    };
    EXPECT_EQ(status({"quandrel://pins/close"}), 0);
    EXPECT_EQ(status({"quandrel://sideways"}), 1);
    EXPECT_EQ(status({"quandrel://window/leftHalf\nquandrel://window/rightHalf"}), 2);
    EXPECT_EQ(status({std::string(70000, 'a')}), 2);
    EXPECT_EQ(status({"--version"}), 0);
}

TEST_F(X11StartupTest, QuitEndsTheRunningInstanceAndStartsNone)
{
    running.push_back(start(0));
    ASSERT_TRUE(XDesktop::instance().waitUntil([&] { return readFile(root / "start-0.log").find("Quandrel is ready") != std::string::npos; },
                                               std::chrono::seconds(20)));
    const auto sockets = [&] {
        int count = 0;
        for (const auto& entry : fs::directory_iterator(root / "runtime"))
            count += entry.path().extension() == ".socket";
        return count;
    };
    ASSERT_EQ(sockets(), 1);
    EXPECT_EQ(start(1, {"--quit"}).exitStatus(), 0);
    EXPECT_EQ(running[0].exitStatus(), 0) << readFile(root / "start-0.log");
    EXPECT_EQ(sockets(), 0);

    // With none running, neither form starts one just to end it.
    const std::vector<std::vector<std::string>> forms = {{"--quit"}, {"quandrel://quit"}};
    for (const auto& arguments : forms) {
        LoggedProcess quit = start(2, arguments);
        EXPECT_EQ(quit.exitStatus(), 0) << arguments[0];
        EXPECT_NE(readFile(root / "start-2.log").find("not running"), std::string::npos) << arguments[0];
        EXPECT_EQ(sockets(), 0) << arguments[0];
    }
    EXPECT_EQ(start(3, {"--quit", "quandrel://settings"}).exitStatus(), 2);
}
