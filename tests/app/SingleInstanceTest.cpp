#include "SingleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace quandrel;

namespace {

// Runs the event loop until the future is ready: the instance answers on this thread while
// the client blocks on another, as two processes would.
template <typename T>
T serve(std::future<T>& result)
{
    while (result.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return result.get();
}

class SingleInstanceTest : public ::testing::Test {
protected:
    QString socketPath() const { return dir.filePath(QStringLiteral("quandrel-:0.socket")); }
    QTemporaryDir dir;
};

} // namespace

TEST(SingleInstanceNames, TheScreenNumberMakesNoOtherInstance)
{
    EXPECT_EQ(SingleInstance::displayTag(QStringLiteral(":42")), SingleInstance::displayTag(QStringLiteral(":42.0")));
    EXPECT_EQ(SingleInstance::displayTag(QStringLiteral("unix:42.1")), SingleInstance::displayTag(QStringLiteral(":42")));
    EXPECT_NE(SingleInstance::displayTag(QStringLiteral(":42")), SingleInstance::displayTag(QStringLiteral(":4")));
    EXPECT_NE(SingleInstance::displayTag(QStringLiteral("host:42")), SingleInstance::displayTag(QStringLiteral(":42")));
    EXPECT_EQ(SingleInstance::displayTag(QString()), QStringLiteral("quandrel-none"));
    EXPECT_FALSE(SingleInstance::displayTag(QStringLiteral("../x/y:1")).contains(QLatin1Char('/')));
}

TEST_F(SingleInstanceTest, OnlyOneHolderOfTheLock)
{
    SingleInstance first(socketPath());
    SingleInstance second(socketPath());
    EXPECT_TRUE(first.acquire());
    EXPECT_FALSE(second.acquire());
    EXPECT_FALSE(second.listen([](const QString&) { return true; }));
}

TEST_F(SingleInstanceTest, AStaleSocketIsReplacedByTheLockHolder)
{
    {
        // An instance that ended without cleaning up leaves its socket file behind.
        SingleInstance crashed(socketPath());
        ASSERT_TRUE(crashed.acquire());
        ASSERT_TRUE(crashed.listen([](const QString&) { return true; }));
    }
    QFile stale(socketPath());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();

    SingleInstance instance(socketPath());
    ASSERT_TRUE(instance.acquire());
    QStringList received;
    ASSERT_TRUE(instance.listen([&](const QString& url) {
        received << url;
        return true;
    }));
    SingleInstance client(socketPath());
    auto result = std::async(std::launch::async, [&] { return client.sendToRunningInstance({QStringLiteral("quandrel://settings")}); });
    EXPECT_EQ(serve(result), SingleInstance::Delivery::delivered);
    EXPECT_EQ(received, QStringList{QStringLiteral("quandrel://settings")});
}

TEST_F(SingleInstanceTest, URLsAreFramedAndRefusalsReachTheClient)
{
    SingleInstance instance(socketPath());
    ASSERT_TRUE(instance.acquire());
    QStringList received;
    ASSERT_TRUE(instance.listen([&](const QString& url) {
        received << url;
        return url.startsWith(QLatin1String("quandrel://window/"));
    }));
    SingleInstance client(socketPath());
    QString answer;

    auto ok = std::async(std::launch::async, [&] {
        return client.sendToRunningInstance({QStringLiteral("quandrel://window/leftHalf"), QStringLiteral("quandrel://window/center")}, &answer);
    });
    EXPECT_EQ(serve(ok), SingleInstance::Delivery::delivered);
    EXPECT_EQ(received.size(), 2);

    auto refused = std::async(std::launch::async, [&] { return client.sendToRunningInstance({QStringLiteral("quandrel://nothing")}, &answer); });
    EXPECT_EQ(serve(refused), SingleInstance::Delivery::refused);
    EXPECT_EQ(answer, QStringLiteral("refused 1"));

    // A line break inside one argument never becomes a second command.
    received.clear();
    auto newline = std::async(std::launch::async, [&] {
        return client.sendToRunningInstance({QStringLiteral("quandrel://window/leftHalf\nquandrel://window/rightHalf")}, &answer);
    });
    EXPECT_EQ(serve(newline), SingleInstance::Delivery::refused);
    EXPECT_TRUE(received.isEmpty());
    EXPECT_TRUE(SingleInstance::checkURL(QStringLiteral("quandrel://a\tb")));
    EXPECT_FALSE(SingleInstance::checkURL(QStringLiteral("quandrel://app/org.gnome.Évince")));
}

TEST_F(SingleInstanceTest, OverlongLinesAndIdleClientsAreCutOff)
{
    SingleInstance instance(socketPath());
    ASSERT_TRUE(instance.acquire());
    int received = 0;
    ASSERT_TRUE(instance.listen([&](const QString&) { return ++received, true; }));

    // A raw peer sends more than the limit without a line break: refused, nothing run.
    auto overlong = std::async(std::launch::async, [&] {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (!socket.waitForConnected(1000))
            return QByteArray("no connection");
        socket.write(QByteArray(SingleInstance::maxURLLength + 100, 'a'));
        socket.waitForBytesWritten(1000);
        QByteArray reply;
        while (!reply.contains('\n') && socket.waitForReadyRead(3000))
            reply += socket.readAll();
        return reply;
    });
    EXPECT_TRUE(serve(overlong).startsWith("error a URL longer than")) ;
    EXPECT_EQ(received, 0);
    EXPECT_TRUE(SingleInstance::checkURL(QString(SingleInstance::maxURLLength + 1, QLatin1Char('a'))));

    // A peer that connects and says nothing is disconnected after the idle timeout.
    auto idle = std::async(std::launch::async, [&] {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (!socket.waitForConnected(1000))
            return -1.0;
        QElapsedTimer held;
        held.start();
        socket.waitForDisconnected(SingleInstance::idleTimeout * 3);
        return socket.state() == QLocalSocket::UnconnectedState ? double(held.elapsed()) : -1.0;
    });
    const double heldFor = serve(idle);
    EXPECT_GE(heldFor, 0);
    EXPECT_LT(heldFor, SingleInstance::idleTimeout * 2);
}
