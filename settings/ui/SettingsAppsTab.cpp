// The Apps tab of the settings window: a row per app binding, and the chooser that adds
// installed applications.

#include "SettingsWindow.h"

#include "AppChooser.h"
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

using settingsui::scrolling;
using settingsui::secondaryLabel;
using settingsui::section;

QWidget* SettingsWindow::appsTab()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* box = section(tr("App Shortcuts"), page);
    auto* inner = new QVBoxLayout(box);
    inner->addWidget(secondaryLabel(tr("Add an app, then give it a shortcut. The shortcut opens the app, brings it to the "
                                       "front if it's already open, and hides it if it's already in front."),
                                    box));
    auto* rows = new QWidget(box);
    rows->setObjectName(QStringLiteral("appRows"));
    m_appRowsLayout = new QVBoxLayout(rows);
    m_appRowsLayout->setContentsMargins(0, 0, 0, 0);
    m_appRowsLayout->setSpacing(2);
    inner->addWidget(rows);
    m_addApps = new QToolButton(box);
    m_addApps->setObjectName(QStringLiteral("addApps"));
    m_addApps->setToolTip(tr("Add applications"));
    m_addApps->setAccessibleName(tr("Add applications"));
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

void SettingsWindow::refreshApps(const QuandrelSettings& s)
{
    rebuildAppRows(s.appBindings);
    for (std::size_t i = 0; i < m_appRows.size(); ++i) {
        const auto at = std::find(allFrontmostBehaviors.begin(), allFrontmostBehaviors.end(), s.appBindings[i].whenFrontmost);
        m_appRows[i].whenInFront->setCurrentIndex(int(at - allFrontmostBehaviors.begin()));
    }
}

void SettingsWindow::rebuildAppRows(const std::vector<AppBinding>& bindings)
{
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
        row.row->setObjectName(QStringLiteral("appRow:") + QString::fromStdString(binding.desktopId));
        auto* h = new QHBoxLayout(row.row);
        h->setContentsMargins(0, 2, 0, 2);
        auto* icon = new QLabel(row.row);
        icon->setObjectName(QStringLiteral("icon"));
        icon->setFixedSize(24, 24);
        appName(binding.desktopId);
        const auto& installed = m_installed[binding.desktopId];
        QIcon image = installed ? settingsui::applicationIcon(installed->icon) : QIcon();
        if (image.isNull())
            image = ui::symbolIcon(QStringLiteral("questionmark.app"), secondary);
        icon->setPixmap(image.pixmap(QSize(24, 24), devicePixelRatioF()));
        icon->setToolTip(QString::fromStdString(binding.desktopId) + (installed ? QString() : tr(" (not installed)")));
        h->addWidget(icon);
        row.name = new QLabel(QString::fromStdString(binding.name), row.row);
        row.name->setObjectName(QStringLiteral("name"));
        row.name->setMinimumWidth(100);
        h->addWidget(row.name, 1);
        h->addWidget(addRecorder(AppCommand{binding.desktopId}, row.name->text(), row.row));
        row.whenInFront = new QComboBox(row.row);
        row.whenInFront->setObjectName(QStringLiteral("whenInFront"));
        for (const FrontmostBehavior b : allFrontmostBehaviors)
            row.whenInFront->addItem(displayLabel(b));
        row.whenInFront->setToolTip(tr("What the shortcut does when the app is already in front"));
        row.whenInFront->setAccessibleName(tr("When %1 is in front").arg(row.name->text()));
        h->addWidget(new QLabel(tr("When in front"), row.row));
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
        row.remove->setObjectName(QStringLiteral("remove"));
        row.remove->setAutoRaise(true);
        row.remove->setToolTip(tr("Remove"));
        row.remove->setAccessibleName(tr("Remove %1").arg(row.name->text()));
        row.remove->setIcon(ui::symbolIcon(QStringLiteral("minus.circle.fill"), secondary));
        connect(row.remove, &QToolButton::clicked, this, [this, id] {
            edit([&](QuandrelSettings& s) { std::erase_if(s.appBindings, [&](const AppBinding& b) { return b.desktopId == id; }); });
        });
        h->addWidget(row.remove);
        m_appRowsLayout->addWidget(row.row);
        m_appRows.push_back(row);
    }
}

void SettingsWindow::openAppChooser()
{
    if (m_chooser) {
        m_chooser->raise();
        m_chooser->activateWindow();
        return;
    }
    std::set<std::string> bound;
    for (const AppBinding& b : m_context.store.settings().appBindings)
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
