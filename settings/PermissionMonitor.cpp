#include "PermissionMonitor.h"

#include "FrontmostApplication.h"

#include <QPointer>

namespace quandrel {

PermissionMonitor::PermissionMonitor(AccessTrust& trust, Scheduler schedule, QObject* parent)
    : QObject(parent)
    , m_trust(trust)
    , m_schedule(std::move(schedule))
    , m_windowControl(trust.canControlWindows())
    , m_screenReading(trust.screenRecordingAllowed())
{
}

void PermissionMonitor::refresh()
{
    const bool windowControl = m_trust.canControlWindows();
    const bool screenReading = m_trust.screenRecordingAllowed();
    if (windowControl == m_windowControl && screenReading == m_screenReading)
        return;
    m_windowControl = windowControl;
    m_screenReading = screenReading;
    Q_EMIT changed();
}

void PermissionMonitor::startPolling()
{
    // A new poll replaces a running one: the older chain sees its generation has passed.
    ++m_pollGeneration;
    m_polling = true;
    scheduleNextPoll();
}

void PermissionMonitor::stopPolling()
{
    ++m_pollGeneration;
    m_polling = false;
}

void PermissionMonitor::scheduleNextPoll()
{
    m_schedule(pollInterval, [self = QPointer<PermissionMonitor>(this), generation = m_pollGeneration] {
        if (!self || generation != self->m_pollGeneration)
            return;
        self->refresh();
        if (self->allGranted())
            self->m_polling = false;
        else
            self->scheduleNextPoll();
    });
}

} // namespace quandrel
