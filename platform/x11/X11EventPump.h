#pragma once

// Feeds the events of Quandrel's own X connection into the Qt event loop: they are handled
// on the main thread whenever the connection's socket has data, and before the loop goes to
// sleep (replies read meanwhile may have queued events without the socket showing them).

#include <QObject>

class QSocketNotifier;

namespace quandrel::x11 {

class X11Connection;

class X11EventPump : public QObject {
    Q_OBJECT
public:
    explicit X11EventPump(X11Connection& connection, QObject* parent = nullptr);

private:
    void pump();

    X11Connection& m_connection;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace quandrel::x11
