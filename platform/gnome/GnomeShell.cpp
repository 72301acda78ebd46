#include "GnomeShell.h"

#include "GnomeShellSignals.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

#include <QCoroDBus>

#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcGnome, "quandrel.gnome", QtInfoMsg)

namespace quandrel::gnome {

namespace {

const QString service = QStringLiteral("org.quandrel.Shell");
const QString path = QStringLiteral("/org/quandrel/Shell");
const QString interface = QStringLiteral("org.quandrel.Shell");
constexpr int callTimeoutMs = 2000;
// The extension answers a placement within a second; this only covers a Shell that hangs.
constexpr int placementTimeoutMs = 3000;
constexpr double coordinateLimit = 1 << 20;

std::string text(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString().toStdString(); }

std::optional<Rect> rectOf(const QJsonValue& value)
{
    const QJsonArray a = value.toArray();
    if (a.size() != 4)
        return std::nullopt;
    for (const QJsonValue& v : a) {
        if (!v.isDouble())
            return std::nullopt;
    }
    return Rect{a[0].toDouble(), a[1].toDouble(), a[2].toDouble(), a[3].toDouble()};
}

} // namespace

int shellCoordinate(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::lround(std::clamp(value, -coordinateLimit, coordinateLimit)));
}

int shellSize(double value)
{
    if (std::isnan(value))
        return 1;
    return static_cast<int>(std::lround(std::clamp(value, 1.0, coordinateLimit)));
}

namespace {

std::optional<ShellWindow> windowFromJson(const QJsonValue& value)
{
    const QJsonObject o = value.toObject();
    const auto frame = rectOf(o.value(QLatin1String("frame")));
    const double id = o.value(QLatin1String("id")).toDouble(0);
    if (!frame || id <= 0)
        return std::nullopt;
    return ShellWindow{
        .id = static_cast<std::uint64_t>(id),
        .pid = o.value(QLatin1String("pid")).toInt(0),
        .appId = text(o, "appId"),
        .wmClass = text(o, "wmClass"),
        .wmClassInstance = text(o, "wmClassInstance"),
        .sandboxedAppId = text(o, "sandboxedAppId"),
        .gtkAppId = text(o, "gtkAppId"),
        .frame = *frame,
        .focused = o.value(QLatin1String("focused")).toBool(),
        .minimized = o.value(QLatin1String("minimized")).toBool(),
        .normal = o.value(QLatin1String("normal")).toBool(),
        .dialog = o.value(QLatin1String("dialog")).toBool(),
        .visible = o.value(QLatin1String("visible")).toBool(),
    };
}

} // namespace

std::optional<std::vector<ShellWindow>> windowsFromJson(const QJsonDocument& document)
{
    if (!document.isArray())
        return std::nullopt;
    std::vector<ShellWindow> windows;
    for (const QJsonValue& value : document.array()) {
        if (auto window = windowFromJson(value))
            windows.push_back(std::move(*window));
    }
    return windows;
}

std::optional<ShellFocus> focusFromJson(const QJsonDocument& document)
{
    if (!document.isObject() || !document.object().value(QLatin1String("displays")).isArray())
        return std::nullopt;
    const QJsonObject root = document.object();
    ShellFocus focus{windowFromJson(root.value(QLatin1String("focused"))), {}, windowFromJson(root.value(QLatin1String("window")))};
    for (const QJsonValue& value : root.value(QLatin1String("displays")).toArray()) {
        const QJsonObject o = value.toObject();
        const auto frame = rectOf(o.value(QLatin1String("frame")));
        if (!frame || frame->isEmpty())
            continue;
        const auto work = rectOf(o.value(QLatin1String("workArea")));
        const double scale = o.value(QLatin1String("scale")).toDouble(1);
        focus.displays.push_back({o.value(QLatin1String("primary")).toBool(),
                                  *frame,
                                  work && !work->intersected(*frame).isEmpty() ? work->intersected(*frame) : *frame,
                                  scale > 0 ? scale : 1});
    }
    return focus;
}

ShortcutSignal::ShortcutSignal(GnomeShell& shell)
    : m_shell(shell)
{
}

void ShortcutSignal::pressed(uint id)
{
    if (m_shell.onShortcutPressed)
        m_shell.onShortcutPressed(id);
}

GnomeShell::GnomeShell(QDBusConnection bus)
    : m_bus(std::move(bus))
    , m_context(std::make_unique<QObject>())
    , m_presses(std::make_unique<ShortcutSignal>(*this))
{
    qDBusRegisterMetaType<ShortcutEntry>();
    qDBusRegisterMetaType<ShellArea>();
    qDBusRegisterMetaType<QList<ShortcutEntry>>();
    m_bus.connect(service, path, interface, QStringLiteral("ShortcutPressed"), m_presses.get(), SLOT(pressed(uint)));
}

