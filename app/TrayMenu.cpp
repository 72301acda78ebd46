#include "TrayMenu.h"

#include "AppController.h"
#include "Symbols.h"

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace quandrel {

namespace {

const std::vector<std::vector<WindowAction>> windowGroups = {
    {WindowAction::leftHalf, WindowAction::rightHalf, WindowAction::topHalf, WindowAction::bottomHalf},
    {WindowAction::topLeft, WindowAction::topRight, WindowAction::bottomLeft, WindowAction::bottomRight},
    {WindowAction::firstThird, WindowAction::centerThird, WindowAction::lastThird, WindowAction::firstTwoThirds, WindowAction::lastTwoThirds},
    {WindowAction::maximize, WindowAction::almostMaximize, WindowAction::maximizeHeight, WindowAction::center, WindowAction::smaller,
     WindowAction::larger, WindowAction::restore},
    {WindowAction::nextDisplay, WindowAction::previousDisplay},
};

QString qstr(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

void showShortcut(QAction* action, const std::optional<Shortcut>& shortcut, const KeyboardLayout* layout)
{
    if (!shortcut)
        return;
    if (const auto sequence = menuKeyEquivalent(*shortcut, layout)) {
        action->setShortcut(*sequence);
        // Shown in the menu only; the global hot key does the work.
        action->setShortcutContext(Qt::WidgetShortcut);
    }
}

} // namespace

TrayMenu::TrayMenu(AppController& controller, QObject* parent)
    : QObject(parent)
    , m_controller(controller)
    , m_menu(new QMenu)
{
    connect(m_menu, &QMenu::aboutToShow, this, &TrayMenu::rebuild);
    connect(&controller.store(), &SettingsStore::settingsChanged, this, &TrayMenu::rebuild);
    connect(&controller.permissions(), &PermissionMonitor::changed, this, &TrayMenu::rebuild);
    rebuild();

    m_tray = new QSystemTrayIcon(ui::applicationIcon(), this);
    m_tray->setToolTip(QStringLiteral("Quandrel"));
    m_tray->setContextMenu(m_menu);
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qInfo("No system tray is available: Quandrel keeps running and takes its commands from shortcuts and quandrel:// URLs.");
    m_tray->show();
}

TrayMenu::~TrayMenu() { delete m_menu; }

void TrayMenu::rebuild()
{
    m_menu->clear();
    const QuandrelSettings& settings = m_controller.store().settings();

    QMenu* window = m_menu->addMenu(QStringLiteral("Window"));
    bool firstGroup = true;
    for (const auto& group : windowGroups) {
        if (!firstGroup)
            window->addSeparator();
        firstGroup = false;
        for (const WindowAction a : group) {
            QAction* item = window->addAction(qstr(title(a)));
            const auto it = settings.windowShortcuts.find(a);
            showShortcut(item, it == settings.windowShortcuts.end() ? std::nullopt : std::optional(it->second), m_controller.platform().keyboardLayout);
            // Wait for the menu to close and the previous window to get the focus back.
            connect(item, &QAction::triggered, this, [this, a] {
                QTimer::singleShot(150, &m_controller, [controller = &m_controller, a] { controller->perform(WindowCommand{a}); });
            });
        }
    }

    if (!settings.appBindings.empty()) {
        m_menu->addSeparator();
        QMenu* apps = m_menu->addMenu(QStringLiteral("Apps"));
        for (const AppBinding& binding : settings.appBindings) {
            QAction* item = apps->addAction(QString::fromStdString(binding.name));
            showShortcut(item, binding.shortcut, m_controller.platform().keyboardLayout);
            connect(item, &QAction::triggered, this, [this, id = binding.desktopId] { m_controller.perform(AppCommand{id}); });
        }
    }

    m_menu->addSeparator();
    QAction* settingsItem = m_menu->addAction(QStringLiteral("Settings…"));
    settingsItem->setShortcut(QKeySequence(Qt::MetaModifier | Qt::Key_Comma));
    settingsItem->setShortcutContext(Qt::WidgetShortcut);
    connect(settingsItem, &QAction::triggered, this, [this] { m_controller.perform(OpenSettingsCommand{}); });

    m_menu->addSeparator();
    QAction* quit = m_menu->addAction(QStringLiteral("Quit Quandrel"));
    quit->setShortcut(QKeySequence(Qt::MetaModifier | Qt::Key_Q));
    quit->setShortcutContext(Qt::WidgetShortcut);
    connect(quit, &QAction::triggered, qApp, &QApplication::quit);
}

} // namespace quandrel
