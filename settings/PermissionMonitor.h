#pragma once

// What Quandrel may do on this desktop: control other applications' windows (an X11 session
// with an EWMH window manager) and read the screen. The answers are read once at start and
// again on request; while either is missing, a poll can re-read them every second.

#include "Scheduler.h"

#include <QObject>

namespace quandrel {

class AccessTrust;

class PermissionMonitor : public QObject {
    Q_OBJECT
public:
    // `schedule` runs a function after a delay on the main thread (a QTimer in the
    // application, a controllable queue in tests).
    PermissionMonitor(AccessTrust& trust, Scheduler schedule, QObject* parent = nullptr);

    bool windowControlAllowed() const { return m_windowControl; }
    bool screenReadingAllowed() const { return m_screenReading; }
    bool allGranted() const { return m_windowControl && m_screenReading; }

    // Reads both again; a change is announced once.
    void refresh();

    // Re-reads both every second until both are granted.
    void startPolling();
    // Ends a running poll; the answers stay as last read.
    void stopPolling();
    bool isPolling() const { return m_polling; }

    static constexpr int pollInterval = 1000; // milliseconds

Q_SIGNALS:
    void changed();

private:
    void scheduleNextPoll();

    AccessTrust& m_trust;
    Scheduler m_schedule;
    bool m_windowControl = false;
    bool m_screenReading = false;
    bool m_polling = false;
    unsigned m_pollGeneration = 0;
};

} // namespace quandrel
