#include "AppChooser.h"

#include "SettingsWidgets.h"
#include "Symbols.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quandrel {

namespace {
constexpr int indexRole = Qt::UserRole;
}

AppChooser::AppChooser(std::vector<InstalledApplication> applications, const std::set<std::string>& bound, QWidget* parent)
    : QDialog(parent)
    , m_applications(std::move(applications))
    , m_search(new QLineEdit(this))
    , m_list(new QListWidget(this))
{
    setWindowTitle(tr("Add Applications"));
    auto* layout = new QVBoxLayout(this);
    m_search->setPlaceholderText(tr("Search"));
    m_search->setAccessibleName(tr("Search applications"));
    m_search->setClearButtonEnabled(true);
    m_list->setSelectionMode(QAbstractItemView::MultiSelection);
    m_list->setIconSize(QSize(24, 24));
    m_list->setAccessibleName(tr("Installed applications"));
    m_list->setUniformItemSizes(true);
    layout->addWidget(new QLabel(tr("Choose the applications to give shortcuts. Click to select several."), this));
    layout->addWidget(m_search);
    layout->addWidget(m_list, 1);

    const QIcon fallback = ui::symbolIcon(QStringLiteral("questionmark.app"), settingsui::secondaryColor(palette()));
    for (std::size_t i = 0; i < m_applications.size(); ++i) {
        const InstalledApplication& app = m_applications[i];
        QIcon icon = settingsui::applicationIcon(app.icon);
        auto* item = new QListWidgetItem(icon.isNull() ? fallback : icon, QString::fromStdString(app.name), m_list);
        item->setData(indexRole, int(i));
        item->setToolTip(QString::fromStdString(app.desktopId));
        if (bound.contains(app.desktopId)) {
            item->setText(item->text() + tr(" (added)"));
            item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
        }
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_add = buttons->addButton(tr("Add"), QDialogButtonBox::AcceptRole);
    m_add->setDefault(true);
    m_add->setEnabled(false);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] { m_add->setEnabled(!m_list->selectedItems().isEmpty()); });
    connect(m_search, &QLineEdit::textChanged, this, &AppChooser::filter);
    resize(420, 480);
}

void AppChooser::filter(const QString& text)
{
    const QString needle = text.trimmed();
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        const InstalledApplication& app = m_applications[std::size_t(item->data(indexRole).toInt())];
        item->setHidden(!needle.isEmpty() && !item->text().contains(needle, Qt::CaseInsensitive)
                        && !QString::fromStdString(app.desktopId).contains(needle, Qt::CaseInsensitive));
    }
}

bool AppChooser::select(const std::string& desktopId)
{
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        if (m_applications[std::size_t(item->data(indexRole).toInt())].desktopId == desktopId) {
            if (!(item->flags() & Qt::ItemIsSelectable))
                return false;
            item->setSelected(true);
            return true;
        }
    }
    return false;
}

std::vector<InstalledApplication> AppChooser::chosen() const
{
    std::vector<InstalledApplication> apps;
    for (int row = 0; row < m_list->count(); ++row) {
        const QListWidgetItem* item = m_list->item(row);
        if (item->isSelected())
            apps.push_back(m_applications[std::size_t(item->data(indexRole).toInt())]);
    }
    return apps;
}

} // namespace quandrel
