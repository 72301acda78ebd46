#include "LoggedProcess.h"

#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
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
