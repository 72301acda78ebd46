#include "KWinBridge.h"

#include "KWinChannel.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>

#include <atomic>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcKWin, "quandrel.kwin", QtInfoMsg)

namespace quandrel::kwin {

extern const char* const kwinScriptSource; // quandrel-kwin.js, built in

namespace {

const QString kwinService = QStringLiteral("org.kde.KWin");
const QString bridgePath = QStringLiteral("/org/quandrel/KWin");
// Within the script's D-Bus call timeout (25 s), so its ask never fails.
constexpr int idleAnswerMs = 15000;

std::atomic<int> nextConnection{0};
std::atomic<int> nextRequest{1};

QJsonObject idleRequest() { return {{QStringLiteral("op"), QStringLiteral("idle")}, {QStringLiteral("id"), -1}}; }

} // namespace

KWinBridge::Channel::Channel()
    : m_connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                 QStringLiteral("quandrel-kwin-%1").arg(nextConnection++)))
{
    if (!m_connection.isConnected())
        return;
    m_service = m_connection.baseService();
    m_thread.setObjectName(QStringLiteral("quandrel-kwin"));
    moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(this, [this] {
        m_idle = new QTimer(this);
        m_idle->setInterval(idleAnswerMs);
        connect(m_idle, &QTimer::timeout, this, [this] {
            std::lock_guard lock(m_mutex);
            if (m_ask && m_queue.empty())
                m_queue.push_back(idleRequest());
        });
        connect(m_idle, &QTimer::timeout, this, &Channel::flush);
        m_idle->start();
    }, Qt::BlockingQueuedConnection);
    m_connection.registerObject(bridgePath, this, QDBusConnection::ExportAllSlots);
}

KWinBridge::Channel::~Channel()
{
    if (m_thread.isRunning()) {
        m_connection.unregisterObject(bridgePath);
        QMetaObject::invokeMethod(this, [this] {
            delete m_idle;
            m_idle = nullptr;
            moveToThread(nullptr);
        }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    QDBusConnection::disconnectFromBus(m_connection.name());
}

void KWinBridge::Channel::post(const QJsonObject& request)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(request);
    }
    QMetaObject::invokeMethod(this, &Channel::flush, Qt::QueuedConnection);
}

void KWinBridge::Channel::quit() { post({{QStringLiteral("op"), QStringLiteral("quit")}, {QStringLiteral("id"), -1}}); }

void KWinBridge::Channel::expect(int id)
{
    std::lock_guard lock(m_mutex);
    m_waiting.insert(id);
}

void KWinBridge::Channel::forget(int id)
{
    std::lock_guard lock(m_mutex);
    m_waiting.erase(id);
    m_answers.erase(id);
}

std::optional<QJsonValue> KWinBridge::Channel::wait(int id, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    const bool came = m_answered.wait_for(lock, timeout, [&] { return m_answers.contains(id); });
    m_waiting.erase(id);
    if (!came)
        return std::nullopt;
    QJsonValue result = m_answers[id];
    m_answers.erase(id);
    return result;
}

bool KWinBridge::Channel::asking() const
{
    std::lock_guard lock(m_mutex);
    return m_asked;
}

QString KWinBridge::Channel::Next(const QString& answer)
{
    take(answer);
    setDelayedReply(true);
    {
        std::lock_guard lock(m_mutex);
        m_ask = message();
        m_asked = true;
    }
    flush();
    return {};
}

void KWinBridge::Channel::Answer(const QString& answer) { take(answer); }

void KWinBridge::Channel::take(const QString& answer)
{
    const QJsonObject o = QJsonDocument::fromJson(answer.toUtf8()).object();
    const int id = o.value(QLatin1String("id")).toInt(-1);
    if (id < 0)
        return;
    const QJsonValue result = o.value(QLatin1String("result"));
    {
        std::lock_guard lock(m_mutex);
        if (m_waiting.contains(id)) {
            m_answers[id] = result;
            m_answered.notify_all();
            return;
        }
    }
    if (deliver)
        deliver(id, result);
}

void KWinBridge::Channel::flush()
{
    QDBusMessage ask;
    QJsonObject request;
    {
        std::lock_guard lock(m_mutex);
        if (!m_ask || m_queue.empty())
            return;
        ask = *m_ask;
        m_ask.reset();
        request = m_queue.front();
        m_queue.pop_front();
    }
    m_connection.send(ask.createReply(QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact))));
}

KWinBridge::KWinBridge()
    : m_context(std::make_unique<QObject>())
    , m_channel(std::make_unique<Channel>())
{
}

KWinBridge::~KWinBridge() { unload(); }

QString KWinBridge::scriptText(const QString& service)
{
    return QString::fromUtf8(kwinScriptSource).replace(QLatin1String("@QUANDREL_SERVICE@"), service);
}

