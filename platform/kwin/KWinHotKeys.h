#pragma once

// Global shortcuts on Plasma through KDE's shortcut service (org.kde.kglobalaccel, served
// by KWin): Quandrel is one component, "quandrel", and each shortcut one of its actions,
// named by its command URL, so the user sees and may change them in Plasma's own Shortcuts
// settings too. Quandrel's settings stay the source: binding writes each combination over
// whatever is stored. A combination another component holds is taken (the log names the
// owner); presses arrive as the component's globalShortcutPressed signal.

#include "GlobalHotKeys.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>

namespace quandrel::kwin {

class KWinHotKeys final : public QObject, public GlobalHotKeys {
    Q_OBJECT

public:
    KWinHotKeys();
    ~KWinHotKeys() override;

    void bind(std::vector<HotKeyRequest> set, std::function<void(HotKeyStatuses)> answered) override;

    // The component and action holding a Qt key combination, as "Component: Action"; empty
    // when none does.
    QString ownerOf(int qtKey);
    std::string holderOf(std::uint32_t id) const override;

    static inline const QString component = QStringLiteral("quandrel");

private Q_SLOTS:
    void pressed(const QString& component, const QString& action, qlonglong timestamp);

private:
    void release();
    bool m_connected = false;
    std::map<QString, std::uint32_t> m_actions; // bound action → id
    std::map<std::uint32_t, std::string> m_holders; // taken id → who holds its combination
};

// The Qt key combination (key | modifiers, as KDE stores it) of a shortcut, from its key name
// in the current layout and its stored modifiers; none for keys Qt has no code for.
std::optional<int> qtKeyOf(const HotKeyRequest& request);

} // namespace quandrel::kwin
