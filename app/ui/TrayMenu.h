#pragma once

// The tray icon and its menu, drawn from the menu model (TrayMenuModel.h) and rebuilt when it
// opens and whenever the settings, the taken shortcuts or the permissions change.

#include <QObject>

#include <functional>
#include <vector>

class QMenu;
class QSystemTrayIcon;

namespace quandrel {

class AppController;
struct TrayMenuEntry;

class TrayMenu : public QObject {
    Q_OBJECT
public:
    // `hasPins` tells whether pinned screenshots are open ("Close All Pins").
    explicit TrayMenu(AppController& controller, std::function<bool()> hasPins = {}, QObject* parent = nullptr);
    ~TrayMenu() override;

    QMenu* menu() const { return m_menu; }
    // Puts the icon in the tray (where there is one).
    void showIcon();
    // Replaces what "Check for Updates…" does (by default a check of the controller's updater,
    // offered while the updater is on and not already checking).
    void setCheckForUpdates(std::function<void()> check);
    // Fills the menu from the controller's current state.
    void rebuild();

private:
    void fill(QMenu* menu, const std::vector<TrayMenuEntry>& entries);

    AppController& m_controller;
    std::function<bool()> m_hasPins;
    std::function<void()> m_checkForUpdates;
    QMenu* m_menu = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
};

} // namespace quandrel
