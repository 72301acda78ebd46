#pragma once

// Starting a helper program with pipes to its standard input and output, and reading its
// answers line by line with a bound, for the test helpers that talk to one.

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace quandrel::test {

// Starts `arguments` (the program first) with its standard output, and its standard input when
// `input` is given, on pipes whose other ends land in `output` and `input`; standard error goes
// to /dev/null when `quiet`. The pid, or -1.
inline pid_t spawnPiped(std::vector<std::string> arguments, int* output, int* input = nullptr, bool quiet = false)
{
    int out[2], in[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0 || (input && ::pipe2(in, O_CLOEXEC) != 0))
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (input)
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    *output = out[0];
    if (input) {
        ::close(in[0]);
        *input = in[1];
    }
    return pid;
}

// The next line from `fd` (without its line break), keeping what follows in `pending`; empty
// when none comes within `timeout` or the other end closed.
inline std::string readLine(int fd, std::string& pending, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (const auto end = pending.find('\n'); end != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        char buffer[256];
        if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0)
            return {};
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return {};
        pending.append(buffer, std::size_t(n));
    }
}

} // namespace quandrel::test