GnomeShell::~GnomeShell() = default;

ShellState GnomeShell::state()
{
    if (m_state == ShellState::ready && m_asked)
        return m_state;
    m_asked = true;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Handshake"));
    call << shellInterfaceVersion;
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, callTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        const std::uint32_t version = reply.arguments().front().toUInt();
        if (version == shellInterfaceVersion) {
            m_state = ShellState::ready;
            m_problem.clear();
        } else {
            // The extension answered with another version than it agreed to: say which side is older.
            m_state = version > shellInterfaceVersion ? ShellState::quandrelOutdated : ShellState::extensionOutdated;
            m_problem = m_state == ShellState::quandrelOutdated
                            ? "The Quandrel GNOME Shell extension is newer than Quandrel: update Quandrel."
                            : "The Quandrel GNOME Shell extension is older than Quandrel: update the extension.";
        }
        return m_state;
    }
    const QString error = reply.errorName();
    if (error == QLatin1String("org.freedesktop.DBus.Error.AccessDenied")) {
        m_state = ShellState::refused;
        m_problem = "The Quandrel GNOME Shell extension does not answer this copy of Quandrel (it answers the "
                    "copy that installed it).";
    } else if (error == QLatin1String("org.quandrel.Shell.Error.Version")) {
        const QString message = reply.errorMessage();
        m_state = message.endsWith(QLatin1String("update Quandrel.")) ? ShellState::quandrelOutdated : ShellState::extensionOutdated;
        m_problem = message.toStdString();
    } else {
        m_state = ShellState::missing;
        m_problem = "Arranging windows on GNOME needs the Quandrel GNOME Shell extension.";
        qCDebug(lcGnome, "The extension does not answer: %s %s", qUtf8Printable(error), qUtf8Printable(reply.errorMessage()));
    }
    return m_state;
}

void GnomeShell::keepForThisTurn()
{
    if (m_forgetQueued)
        return;
    m_forgetQueued = true;
    QMetaObject::invokeMethod(m_context.get(), [this] { forget(); }, Qt::QueuedConnection);
}

void GnomeShell::forget()
{
    m_windows.reset();
    m_focus.reset();
    m_forgetQueued = false;
}

std::optional<std::vector<ShellWindow>> GnomeShell::windows()
{
    if (m_windows)
        return m_windows;
    const QDBusMessage reply = m_bus.call(QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Windows")),
                                          QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qCWarning(lcGnome, "Cannot read the Shell's windows: %s", qUtf8Printable(reply.errorMessage()));
        m_asked = false;
        return std::nullopt;
    }
    m_windows = windowsFromJson(QJsonDocument::fromJson(reply.arguments().front().toString().toUtf8()));
    keepForThisTurn();
    return m_windows;
}

std::optional<ShellFocus> GnomeShell::focus()
{
    if (m_focus)
        return m_focus;
    const QDBusMessage reply = m_bus.call(QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Focus")),
                                          QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qCWarning(lcGnome, "Cannot read the Shell's focus and displays: %s", qUtf8Printable(reply.errorMessage()));
        m_asked = false;
        return std::nullopt;
    }
    m_focus = focusFromJson(QJsonDocument::fromJson(reply.arguments().front().toString().toUtf8()));
    keepForThisTurn();
    return m_focus;
}

std::optional<ShellWindow> GnomeShell::knownWindow(std::uint64_t id) const
{
    if (m_focus) {
        for (const auto* w : {&m_focus->window, &m_focus->focused}) {
            if (*w && (*w)->id == id)
                return *w;
        }
    }
    if (m_windows) {
        for (const ShellWindow& w : *m_windows) {
            if (w.id == id)
                return w;
        }
    }
    return std::nullopt;
}

void GnomeShell::place(std::uint64_t id, const Rect& frame, std::function<void(std::optional<ShellWindow>)> done)
{
    forget();
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Place"));
    call << QVariant::fromValue<qulonglong>(id)
         << QVariant::fromValue(ShellArea{shellCoordinate(frame.x), shellCoordinate(frame.y), shellSize(frame.width), shellSize(frame.height)});
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, placementTimeoutMs), m_context.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [this, done = std::move(done)](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        std::optional<ShellWindow> placed;
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            // The answer is this turn's view of the focus and the displays as well.
            forget();
            m_focus = focusFromJson(QJsonDocument::fromJson(reply.arguments().front().toString().toUtf8()));
            if (m_focus) {
                placed = m_focus->window;
                keepForThisTurn();
            }
        } else if (reply.errorName() != QLatin1String("org.quandrel.Shell.Error.NoWindow")) {
            qCWarning(lcGnome, "The Shell did not place a window: %s", qUtf8Printable(reply.errorMessage()));
        }
        if (done)
            done(std::move(placed));
    });
}

