#pragma once

// A one-shot timer that can be restarted in full and cancelled, on an injected scheduler so
// that tests control the clock. A run scheduled before the latest start or cancel does
// nothing when it comes due, and nothing runs once the timer is gone.

#include "Scheduler.h"

#include <functional>
#include <memory>

namespace quandrel {

class DismissTimer {
public:
    DismissTimer(int milliseconds, Scheduler schedule, std::function<void()> onFire);
    ~DismissTimer();
    DismissTimer(const DismissTimer&) = delete;
    DismissTimer& operator=(const DismissTimer&) = delete;

    // Starts the full delay again, forgetting any pending run.
    void start();
    void cancel();
    bool isPending() const;
    int milliseconds() const { return m_milliseconds; }

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
