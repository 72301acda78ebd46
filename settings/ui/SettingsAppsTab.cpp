// The Apps tab of the settings window: a row per app binding, and the chooser that adds
// installed applications.

#include "SettingsWindow.h"

#include "AppChooser.h"
#include "AppController.h"
#include "SettingsModel.h"
#include "SettingsWidgets.h"
#include "ShortcutRecorder.h"
#include "Symbols.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace quandrel {

using settingsui::qstr;
using settingsui::scrolling;
using settingsui::secondaryLabel;
using settingsui::section;

QWidget* SettingsWindow::appsTab()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* box = section(QStringLiteral("App Shortcuts"), page);
    auto* inner = new QVBoxLayout(box);
    inner->addWidget(secondaryLabel(QStringLiteral("Add an app, then give it a shortcut. The shortcut opens the app, brings it to the "
                                                   "front if it's already open, and hides it if it's already in front."),
                                    box));
    m_appRowsLayout = new QVBoxLayout;
    m_appRowsLayout->setSpacing(2);
    inner->addLayout(m_appRowsLayout);
    m_addApps = new QToolButton(box);
    m_addApps->setToolTip(QStringLiteral("Add applications"));
    m_addApps->setAccessibleName(QStringLiteral("Add applications"));
    m_addApps->setIconSize(QSize(16, 16));
    connect(m_addApps, &QToolButton::clicked, this, &SettingsWindow::openAppChooser);
    inner->addWidget(m_addApps, 0, Qt::AlignLeft);
    layout->addWidget(box);
    layout->addStretch(1);
    return scrolling(page, this);
}

std::optional<std::string> SettingsWindow::appName(const std::string& desktopId) const
{
    auto it = m_installed.find(desktopId);
    if (it == m_installed.end())
        it = m_installed.emplace(desktopId, m_catalog.findApplication(desktopId)).first;
    if (!it->second)
        return std::nullopt;
    return it->second->name;
}

void SettingsWindow::rebuildAppRows()
{
    const std::vector<AppBinding>& bindings = m_controller.store().settings().appBindings;
    bool same = bindings.size() == m_appRows.size();
    for (std::size_t i = 0; same && i < bindings.size(); ++i)
        same = bindings[i].desktopId == m_appRows[i].desktopId && bindings[i].name == m_appRows[i].name->text().toStdString();
    if (same)
        return;

    // Later: the row's own remove button may be what changed the list.
    for (AppRow& row : m_appRows) {
        m_recorders.erase(AppCommand{row.desktopId});
        row.row->hide();
        m_appRowsLayout->removeWidget(row.row);
        row.row->deleteLater();
    }
    m_appRows.clear();
    m_installed.clear();

    const QColor secondary = settingsui::secondaryColor(palette());
    for (const AppBinding& binding : bindings) {
        AppRow row;
        row.desktopId = binding.desktopId;
        row.row = new QWidget;
        auto* h = new QHBoxLayout(row.row);
        h->setContentsMargins(0, 2, 0, 2);
        row.icon = new QLabel(row.row);
        row.icon->setFixedSize(24, 24);
        appName(binding.desktopId);
        const auto& installed = m_installed[binding.desktopId];
        QIcon icon = installed ? settingsui::applicationIcon(installed->icon) : QIcon();
        if (icon.isNull())
            icon = ui::symbolIcon(QStringLiteral("questionmark.app"), secondary);
        row.icon->setPixmap(icon.pixmap(QSize(24, 24), devicePixelRatioF()));
        row.icon->setToolTip(QString::fromStdString(binding.desktopId) + (installed ? QString() : QStringLiteral(" (not installed)")));
        h->addWidget(row.icon);
        row.name = new QLabel(QString::fromStdString(binding.name), row.row);
        row.name->setMinimumWidth(120);
        h->addWidget(row.name, 1);
        row.recorder = addRecorder(AppCommand{binding.desktopId}, row.name->text(), row.row);
        h->addWidget(row.recorder);
        row.whenInFront = new QComboBox(row.row);
        for (const FrontmostBehavior b : allFrontmostBehaviors)
            row.whenInFront->addItem(qstr(label(b)));
        row.whenInFront->setToolTip(QStringLiteral("What the shortcut does when the app is already in front"));
        row.whenInFront->setAccessibleName(QStringLiteral("When %1 is in front").arg(row.name->text()));
        h->addWidget(new QLabel(QStringLiteral("When in front"), row.row));
        h->addWidget(row.whenInFront);
        const std::string id = binding.desktopId;
        connect(row.whenInFront, &QComboBox::currentIndexChanged, this, [this, id](int index) {
            if (m_refreshing || index < 0)
                return;
            edit([&](QuandrelSettings& s) {
                for (AppBinding& b : s.appBindings) {
                    if (b.desktopId == id)
                        b.whenFrontmost = allFrontmostBehaviors[std::size_t(index)];
                }
            });
        });
        row.remove = new QToolButton(row.row);
        row.remove->setAutoRaise(true);
        row.remove->setToolTip(QStringLiteral("Remove"));
        row.remove->setAccessibleName(QStringLiteral("Remove %1").arg(row.name->text()));
        row.remove->setIcon(ui::symbolIcon(QStringLiteral("minus.circle.fill"), secondary));
        connect(row.remove, &QToolButton::clicked, this, [this, id] {
            edit([&](QuandrelSettings& s) { std::erase_if(s.appBindings, [&](const AppBinding& b) { return b.desktopId == id; }); });
        });
        h->addWidget(row.remove);
        m_appRowsLayout->addWidget(row.row);
        m_appRows.push_back(row);
    }
}

AppChooser* SettingsWindow::appChooser() const { return m_chooser.data(); }

void SettingsWindow::openAppChooser()
{
    if (m_chooser) {
        m_chooser->raise();
        m_chooser->activateWindow();
        return;
    }
    std::set<std::string> bound;
    for (const AppBinding& b : m_controller.store().settings().appBindings)
        bound.insert(b.desktopId);
    m_chooser = new AppChooser(m_catalog.installedApplications(), bound, this);
    m_chooser->setAttribute(Qt::WA_DeleteOnClose);
    m_chooser->setWindowModality(Qt::WindowModal);
    connect(m_chooser, &QDialog::accepted, this, [this] {
        const auto chosen = m_chooser->chosen();
        edit([&](QuandrelSettings& s) { s.appBindings = addApplications(s.appBindings, chosen); });
    });
    m_chooser->open();
}

} // namespace quandrel
