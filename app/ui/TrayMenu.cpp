#include "TrayMenu.h"

#include "AppController.h"
#include "OwnWindows.h"
#include "Symbols.h"
#include "TrayMenuModel.h"

#include <QApplication>
#include <QMenu>
#include <QPalette>
#include <QSystemTrayIcon>
#include <QTimer>

namespace quandrel {

TrayMenu::TrayMenu(AppController& controller, std::function<bool()> hasPins, QObject* parent)
    : QObject(parent)
    , m_controller(controller)
    , m_hasPins(std::move(hasPins))
    , m_menu(new QMenu)
{
    connect(m_menu, &QMenu::aboutToShow, this, &TrayMenu::rebuild);
    connect(&controller.store(), &SettingsStore::settingsChanged, this, &TrayMenu::rebuild);
    connect(&controller.permissions(), &PermissionMonitor::changed, this, &TrayMenu::rebuild);
    connect(&controller, &AppController::failedActionsChanged, this, &TrayMenu::rebuild);
    connect(&controller.updater(), &ostry::Updater::stateChanged, this, &TrayMenu::rebuild);
    rebuild();
}

TrayMenu::~TrayMenu() { delete m_menu; }

void TrayMenu::showIcon()
{
    if (m_tray)
        return;
    m_tray = new QSystemTrayIcon(this);
    updateIcon();
    m_tray->setToolTip(QStringLiteral("Quandrel"));
    m_tray->setContextMenu(m_menu);
    // The icon has no other action: a left click opens the menu as a right click does.
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_menu->popup(QCursor::pos());
    });
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qInfo("No system tray is available: Quandrel keeps running and takes its commands from shortcuts and quandrel:// URLs.");
    m_tray->show();
}

void TrayMenu::updateIcon()
{
    if (!m_tray)
        return;
    const auto rgb = m_controller.platform().ownWindows->trayForeground();
    const auto foreground = rgb ? std::optional<QColor>(QColor(QRgb(*rgb))) : std::nullopt;
    const ui::TrayIconVariant variant = ui::trayIconVariant(foreground, QApplication::palette().color(QPalette::WindowText));
    if (m_iconVariant == variant)
        return;
    m_iconVariant = variant;
    m_tray->setIcon(ui::trayIcon(variant));
    qInfo("Tray icon: the %s drawing (%s).", variant == ui::TrayIconVariant::light ? "light" : "dark",
          foreground ? qPrintable(QStringLiteral("the tray's colour %1").arg(foreground->name())) : "from the palette");
}

void TrayMenu::setCheckForUpdates(std::function<void()> check)
{
    m_checkForUpdates = std::move(check);
    rebuild();
}

void TrayMenu::rebuild()
{
    const std::set<Command>& taken = m_controller.failedActions();
    const auto updatedBy = m_checkForUpdates ? std::nullopt : m_controller.updater().updatedBy();
    auto model = trayMenuModel({m_controller.store().settings(), taken, m_hasPins && m_hasPins(), m_controller.permissions().allGranted(),
                                m_checkForUpdates || m_controller.updater().canCheckForUpdates(),
                                updatedBy ? ostry::Updater::updatedByText(*updatedBy) : QString()});
    const QColor text = m_menu->palette().color(QPalette::WindowText);
    if (text != m_shownText)
        updateIcon();
    if (model == m_shown && text == m_shownText && !m_menu->isEmpty())
        return;
    // clear() removes actions but not the submenus made for them; those go here, or every
    // rebuild would leave two menus behind.
    m_menu->clear();
    for (QMenu* submenu : m_menu->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly))
        delete submenu;
    fill(m_menu, model);
    m_shown = std::move(model);
    m_shownText = text;
}

void TrayMenu::fill(QMenu* menu, const std::vector<TrayMenuEntry>& entries)
{
    const QColor text = menu->palette().color(QPalette::WindowText);
    for (const TrayMenuEntry& entry : entries) {
        switch (entry.kind) {
        case TrayMenuEntry::Kind::divider:
            menu->addSeparator();
            continue;
        case TrayMenuEntry::Kind::submenu:
            fill(menu->addMenu(entry.title), entry.children);
            continue;
        case TrayMenuEntry::Kind::item:
            break;
        }
        QString title = entry.title;
        if (entry.shortcutTaken)
            title += tr(" (shortcut taken)");
        // A global shortcut is no key of the menu's: it is shown in the menu's shortcut column
        // (the text after the tab), named as everywhere else.
        if (entry.shortcut)
            title += QLatin1Char('\t') + QString::fromStdString(displayText(*entry.shortcut, m_controller.platform().keyboardLayout));
        QAction* item = menu->addAction(title);
        item->setEnabled(entry.enabled);
        if (!entry.symbol.isEmpty())
            item->setIcon(ui::symbolIcon(entry.symbol, text));
        if (entry.ownKeys) {
            item->setShortcut(*entry.ownKeys);
            // Shown in the menu only; the menu itself does the work.
            item->setShortcutContext(Qt::WidgetShortcut);
        }
        if (entry.shortcutTaken) {
            item->setIcon(ui::symbolIcon(QStringLiteral("exclamationmark.triangle"), text));
            item->setToolTip(tr("Another program holds this shortcut."));
        }
        item->setEnabled(entry.enabled);
        if (entry.action == TrayMenuEntry::Action::quit) {
            connect(item, &QAction::triggered, qApp, &QApplication::quit);
            continue;
        }
        if (entry.action == TrayMenuEntry::Action::checkForUpdates) {
            connect(item, &QAction::triggered, this, [this] {
                if (m_checkForUpdates)
                    m_checkForUpdates();
                else
                    m_controller.checkForUpdates();
            });
            continue;
        }
        if (entry.action == TrayMenuEntry::Action::grantPermissions) {
            connect(item, &QAction::triggered, &m_controller, [controller = &m_controller] { controller->showOnboarding(); });
            continue;
        }
        connect(item, &QAction::triggered, this, [this, command = *entry.command, delay = entry.delay] {
            QTimer::singleShot(delay, &m_controller, [controller = &m_controller, command] { controller->perform(command); });
        });
    }
    menu->setToolTipsVisible(true);
}

} // namespace quandrel
