#include "WaylandInput.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quandrel::test {

WaylandInput::WaylandInput(std::function<Rect()> layout)
    : m_layout(std::move(layout))
{
    int toDriver[2];
    int fromDriver[2];
    if (::pipe2(toDriver, O_CLOEXEC) != 0 || ::pipe2(fromDriver, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe");
    char* argv[] = {const_cast<char*>(QUANDREL_WAYLANDINPUT), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toDriver[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromDriver[1], 1);
    const int spawned = posix_spawn(&m_pid, QUANDREL_WAYLANDINPUT, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toDriver[0]);
    ::close(fromDriver[1]);
    m_in = toDriver[1];
    m_out = fromDriver[0];
    if (spawned != 0 || readLine() != "ready")
        throw std::runtime_error("the test pointer and keyboard did not start");
}

WaylandInput::~WaylandInput()
{
    ::close(m_in);
    ::close(m_out);
    if (m_pid > 0)
        waitpid(m_pid, nullptr, 0); // ends with its input
}

std::string WaylandInput::readLine()
{
    for (;;) {
        if (const auto end = m_pending.find('\n'); end != std::string::npos) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return line;
        }
        pollfd p{m_out, POLLIN, 0};
        char buffer[256];
        if (::poll(&p, 1, 10000) <= 0)
            return {};
        const ssize_t n = ::read(m_out, buffer, sizeof buffer);
        if (n <= 0)
            return {};
        m_pending.append(buffer, std::size_t(n));
    }
}

bool WaylandInput::send(const std::string& line)
{
    const std::string text = line + "\n";
    const bool written = ::write(m_in, text.data(), text.size()) == ssize_t(text.size());
    const std::string answer = written ? readLine() : std::string();
    EXPECT_EQ(answer, "ok") << line;
    return answer == "ok";
}

bool WaylandInput::move(Point to)
{
    const Rect box = m_layout();
    return send("move " + std::to_string(int(to.x - box.x)) + " " + std::to_string(int(to.y - box.y)) + " "
                + std::to_string(int(box.width)) + " " + std::to_string(int(box.height)));
}

bool WaylandInput::button(int button, bool pressed) { return send("button " + std::to_string(button) + (pressed ? " 1" : " 0")); }

bool WaylandInput::click(Point at, int which) { return move(at) && button(which, true) && button(which, false); }

bool WaylandInput::drag(Point from, Point to)
{
    if (!move(from) || !button(leftButton, true))
        return false;
    for (int step = 1; step <= 4; ++step)
        if (!move({from.x + (to.x - from.x) * step / 4, from.y + (to.y - from.y) * step / 4}))
            return false;
    return button(leftButton, false);
}

bool WaylandInput::key(const std::string& name) { return send("key " + name); }

std::vector<OverlayCapture> overlayCaptures(WaylandInput& input)
{
    return {
        {"area", [&input] { return input.drag({230, 180}, {330, 230}); }, {100, 50}},
        {"repeatArea", nullptr, {100, 50}},
        {"window", [&input] { return input.click({350, 250}); }, {300, 200}},
        {"window", [&input] { return input.click({600, 600}, WaylandInput::rightButton); }, {}},
        {"area", [&input] { return input.move({600, 500}) && input.key("Escape"); }, {}},
    };
}

} // namespace quandrel::test
