#include "X11EventPump.h"

#include "X11Connection.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>

namespace quandrel::x11 {

X11EventPump::X11EventPump(X11Connection& connection, QObject* parent)
    : QObject(parent)
    , m_connection(connection)
    , m_notifier(new QSocketNotifier(connection.fileDescriptor(), QSocketNotifier::Read, this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &X11EventPump::pump);
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &X11EventPump::pump);
}

void X11EventPump::pump()
{
    m_connection.dispatchPending();
    m_connection.flush();
}

} // namespace quandrel::x11
