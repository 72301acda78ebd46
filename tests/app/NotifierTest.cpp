// The desktop notification goes to org.freedesktop.Notifications on the session bus: here a
// private bus of the test's own with a recording stand-in for the notification service.

#include "FreedesktopNotifier.h"

#include <QDBusConnection>
#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QObject>
#include <QProcess>
#include <QThread>
#include <QVariantMap>
#include <gtest/gtest.h>

using namespace quandrel;

namespace {

class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList summaries;
    QStringList bodies;
    QList<uint> replaced;
    QList<QStringList> actions;

public Q_SLOTS:
    uint Notify(const QString& appName, uint replacesId, const QString&, const QString& summary, const QString& body,
                const QStringList& actionList, const QVariantMap&, int)
    {
        EXPECT_EQ(appName, QStringLiteral("Quandrel"));
        actions << actionList;
        summaries << summary;
        bodies << body;
        replaced << replacesId;
        return uint(summaries.size()) + 40;
    }
};

} // namespace

TEST(FreedesktopNotifier, ReachesTheServiceAndIsSilentWithoutOne)
{
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    ASSERT_TRUE(bus.waitForStarted(5000)) << "dbus-daemon is needed for this test";
    ASSERT_TRUE(bus.waitForReadyRead(5000));
    const QByteArray address = bus.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    FreedesktopNotifier notifier;
    // No notification service on the bus yet: nothing is shown, nothing fails.
    EXPECT_EQ(notifier.notify(QStringLiteral("Title"), QStringLiteral("Body")), 0u);

    // The service answers from a thread of its own, as another process would, while the
    // notifier waits for the answer.
    QThread serviceThread;
    serviceThread.start();
    FakeNotificationService fake;
    fake.moveToThread(&serviceThread);
    bool registered = false;
    QMetaObject::invokeMethod(
        &fake,
        [&] {
            QDBusConnection service = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("fake-notifications"));
            registered = service.isConnected()
                && service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake, QDBusConnection::ExportAllSlots)
                && service.registerService(QStringLiteral("org.freedesktop.Notifications"));
        },
        Qt::BlockingQueuedConnection);
    ASSERT_TRUE(registered);

    EXPECT_EQ(notifier.notify(QStringLiteral("Some Quandrel shortcuts are taken"), QStringLiteral("Another program holds Ctrl+Alt+←.")), 41u);
    EXPECT_EQ(notifier.notify(QStringLiteral("Again"), QStringLiteral("Replaced"), 41), 42u);
    EXPECT_EQ(fake.summaries, (QStringList{"Some Quandrel shortcuts are taken", "Again"}));
    EXPECT_EQ(fake.bodies.front(), QStringLiteral("Another program holds Ctrl+Alt+←."));
    EXPECT_EQ(fake.replaced, (QList<uint>{0, 41}));

    // A question: its one action, and its answer taken only from the service's signal for
    // this notification (any program's notifications raise the same signals).
    int confirmed = 0;
    EXPECT_EQ(notifier.ask(QStringLiteral("A link asks for a screenshot"), QStringLiteral("…"), QStringLiteral("Take Screenshot"),
                           [&] { ++confirmed; }),
              43u);
    EXPECT_EQ(fake.actions.last(), (QStringList{"confirm", "Take Screenshot"}));
    QMetaObject::invokeMethod(
        &fake,
        [] {
            QDBusConnection service(QStringLiteral("fake-notifications"));
            for (const uint id : {99u, 43u}) {
                QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                                 QStringLiteral("org.freedesktop.Notifications"),
                                                                 QStringLiteral("ActionInvoked"));
                signal << id << QStringLiteral("confirm");
                service.send(signal);
            }
        },
        Qt::BlockingQueuedConnection);
    QDeadlineTimer safety(10000);
    while (confirmed == 0 && !safety.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(confirmed, 1);

    QMetaObject::invokeMethod(
        &fake, [] { QDBusConnection::disconnectFromBus(QStringLiteral("fake-notifications")); }, Qt::BlockingQueuedConnection);
    serviceThread.quit();
    serviceThread.wait();
    bus.terminate();
    bus.waitForFinished(5000);
}

#include "NotifierTest.moc"
