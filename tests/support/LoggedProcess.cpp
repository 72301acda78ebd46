#include "LoggedProcess.h"

#include "SettingsStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <sstream>
#include <sys/wait.h>

extern char** environ;

namespace quandrel::test {

LoggedProcess::LoggedProcess(Options options) : m_log(options.log)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int flags = O_WRONLY | O_CREAT | (options.appendToLog ? O_APPEND : O_TRUNC);
    posix_spawn_file_actions_addopen(&actions, 2, m_log.c_str(), flags, 0600);
    if (options.logStandardOutput)
        posix_spawn_file_actions_adddup2(&actions, 2, 1);

    // The test's environment with the options' variables replacing any of the same name.
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view text(*entry);
        const std::string_view name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto& [key, value] : options.environment)
            replaced = replaced || name == key;
        if (!replaced)
            variables.emplace_back(text);
    }
    for (const auto& [key, value] : options.environment)
        variables.push_back(key + '=' + value);

    std::vector<char*> argv, envp;
    for (std::string& a : options.arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
}

LoggedProcess::LoggedProcess(LoggedProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1))
    , m_log(std::move(other.m_log))
{
}

LoggedProcess& LoggedProcess::operator=(LoggedProcess&& other) noexcept
{
    if (this != &other) {
        stop();
        m_pid = std::exchange(other.m_pid, -1);
        m_log = std::move(other.m_log);
    }
    return *this;
}

bool LoggedProcess::exited()
{
    if (m_pid <= 0)
        return true;
    if (waitpid(m_pid, nullptr, WNOHANG) != m_pid)
        return false;
    m_pid = -1;
    return true;
}

int LoggedProcess::exitStatus()
{
    if (m_pid <= 0)
        return -1;
    int status = -1;
    waitpid(std::exchange(m_pid, -1), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void LoggedProcess::stop(int signal)
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, signal);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

std::string LoggedProcess::logText() const { return readFile(m_log); }

int LoggedProcess::occurrences(const std::string& text) const { return occurrencesIn(logText(), text); }

bool LoggedProcess::waitForLog(const std::string& text, int count, std::chrono::milliseconds timeout) const
{
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    inotify_add_watch(watch, m_log.parent_path().c_str(), IN_MODIFY | IN_CREATE);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool found = false;
    while (!(found = occurrences(text) >= count)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{watch, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) < 0)
            break;
        char events[4096];
        while (::read(watch, events, sizeof events) > 0) {
        }
    }
    ::close(watch);
    return found || occurrences(text) >= count;
}

LoggedProcess startQuandrel(LoggedProcess::Options options, bool ready)
{
    const int before = options.appendToLog ? occurrencesIn(readFile(options.log), "Quandrel is ready") : 0;
    options.arguments.insert(options.arguments.begin(), QUANDREL_EXECUTABLE);
    LoggedProcess app(std::move(options));
    EXPECT_TRUE(app.started());
    if (ready) {
        EXPECT_TRUE(app.waitForLog("Quandrel is ready", before + 1)) << app.logText();
    }
    return app;
}

int runQuandrel(const std::string& words)
{
    const int status = std::system((std::string(QUANDREL_EXECUTABLE) + " " + words).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void SuiteQuandrel::open(const std::string& url)
{
    if (app.started())
        EXPECT_EQ(runQuandrel("'" + url + "'"), 0);
    else
        app = startQuandrel({.arguments = {url}, .log = home.log()});
}

void SuiteQuandrel::ensureRunning()
{
    if (!app.started())
        open("quandrel://window/restore");
}

namespace {

std::filesystem::path homeRoot(const std::string& name)
{
    return std::filesystem::temp_directory_path() / ("quandrel-" + name + "-" + std::to_string(getpid()));
}

} // namespace

QuandrelHome::QuandrelHome(const std::string& name, bool firstLaunch)
    : root(homeRoot(name)), config(root / "config"), data(root / "data"), runtime(root / "runtime"), shots(root / "shots")
{
    for (const auto& folder : {config, data / "applications", runtime, shots})
        std::filesystem::create_directories(folder);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    unsetenv("QUANDREL_SESSION");
    if (firstLaunch)
        return;
    SettingsStore store(QString::fromStdString(settingsFile().string()));
    QuandrelSettings settings = store.settings();
    settings.hasCompletedOnboarding = true;
    settings.saveFolderBookmark = QByteArray::fromStdString(shots.string());
    store.setSettings(settings);
}

QuandrelHome::~QuandrelHome() { std::filesystem::remove_all(root); }

void QuandrelHome::addApplication(const std::string& id, const std::string& exec) const
{
    std::ofstream(data / "applications" / (id + ".desktop")) << "[Desktop Entry]\nType=Application\nName=" << id << "\nExec=" << exec << "\n";
}

std::vector<std::filesystem::path> QuandrelHome::files(const std::filesystem::path& folder, const std::string& extension)
{
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == extension)
            found.push_back(entry.path());
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return std::filesystem::last_write_time(a) < std::filesystem::last_write_time(b);
    });
    return found;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int occurrencesIn(const std::string& text, const std::string& part)
{
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

std::string commandOutput(const std::string& command)
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

} // namespace quandrel::test
