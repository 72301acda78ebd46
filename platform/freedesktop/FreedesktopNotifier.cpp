#include "FreedesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>

namespace quandrel {

namespace {
const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString confirmAction = QStringLiteral("confirm");
} // namespace

std::uint32_t FreedesktopNotifier::show(const QString& summary, const QString& body, const QStringList& actions,
                                        std::uint32_t replaces)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(service).value())
        return 0;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    call << QStringLiteral("Quandrel") << replaces << QStringLiteral("quandrel") << summary << body << actions
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("quandrel")}} << -1;
    const QDBusReply<std::uint32_t> reply = bus.call(call, QDBus::Block, 2000);
    return reply.isValid() ? reply.value() : 0;
}

std::uint32_t FreedesktopNotifier::notify(const QString& summary, const QString& body, std::uint32_t replaces)
{
    return show(summary, body, {}, replaces);
}

std::uint32_t FreedesktopNotifier::ask(const QString& summary, const QString& body, const QString& actionLabel,
                                       std::function<void()> onConfirm)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!m_listening && bus.isConnected()) {
        // Subscribed before the first question, so that no answer can come unheard.
        m_listening = bus.connect(service, path, service, QStringLiteral("ActionInvoked"), this,
                                  SLOT(actionInvoked(uint, QString)))
            && bus.connect(service, path, service, QStringLiteral("NotificationClosed"), this,
                           SLOT(notificationClosed(uint, uint)));
    }
    if (!m_listening)
        return 0;
    const std::uint32_t id = show(summary, body, {confirmAction, actionLabel}, 0);
    if (id != 0)
        m_questions.insert(id, std::move(onConfirm));
    return id;
}

void FreedesktopNotifier::actionInvoked(uint id, const QString& action)
{
    // Every program's notifications raise these signals: only our own questions count.
    const auto answer = m_questions.take(id);
    if (answer && action == confirmAction)
        answer();
}

void FreedesktopNotifier::notificationClosed(uint id, uint)
{
    m_questions.remove(id);
}

} // namespace quandrel