void GnomeShell::setShortcuts(const std::map<std::uint32_t, std::string>& shortcuts,
                              std::function<void(std::optional<ShortcutStatuses>)> done)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("SetShortcuts"));
    QList<ShortcutEntry> list;
    for (const auto& [id, accelerator] : shortcuts)
        list.push_back({uint(id), QString::fromStdString(accelerator)});
    call << QVariant::fromValue(list);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, callTimeoutMs), m_context.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [done = std::move(done)](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            qCWarning(lcGnome, "The Shell did not bind Quandrel's shortcuts: %s", qUtf8Printable(reply.errorMessage()));
            done(std::nullopt);
            return;
        }
        ShortcutStatuses statuses;
        const QDBusArgument arg = reply.arguments().front().value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            uint id = 0, status = 0;
            arg.beginStructure();
            arg >> id >> status;
            arg.endStructure();
            statuses[id] = status == 0 ? ShortcutStatus::bound : status == 1 ? ShortcutStatus::taken : ShortcutStatus::unsupported;
        }
        arg.endArray();
        done(std::move(statuses));
    });
}

QCoro::Task<GrabResult<ShellScreenshot>> GnomeShell::screenshot(std::vector<Rect> areas)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Screenshot"));
    QDBusArgument list;
    list.beginArray(QMetaType::fromType<ShellArea>());
    for (const Rect& r : areas)
        list << ShellArea{shellCoordinate(r.x), shellCoordinate(r.y), shellSize(r.width), shellSize(r.height)};
    list.endArray();
    call << QVariant::fromValue(list);
    const QDBusMessage reply = co_await m_bus.asyncCall(call, placementTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return GrabFailure{"The Quandrel GNOME Shell extension took no screenshot: " + reply.errorMessage().toStdString(),
                              WindowAccessError::refused};
    const QJsonObject o = QJsonDocument::fromJson(reply.arguments().front().toString().toUtf8()).object();
    ShellScreenshot shot;
    for (const QJsonValue& file : o.value(QLatin1String("files")).toArray())
        shot.files.push_back(file.toString().toStdString());
    const QJsonArray pointer = o.value(QLatin1String("pointer")).toArray();
    if (pointer.size() == 2)
        shot.pointer = Point{pointer[0].toDouble(), pointer[1].toDouble()};
    co_return shot;
}

QCoro::Task<GrabResult<std::string>> GnomeShell::windowScreenshot(std::uint64_t id)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("WindowScreenshot"));
    call << QVariant::fromValue<qulonglong>(id);
    const QDBusMessage reply = co_await m_bus.asyncCall(call, placementTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return GrabFailure{"The Quandrel GNOME Shell extension took no image of the window: " + reply.errorMessage().toStdString(),
                              reply.errorName() == QLatin1String("org.quandrel.Shell.Error.NoWindow") ? WindowAccessError::windowGone
                                                                                                      : WindowAccessError::refused};
    co_return reply.arguments().front().toString().toStdString();
}

std::optional<Point> GnomeShell::pointer()
{
    const QDBusMessage reply = m_bus.call(QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Pointer")),
                                          QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return std::nullopt;
    return Point{double(reply.arguments()[0].toInt()), double(reply.arguments()[1].toInt())};
}

void GnomeShell::arrangeOwnWindow(const std::string& mark, const std::string& role, const Rect& frame)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("ArrangeOwnWindow"));
    call << QString::fromStdString(mark) << QString::fromStdString(role) << shellCoordinate(frame.x) << shellCoordinate(frame.y)
         << shellSize(frame.width) << shellSize(frame.height);
    m_bus.asyncCall(call, callTimeoutMs);
}

bool GnomeShell::activate(std::uint64_t id)
{
    forget();
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Activate"));
    call << QVariant::fromValue<qulonglong>(id);
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, callTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() && reply.arguments().front().toBool();
}

bool GnomeShell::minimize(std::uint64_t id)
{
    forget();
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Minimize"));
    call << QVariant::fromValue<qulonglong>(id);
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, callTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() && reply.arguments().front().toBool();
}

} // namespace quandrel::gnome
