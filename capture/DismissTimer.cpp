#include "DismissTimer.h"

#include <QTimer>

namespace quandrel {

DismissTimer::DismissTimer(int milliseconds, Scheduler schedule, std::function<void()> onFire)
    : m_milliseconds(milliseconds)
    , m_schedule(schedule ? std::move(schedule) : qtScheduler())
    , m_onFire(std::move(onFire))
{
}

DismissTimer::~DismissTimer() { cancel(); }

void DismissTimer::start()
{
    const unsigned generation = ++m_state->generation;
    m_state->pending = true;
    std::weak_ptr<State> weak = m_state;
    auto onFire = m_onFire;
    m_schedule(m_milliseconds, [weak, generation, onFire] {
        const auto state = weak.lock();
        if (!state || state->generation != generation || !state->pending)
            return;
        state->pending = false;
        if (onFire)
            onFire();
    });
}

void DismissTimer::cancel()
{
    ++m_state->generation;
    m_state->pending = false;
}

bool DismissTimer::isPending() const { return m_state->pending; }

} // namespace quandrel
