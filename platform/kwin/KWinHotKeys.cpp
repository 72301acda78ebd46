#include "KWinHotKeys.h"

#include "KeyCodes.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QKeySequence>
#include <QLoggingCategory>

#include <set>

Q_DECLARE_LOGGING_CATEGORY(lcKWin)

namespace quandrel::kwin {

namespace {

const QString service = QStringLiteral("org.kde.kglobalaccel");
const QString friendlyComponent = QStringLiteral("Quandrel");
// KGlobalAccel's setShortcut flags: the action is present, and the keys given replace what
// is stored.
constexpr uint setPresent = 2;
constexpr uint noAutoloading = 4;

QDBusMessage accel(const QString& method)
{
    return QDBusMessage::createMethodCall(service, QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel"), method);
}

QStringList actionId(const QString& action) { return {KWinHotKeys::component, action, friendlyComponent, action}; }

// xkb key names Qt spells otherwise, or not at all.
const std::map<QString, int>& namedKeys()
{
    static const std::map<QString, int> keys = {
        {QStringLiteral("Left"), Qt::Key_Left}, {QStringLiteral("Right"), Qt::Key_Right}, {QStringLiteral("Up"), Qt::Key_Up},
        {QStringLiteral("Down"), Qt::Key_Down}, {QStringLiteral("Return"), Qt::Key_Return}, {QStringLiteral("KP_Enter"), Qt::Key_Enter},
        {QStringLiteral("Escape"), Qt::Key_Escape}, {QStringLiteral("space"), Qt::Key_Space}, {QStringLiteral("Tab"), Qt::Key_Tab},
        {QStringLiteral("BackSpace"), Qt::Key_Backspace}, {QStringLiteral("Delete"), Qt::Key_Delete}, {QStringLiteral("Insert"), Qt::Key_Insert},
        {QStringLiteral("Home"), Qt::Key_Home}, {QStringLiteral("End"), Qt::Key_End}, {QStringLiteral("Prior"), Qt::Key_PageUp},
        {QStringLiteral("Page_Up"), Qt::Key_PageUp}, {QStringLiteral("Next"), Qt::Key_PageDown}, {QStringLiteral("Page_Down"), Qt::Key_PageDown},
        {QStringLiteral("Print"), Qt::Key_Print}, {QStringLiteral("Pause"), Qt::Key_Pause}, {QStringLiteral("Scroll_Lock"), Qt::Key_ScrollLock},
        {QStringLiteral("Menu"), Qt::Key_Menu}, {QStringLiteral("minus"), Qt::Key_Minus}, {QStringLiteral("equal"), Qt::Key_Equal},
        {QStringLiteral("plus"), Qt::Key_Plus}, {QStringLiteral("bracketleft"), Qt::Key_BracketLeft},
        {QStringLiteral("bracketright"), Qt::Key_BracketRight}, {QStringLiteral("semicolon"), Qt::Key_Semicolon},
        {QStringLiteral("apostrophe"), Qt::Key_Apostrophe}, {QStringLiteral("comma"), Qt::Key_Comma}, {QStringLiteral("period"), Qt::Key_Period},
        {QStringLiteral("slash"), Qt::Key_Slash}, {QStringLiteral("backslash"), Qt::Key_Backslash}, {QStringLiteral("grave"), Qt::Key_QuoteLeft},
    };
    return keys;
}

} // namespace

std::optional<int> qtKeyOf(const HotKeyRequest& request)
{
    const QString name = QString::fromStdString(request.keyName);
    if (name.isEmpty())
        return std::nullopt;
    int key = 0;
    if (const auto named = namedKeys().find(name); named != namedKeys().end())
        key = named->second;
    else if (name.size() == 1 && name.at(0).isLetterOrNumber() && name.at(0).unicode() < 0x80)
        key = name.at(0).toUpper().unicode();
    else if (name.size() >= 2 && name.at(0) == QLatin1Char('F') && name.mid(1).toInt() >= 1 && name.mid(1).toInt() <= 35)
        key = Qt::Key_F1 + name.mid(1).toInt() - 1;
    else if (const QKeySequence sequence = QKeySequence::fromString(name, QKeySequence::PortableText); sequence.count() == 1
             && !(sequence[0].keyboardModifiers() & Qt::KeyboardModifierMask))
        key = sequence[0].key();
    if (!key)
        return std::nullopt;
    const std::uint32_t m = request.modifierMask;
    if (m & modifier::control)
        key |= Qt::CTRL;
    if (m & modifier::shift)
        key |= Qt::SHIFT;
    if (m & modifier::alt)
        key |= Qt::ALT;
    if (m & modifier::super)
        key |= Qt::META;
    return key;
}

KWinHotKeys::KWinHotKeys() = default;

KWinHotKeys::~KWinHotKeys() { release(); }

QString KWinHotKeys::ownerOf(int qtKey)
{
    const QDBusReply<QStringList> owner = QDBusConnection::sessionBus().call(accel(QStringLiteral("action")) << qtKey);
    if (!owner.isValid() || owner.value().size() < 4 || owner.value().at(0).isEmpty())
        return {};
    const QStringList& id = owner.value();
    return (id.at(2).isEmpty() ? id.at(0) : id.at(2)) + QStringLiteral(": ") + (id.at(3).isEmpty() ? id.at(1) : id.at(3));
}

void KWinHotKeys::release()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    for (const auto& [action, id] : m_actions) {
        bus.call(accel(QStringLiteral("setShortcut")) << actionId(action) << QVariant::fromValue(QList<int>()) << (setPresent | noAutoloading));
        bus.call(accel(QStringLiteral("unregister")) << component << action);
    }
    m_actions.clear();
}

void KWinHotKeys::bind(std::vector<HotKeyRequest> set, std::function<void(HotKeyStatuses)> answered)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    release();
    m_holders.clear();
    HotKeyStatuses statuses;
    std::set<int> used;
    for (const HotKeyRequest& request : set) {
        const auto key = qtKeyOf(request);
        if (!key) {
            statuses[request.id] = HotKeyStatus::unsupported;
            continue;
        }
        if (!used.insert(*key).second) {
            statuses[request.id] = HotKeyStatus::taken;
            continue;
        }
        if (const QString owner = ownerOf(*key); !owner.isEmpty()) {
            qCInfo(lcKWin, "%s is Plasma's shortcut for %s", qUtf8Printable(QKeySequence(*key).toString()), qUtf8Printable(owner));
            statuses[request.id] = HotKeyStatus::taken;
            m_holders[request.id] = owner.toStdString();
            continue;
        }
        const QString action = QString::fromStdString(request.commandURL);
        bus.call(accel(QStringLiteral("doRegister")) << actionId(action));
        const QDBusReply<QList<int>> keys = bus.call(accel(QStringLiteral("setShortcut")) << actionId(action)
                                                                                          << QVariant::fromValue(QList<int>{*key})
                                                                                          << (setPresent | noAutoloading));
        if (keys.isValid() && keys.value().contains(*key)) {
            m_actions[action] = request.id;
            statuses[request.id] = HotKeyStatus::bound;
        } else {
            bus.call(accel(QStringLiteral("unregister")) << component << action);
            statuses[request.id] = HotKeyStatus::taken;
        }
    }
    if (!m_connected && !m_actions.empty()) {
        const QDBusReply<QDBusObjectPath> path = bus.call(accel(QStringLiteral("getComponent")) << component);
        if (path.isValid())
            m_connected = bus.connect(service, path.value().path(), QStringLiteral("org.kde.kglobalaccel.Component"),
                                      QStringLiteral("globalShortcutPressed"), this, SLOT(pressed(QString, QString, qlonglong)));
    }
    if (answered)
        answered(std::move(statuses));
}

std::string KWinHotKeys::holderOf(std::uint32_t id) const
{
    const auto holder = m_holders.find(id);
    return holder == m_holders.end() ? std::string() : holder->second;
}

void KWinHotKeys::pressed(const QString& pressedComponent, const QString& action, qlonglong)
{
    if (pressedComponent != component)
        return;
    const auto bound = m_actions.find(action);
    if (bound != m_actions.end() && onPressed)
        onPressed(bound->second);
}

} // namespace quandrel::kwin
