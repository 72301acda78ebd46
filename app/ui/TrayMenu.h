#pragma once

// The tray icon and its menu, drawn from the menu model (TrayMenuModel.h). The model is made
// again when the menu opens and whenever the settings, the taken shortcuts, the permissions
// or the updater change, and the menu is rebuilt only when what it shows differs: a download
// ticking or a gap being dragged leaves an open submenu alone.

#include "Symbols.h"
#include "TrayMenuModel.h"

#include <QColor>
#include <QObject>

#include <functional>
#include <optional>
#include <vector>

class QMenu;
class QSystemTrayIcon;

namespace quandrel {

class AppController;

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
    // Fills the menu from the controller's current state, when that shows something else.
    void rebuild();

private:
    void fill(QMenu* menu, const std::vector<TrayMenuEntry>& entries);
    // The tray icon's drawing for the tray's colours, or the palette's.
    void updateIcon();

    AppController& m_controller;
    std::function<bool()> m_hasPins;
    std::function<void()> m_checkForUpdates;
    QMenu* m_menu = nullptr;
    std::vector<TrayMenuEntry> m_shown;
    QColor m_shownText; // the symbols are drawn in the menu's text colour
    QSystemTrayIcon* m_tray = nullptr;
    std::optional<ui::TrayIconVariant> m_iconVariant;
};

} // namespace quandrel