std::unique_ptr<KWinBridge> KWinBridge::open(std::string* whyNot)
{
    std::unique_ptr<KWinBridge> bridge(new KWinBridge());
    if (!bridge->load(whyNot))
        return nullptr;
    return bridge;
}

bool KWinBridge::load(std::string* whyNot)
{
    const auto fail = [&](const QString& why) {
        if (whyNot)
            *whyNot = why.toStdString();
        return false;
    };
    if (m_channel->service().isEmpty())
        return fail(QStringLiteral("Quandrel cannot reach the D-Bus session bus."));
    QDBusConnection bus = m_channel->connection();
    if (!bus.interface()->isServiceRegistered(kwinService))
        return fail(QStringLiteral("KWin does not answer on the D-Bus session bus (org.kde.KWin)."));

    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    folder += QStringLiteral("/quandrel");
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    static std::atomic<int> loaded{0};
    m_pluginName = QStringLiteral("quandrel-%1-%2").arg(::getpid()).arg(loaded++);
    m_scriptPath = folder + QLatin1Char('/') + m_pluginName + QStringLiteral(".js");
    QSaveFile file(m_scriptPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(scriptText(m_channel->service()).toUtf8()) < 0 || !file.commit())
        return fail(QStringLiteral("Quandrel cannot write its KWin script to %1.").arg(m_scriptPath));

    m_channel->expect(0);
    const QDBusReply<int> id = bus.call(QDBusMessage::createMethodCall(kwinService, QStringLiteral("/Scripting"),
                                                                       QStringLiteral("org.kde.kwin.Scripting"),
                                                                       QStringLiteral("loadScript"))
                                        << m_scriptPath << m_pluginName);
    if (!id.isValid() || id.value() < 0) {
        m_channel->forget(0);
        return fail(QStringLiteral("KWin did not load Quandrel's script: %1").arg(id.error().message()));
    }
    // Started through Scripting.start, which runs every loaded script not yet running: KWin
    // 5.27 may hand out the id of a script still loaded, whose object path then names that one.
    const QDBusMessage started = bus.call(QDBusMessage::createMethodCall(kwinService, QStringLiteral("/Scripting"),
                                                                         QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("start")));
    const bool running = started.type() == QDBusMessage::ReplyMessage;
    if (!running || !m_channel->wait(0, std::chrono::seconds(5))) {
        unload();
        return fail(QStringLiteral("KWin loaded Quandrel's script, but it did not start."));
    }
    m_channel->deliver = [this](int id, QJsonValue result) {
        QMetaObject::invokeMethod(m_context.get(), [this, id, result] { finish(id, result); }, Qt::QueuedConnection);
    };
    if (const auto outputs = call({{QStringLiteral("op"), QStringLiteral("outputs")}}))
        m_version = outputs->toObject().value(QLatin1String("version")).toInt();
    qCInfo(lcKWin, "Quandrel's script runs in KWin %d as %s", m_version, qUtf8Printable(m_pluginName));
    return true;
}

void KWinBridge::unload()
{
    if (m_pluginName.isEmpty())
        return;
    m_channel->quit();
    m_channel->connection().call(QDBusMessage::createMethodCall(kwinService, QStringLiteral("/Scripting"),
                                                                QStringLiteral("org.kde.kwin.Scripting"),
                                                                QStringLiteral("unloadScript"))
                                 << m_pluginName);
    QFile::remove(m_scriptPath);
    m_pluginName.clear();
}

bool KWinBridge::alive() const { return !m_pluginName.isEmpty() && m_channel->asking(); }

std::optional<QJsonValue> KWinBridge::call(QJsonObject request, std::chrono::milliseconds timeout)
{
    if (m_pluginName.isEmpty())
        return std::nullopt;
    const int id = nextRequest++;
    request.insert(QStringLiteral("id"), id);
    m_channel->expect(id);
    m_channel->post(request);
    auto result = m_channel->wait(id, timeout);
    if (!result)
        qCWarning(lcKWin, "KWin did not answer Quandrel's request %s", qUtf8Printable(request.value(QLatin1String("op")).toString()));
    return result;
}

} // namespace quandrel::kwin

namespace quandrel::kwin {

void KWinBridge::send(QJsonObject request, std::function<void(std::optional<QJsonValue>)> answered, std::chrono::milliseconds timeout)
{
    if (m_pluginName.isEmpty()) {
        if (answered)
            answered(std::nullopt);
        return;
    }
    const int id = nextRequest++;
    request.insert(QStringLiteral("id"), id);
    m_pending[id] = std::move(answered);
    QTimer::singleShot(timeout, m_context.get(), [this, id] { finish(id, std::nullopt); });
    m_channel->post(request);
}

void KWinBridge::finish(int id, std::optional<QJsonValue> result)
{
    const auto pending = m_pending.find(id);
    if (pending == m_pending.end())
        return;
    auto answered = std::move(pending->second);
    m_pending.erase(pending);
    if (answered)
        answered(std::move(result));
}

} // namespace quandrel::kwin
