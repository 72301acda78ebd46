#include "FreedesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>

namespace quandrel {

std::uint32_t FreedesktopNotifier::notify(const QString& summary, const QString& body, std::uint32_t replaces)
{
    const QString service = QStringLiteral("org.freedesktop.Notifications");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(service).value())
        return 0;
    QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/Notifications"), service,
                                                       QStringLiteral("Notify"));
    call << QStringLiteral("Quandrel") << replaces << QStringLiteral("quandrel") << summary << body << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("quandrel")}} << -1;
    const QDBusReply<std::uint32_t> reply = bus.call(call, QDBus::Block, 2000);
    return reply.isValid() ? reply.value() : 0;
}

} // namespace quandrel
