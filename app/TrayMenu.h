#pragma once

// The tray icon and its menu: every window action with its shortcut, the app bindings,
// Settings… and Quit. The menu is rebuilt from the current settings each time it opens.

#include <QObject>

class QMenu;
class QSystemTrayIcon;

namespace quandrel {

class AppController;

class TrayMenu : public QObject {
    Q_OBJECT
public:
    explicit TrayMenu(AppController& controller, QObject* parent = nullptr);
    ~TrayMenu() override;

    QMenu* menu() const { return m_menu; }
    // Fills the menu from the controller's current state.
    void rebuild();

private:
    AppController& m_controller;
    QMenu* m_menu = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
};

} // namespace quandrel
