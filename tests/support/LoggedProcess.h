#pragma once

// A program a test starts, with its output going to a log file the test reads: the real
// quandrel binary, a tray, a helper. Stopped (SIGTERM, then reaped) when the object goes.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <csignal>
#include <sys/types.h>

namespace quandrel::test {

class LoggedProcess {
public:
    struct Options {
        std::vector<std::string> arguments; // the program first; looked up in PATH
        std::filesystem::path log;
        bool appendToLog = false;           // keeps what an earlier run wrote
        bool logStandardOutput = false;     // standard error is always logged
        // Set in the program's environment on top of the test's own.
        std::vector<std::pair<std::string, std::string>> environment;
    };

    LoggedProcess() = default;
    explicit LoggedProcess(Options options);
    ~LoggedProcess() { stop(); }
    LoggedProcess(LoggedProcess&& other) noexcept;
    LoggedProcess& operator=(LoggedProcess&& other) noexcept;
    LoggedProcess(const LoggedProcess&) = delete;
    LoggedProcess& operator=(const LoggedProcess&) = delete;

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    // Whether it has exited; reaps it when it has.
    bool exited();
    // Waits for it to exit: its exit status, or -1 when a signal ended it.
    int exitStatus();
    void stop(int signal = SIGTERM);

    std::string logText() const;
    int occurrences(const std::string& text) const;

private:
    pid_t m_pid = -1;
    std::filesystem::path m_log;
};

std::string readFile(const std::filesystem::path& path);
int occurrencesIn(const std::string& text, const std::string& part);
// What a shell command prints on its standard output.
std::string commandOutput(const std::string& command);

} // namespace quandrel::test
