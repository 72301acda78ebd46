#pragma once

// Ends the application the ordinary way when the session or a user asks the process to stop
// (SIGTERM at logout, SIGINT, SIGHUP): the event loop returns, so what runs at quit (an
// update waiting to be installed, closing the command socket) still runs. The handler only
// writes a byte to a socket; the rest happens in the event loop.

#include <QObject>

#include <initializer_list>

class QSocketNotifier;

namespace quandrel {

class QuitSignals final : public QObject {
    Q_OBJECT
public:
    // One per process; false from isWatching() when the socket pair or a handler could not be
    // set up, in which case the signals keep their default action.
    explicit QuitSignals(std::initializer_list<int> signals, QObject* parent = nullptr);
    ~QuitSignals() override;

    bool isWatching() const { return m_notifier != nullptr; }

Q_SIGNALS:
    // Before the application is asked to quit.
    void received(int signal);

private:
    void readSignals();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace quandrel
