#include "SingleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <vector>

#include <sys/stat.h>
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
    instance.setConnectionDeadline(500);
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

    // A peer that connects and says nothing is disconnected at the connection's deadline.
    auto idle = std::async(std::launch::async, [&] {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (!socket.waitForConnected(1000))
            return -1.0;
        QElapsedTimer held;
        held.start();
        socket.waitForDisconnected(5000);
        return socket.state() == QLocalSocket::UnconnectedState ? double(held.elapsed()) : -1.0;
    });
    const double heldFor = serve(idle);
    EXPECT_GE(heldFor, 0);
    EXPECT_LT(heldFor, 2500);
}

TEST_F(SingleInstanceTest, SlowConnectionsDoNotKeepASecondLaunchOut)
{
    SingleInstance instance(socketPath());
    ASSERT_TRUE(instance.acquire());
    instance.setConnectionDeadline(500);
    QStringList received;
    ASSERT_TRUE(instance.listen([&](const QString& url) {
        received << url;
        return true;
    }));

    // As many peers as the instance takes, each sending a byte well within every idle time,
    // for as long as the second launch waits.
    std::promise<void> connected;
    std::atomic<bool> launched = false;
    auto holders = std::async(std::launch::async, [&] {
        std::vector<std::unique_ptr<QLocalSocket>> sockets;
        for (int i = 0; i < SingleInstance::maxClients; ++i) {
            sockets.push_back(std::make_unique<QLocalSocket>());
            sockets.back()->connectToServer(socketPath());
            sockets.back()->waitForConnected(1000);
        }
        connected.set_value();
        QElapsedTimer held;
        held.start();
        while (!launched && held.elapsed() < 20000) {
            for (auto& socket : sockets) {
                if (socket->state() == QLocalSocket::ConnectedState) {
                    socket->write("q");
                    socket->waitForBytesWritten(100);
                }
            }
            QThread::msleep(100);
        }
    });
    auto ready = connected.get_future();
    serve(ready);

    SingleInstance client(socketPath());
    QString answer;
    auto launch = std::async(std::launch::async, [&] {
        return client.sendToRunningInstance({QStringLiteral("quandrel://settings")}, &answer, 3000);
    });
    EXPECT_EQ(serve(launch), SingleInstance::Delivery::delivered) << answer.toStdString();
    launched = true;
    EXPECT_EQ(received, QStringList{QStringLiteral("quandrel://settings")});
    serve(holders);
}

TEST_F(SingleInstanceTest, AWrittenURLIsNeverSentAgain)
{
    // A raw listener that reads the message and never answers: a stalled instance.
    QLocalServer stalled;
    ASSERT_TRUE(stalled.listen(socketPath()));
    QByteArray read;
    QObject::connect(&stalled, &QLocalServer::newConnection, [&] {
        QLocalSocket* socket = stalled.nextPendingConnection();
        QObject::connect(socket, &QLocalSocket::readyRead, [&read, socket] { read += socket->readAll(); });
    });
    SingleInstance client(socketPath());
    client.setAnswerTimeout(300);
    auto sent = std::async(std::launch::async, [&] { return client.sendToRunningInstance({QStringLiteral("quandrel://window/nextDisplay")}); });
    EXPECT_EQ(serve(sent), SingleInstance::Delivery::noAnswer);
    EXPECT_EQ(read, "quandrel://window/nextDisplay\n\n") << "sent exactly once";
}

TEST(SingleInstanceLocation, TheFallbackFolderIsTheUsersOwn)
{
    // Without a private XDG_RUNTIME_DIR the socket goes below the user's own cache folder,
    // not into the shared temporary folder where another account could claim the name.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    const SingleInstance::Location location = SingleInstance::defaultLocation();
    qputenv("XDG_RUNTIME_DIR", runtime);
    ASSERT_TRUE(location.error.isEmpty()) << location.error.toStdString();
    EXPECT_TRUE(location.socketPath.startsWith(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/"))
        << location.socketPath.toStdString();
    EXPECT_FALSE(location.socketPath.startsWith(QDir::tempPath()));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(SingleInstance::fallbackFolder()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}
