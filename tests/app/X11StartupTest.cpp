// Starting Quandrel many times at once, as a login session or a script might: exactly one
// process stays, and it holds the hot keys; the others hand over and leave. The same after the
// running instance was killed and left its socket behind; --quit ends the instance.

#include "LoggedProcess.h"
#include "XTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using quandrel::test::LoggedProcess;
using quandrel::test::XDesktop;

namespace {

namespace fs = std::filesystem;

class X11StartupTest : public ::testing::Test {
protected:
    void SetUp() override { XDesktop::instance().setMonitors({"*MAIN 1440x900+0+0"}); }

    LoggedProcess start(int index, std::vector<std::string> arguments = {}, bool ready = false)
    {
        return quandrel::test::startQuandrel({.arguments = std::move(arguments), .log = log(index)}, ready);
    }
    fs::path log(int index) const { return home->root / ("start-" + std::to_string(index) + ".log"); }
    int sockets() const { return int(home->files(home->runtime, ".socket").size()); }

    // Starts `count` processes at once and waits until all but the instance have left; the
    // instance's log tells it is ready and holds the hot keys.
    void startMany(int count, int round)
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
        ASSERT_EQ(alive.size(), 1u);
        running = std::move(alive.front());
        ASSERT_TRUE(running.waitForLog("Quandrel is ready"));
        const std::string text = running.logText();
        EXPECT_EQ(text.find(" 0 hot keys"), std::string::npos) << text;
        // A start says nothing but what it has to say.
        EXPECT_EQ(text.find("Please instantiate"), std::string::npos) << text;
    }

    std::unique_ptr<quandrel::test::QuandrelHome> home = std::make_unique<quandrel::test::QuandrelHome>("startup", true);
    LoggedProcess running;
};

} // namespace

TEST_F(X11StartupTest, TwentySimultaneousStartsLeaveOneInstanceWithTheHotKeys)
{
    ASSERT_NO_FATAL_FAILURE(startMany(20, 0));
    // The instance dies without cleaning up; its socket stays behind.
    running.stop(SIGKILL);
    EXPECT_EQ(sockets(), 1);
    ASSERT_NO_FATAL_FAILURE(startMany(20, 1));
}

TEST_F(X11StartupTest, TheClientReportsRefusedCommandsAndQuitEndsTheInstance)
{
    running = start(0, {}, true);
    const auto status = [&](const std::vector<std::string>& arguments) { return start(1, arguments).exitStatus(); };
    EXPECT_EQ(status({"quandrel://pins/close"}), 0);
    EXPECT_EQ(status({"quandrel://sideways"}), 1);
    EXPECT_EQ(status({"quandrel://window/leftHalf\nquandrel://window/rightHalf"}), 2);
    EXPECT_EQ(status({std::string(70000, 'a')}), 2);
    EXPECT_EQ(status({"--version"}), 0);

    ASSERT_EQ(sockets(), 1);
    EXPECT_EQ(status({"--quit"}), 0);
    EXPECT_EQ(running.exitStatus(), 0) << running.logText();
    EXPECT_EQ(sockets(), 0);
    // With none running, neither form starts one just to end it.
    for (const std::string form : {"--quit", "quandrel://quit"}) {
        EXPECT_EQ(status({form}), 0) << form;
        EXPECT_NE(quandrel::test::readFile(log(1)).find("not running"), std::string::npos) << form;
        EXPECT_EQ(sockets(), 0) << form;
    }
    EXPECT_EQ(status({"--quit", "quandrel://settings"}), 2);
}
