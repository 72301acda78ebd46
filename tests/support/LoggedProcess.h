#pragma once

// Programs a test starts with their output in a log file the test reads (the real quandrel
// executable, a tray, a helper), and the private home a launched Quandrel lives in.

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <csignal>
#include <sys/types.h>

namespace quandrel::test {

// A program, stopped (SIGTERM, then reaped) when the object goes.
class LoggedProcess {
public:
    struct Options {
        std::vector<std::string> arguments = {}; // the program first; looked up in PATH
        std::filesystem::path log = {};
        bool appendToLog = false;           // keeps what an earlier run wrote
        bool logStandardOutput = false;     // standard error is always logged
        // Set in the program's environment on top of the test's own.
        std::vector<std::pair<std::string, std::string>> environment = {};
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
    // Waits, woken by every write to the log, until it holds `text` at least `count` times.
    bool waitForLog(const std::string& text, int count = 1, std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

private:
    pid_t m_pid = -1;
    std::filesystem::path m_log;
};

// The quandrel executable under test, started with `options.arguments` after it. With `ready`
// it returns once the log says "Quandrel is ready" once more than before (failing the test
// otherwise); a log that is appended to keeps counting earlier runs.
LoggedProcess startQuandrel(LoggedProcess::Options options, bool ready = true);
// A second launch, `quandrel` with these shell words, handing them to the running instance:
// its exit status.
int runQuandrel(const std::string& words);

// A private home for the Quandrel a test launches, below one temporary folder that goes with
// it: config, data (with applications), runtime (private to the user) and shots folders, and
// XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_RUNTIME_DIR pointing there (WAYLAND_DISPLAY and the
// compositors' sockets are full paths, so the desktop stays reachable). QUANDREL_SESSION is
// unset, so Quandrel finds the desktop itself. Unless it is a first launch, the settings are
// past the welcome window (which would take the focus commands act on) and save into shots.
class QuandrelHome {
public:
    explicit QuandrelHome(const std::string& name, bool firstLaunch = false);
    ~QuandrelHome();
    QuandrelHome(const QuandrelHome&) = delete;
    QuandrelHome& operator=(const QuandrelHome&) = delete;

    const std::filesystem::path root, config, data, runtime, shots;
    std::filesystem::path settingsFile() const { return config / "Quandrel" / "settings.json"; }
    std::filesystem::path log() const { return root / "quandrel.log"; }
    // An application's desktop entry in data/applications, running `exec`.
    void addApplication(const std::string& id, const std::string& exec) const;
    // The files in `folder` with this extension, oldest first.
    static std::vector<std::filesystem::path> files(const std::filesystem::path& folder, const std::string& extension);
};

// One Quandrel a whole test suite shares, in its private home. The first URL starts it, and it
// is running before the next one is handed over (a second launch meanwhile would be the one
// instance); later URLs are handed to it.
struct SuiteQuandrel {
    explicit SuiteQuandrel(const std::string& name) : home(name) {}
    void open(const std::string& url);
    // Starts it (with a harmless URL) unless it runs.
    void ensureRunning();
    std::vector<std::filesystem::path> shots() const { return QuandrelHome::files(home.shots, ".png"); }
    std::string logText() const { return app.logText(); }

    QuandrelHome home;
    LoggedProcess app;
};

std::string readFile(const std::filesystem::path& path);
int occurrencesIn(const std::string& text, const std::string& part);
// What a shell command prints on its standard output.
std::string commandOutput(const std::string& command);

} // namespace quandrel::test
