#pragma once

// What the settings and welcome windows work with, and nothing more: the store, what Quandrel
// may do on this desktop, the hot keys to release while a shortcut is recorded, the shortcuts
// another program holds, and the platform's bell, grabs and keyboard layout. The controller
// makes it; the windows never see the controller itself.

#include "Command.h"
#include "PermissionMonitor.h"
#include "PlatformServices.h"
#include "SettingsModel.h"
#include "SettingsStore.h"

#include <QObject>

#include <functional>
#include <map>
#include <set>

namespace quandrel {

// While a shortcut is being recorded no hot key is active; resuming registers the bindings
// of the latest settings.
class HotKeySuspension {
public:
    virtual void suspendHotKeys() = 0;
    virtual void resumeHotKeys() = 0;

protected:
    ~HotKeySuspension() = default;
};

// The commands whose hot keys could not be registered (another program holds them).
class FailedShortcuts : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    const std::set<Command>& commands() const { return m_commands; }
    bool contains(const Command& command) const { return m_commands.contains(command); }
    // Who holds a failed command's combination, where the desktop names it; empty otherwise.
    QString holderOf(const Command& command) const
    {
        const auto holder = m_holders.find(command);
        return holder == m_holders.end() ? QString() : holder->second;
    }
    // Announces a different set once.
    void set(std::set<Command> commands, std::map<Command, QString> holders = {})
    {
        if (commands == m_commands && holders == m_holders)
            return;
        m_commands = std::move(commands);
        m_holders = std::move(holders);
        Q_EMIT changed();
    }

Q_SIGNALS:
    void changed();

private:
    std::set<Command> m_commands;
    std::map<Command, QString> m_holders;
};

struct SettingsContext {
    SettingsStore& store;
    PermissionMonitor& permissions;
    HotKeySuspension& hotKeys;
    const FailedShortcuts& failed;
    PlatformServices platform;
    // The welcome window's button: onboarding done, its window closed, the poll ended.
    std::function<void()> completeOnboarding;
    // The settings window, on one tab.
    std::function<void(SettingsTab)> openSettings;
};

// Shows the settings to the person, and the welcome window that explains what Quandrel
// needs on this desktop.
class SettingsPresenter {
public:
    virtual ~SettingsPresenter() = default;
    virtual void showSettings() = 0;
    virtual void showSettingsTab(SettingsTab) { showSettings(); }
    virtual void showOnboarding() {}
    virtual void closeOnboarding() {}
    // The windows go, before the controller whose parts they use does.
    virtual void destroyWindows() {}
};

} // namespace quandrel
