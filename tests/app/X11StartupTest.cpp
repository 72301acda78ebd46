// Starting Quandrel many times at once, as a login session or a script might: exactly one
// process stays, and it holds the hot keys; the others hand over and leave. The same after the
// running instance was killed and left its socket behind.

#include "XTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>

extern char** environ;

using quandrel::test::XDesktop;

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

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
        for (pid_t pid : running) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        fs::remove_all(root);
    }

    pid_t start(int index, const std::vector<std::string>& arguments = {})
    {
        const std::string log = (root / ("start-" + std::to_string(index) + ".log")).string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char*> argv{const_cast<char*>(QUANDREL_EXECUTABLE)};
        for (const std::string& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_t pid = -1;
        posix_spawn(&pid, QUANDREL_EXECUTABLE, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    // Starts `count` processes at once and waits until all but the instance have left.
    // Answers the processes still running.
    std::vector<pid_t> startMany(int count, int round)
    {
        std::vector<pid_t> pids;
        for (int i = 0; i < count; ++i)
            pids.push_back(start(round * 100 + i));
        std::vector<pid_t> alive = pids;
        XDesktop::instance().waitUntil(
            [&] {
                std::erase_if(alive, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) == pid; });
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
    std::vector<pid_t> running;
};

} // namespace

TEST_F(X11StartupTest, TwentySimultaneousStartsLeaveOneInstanceWithTheHotKeys)
{
    running = startMany(20, 0);
    ASSERT_EQ(running.size(), 1u);
    const std::string log = instanceLog(0);
    EXPECT_NE(log.find("Quandrel is ready"), std::string::npos);
    EXPECT_EQ(log.find(" 0 hot keys"), std::string::npos) << log;

    // The instance dies without cleaning up; its socket stays behind.
    kill(running[0], SIGKILL);
    waitpid(running[0], nullptr, 0);
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
        int s = -1;
        waitpid(start(1, arguments), &s, 0);
        return WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    };
    EXPECT_EQ(status({"quandrel://pins/close"}), 0);
    EXPECT_EQ(status({"quandrel://sideways"}), 1);
    EXPECT_EQ(status({"quandrel://window/leftHalf\nquandrel://window/rightHalf"}), 2);
    EXPECT_EQ(status({std::string(70000, 'a')}), 2);
    EXPECT_EQ(status({"--version"}), 0);
}
