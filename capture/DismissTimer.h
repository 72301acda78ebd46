#pragma once

// A one-shot timer that can be restarted in full and cancelled, on an injected scheduler so
// that tests control the clock. A run scheduled before the latest start or cancel does
// nothing when it comes due, and nothing runs once the timer is gone.

#include <functional>
#include <memory>

namespace quandrel {

class DismissTimer {
public:
    // Runs a function after a delay on the main thread (a single-shot QTimer in the
    // application, a queue the test advances in tests).
    using Scheduler = std::function<void(int milliseconds, std::function<void()>)>;

    DismissTimer(int milliseconds, Scheduler schedule, std::function<void()> onFire);
    ~DismissTimer();
    DismissTimer(const DismissTimer&) = delete;
    DismissTimer& operator=(const DismissTimer&) = delete;

    // Starts the full delay again, forgetting any pending run.
    void start();
    void cancel();
    bool isPending() const;
    int milliseconds() const { return m_milliseconds; }

    // The scheduler of the running application: a single-shot QTimer.
    static Scheduler qtScheduler();

private:
    struct State {
        unsigned generation = 0;
        bool pending = false;
    };
    int m_milliseconds;
    Scheduler m_schedule;
    std::function<void()> m_onFire;
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace quandrel
