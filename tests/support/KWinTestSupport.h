#pragma once

// Helpers for tests on the private headless KWin (tools/kwin-desktop.sh): reading and
// changing KWin's state with one-shot scripts of the test's own (independent of Quandrel's
// script), the two outputs the tests use, and Wayland test windows in their own processes.

#include "Geometry.h"
#include "WaylandInput.h"

#include <QJsonValue>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace quandrel::test {

class KWinTestDesktop final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quandrel.KWinTest")

public:
    static KWinTestDesktop& instance();

    // Evaluates a JavaScript expression inside KWin and answers its value. The expression
    // sees `all` (every window), `active` (the active one), `byPid(pid)` (a process's normal
    // window) and `rect(r)`. Undefined on a script error or no answer.
    QJsonValue evaluate(const QString& expression);

    // The frame of the process's normal window in KWin's layout (window space).
    std::optional<Rect> frameOf(pid_t pid);
    pid_t activePid();
    // Places the process's window at `frame` and waits until KWin shows it there.
    bool place(pid_t pid, const Rect& frame);

    // Polls `condition` until it holds or `timeout` passed; its last value.
    bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // The two outputs the tests use: Virtual-0, 1440 × 900 at the origin, and right of it
    // Virtual-1, 1440 × 900 turned by 90° (900 wide, 1440 tall). Needs the desktop started
    // with --size 1440x900.
    void useStandardOutputs();

public Q_SLOTS:
    void Report(const QString& value);

private:
    KWinTestDesktop();
    std::optional<QString> m_report;
    int m_scripts = 0;
};

// A quandrel-waylandwindow process with its own app id; killed when the value goes.
class KWinClient {
public:
    // Starts the client and waits until KWin shows its window active. It is filled with one
    // colour (0x306090), or shows `text` black on white.
    explicit KWinClient(const std::string& appId = "quandrel-test", const std::string& text = {});
    ~KWinClient();
    KWinClient(const KWinClient&) = delete;
    KWinClient& operator=(const KWinClient&) = delete;

    pid_t pid() const { return m_pid; }
    std::optional<Rect> frame() const { return KWinTestDesktop::instance().frameOf(m_pid); }
    // Kills the process and waits until its window is gone.
    void close();

private:
    pid_t m_pid = -1;
};

// The seat's pointer and keyboard (WaylandInput.h) through KWin's fake input, which KWin
// offers to the driver once a desktop entry of its program asks for it.
class KWinInput final : public WaylandInput {
public:
    KWinInput();
};

} // namespace quandrel::test
