// The General tab of the settings window: the login item, what Quandrel may do on this
// desktop, the updater's section and the version.

#include "SettingsWindow.h"

#include "LoginItem.h"
#include "SettingsModel.h"
#include "SettingsWidgets.h"
#include "Symbols.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace quandrel {

using settingsui::scrolling;
using settingsui::section;

QWidget* SettingsWindow::generalTab(const SettingsSectionFactory& updates)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    m_login = new QCheckBox(tr("Open Quandrel at login"), page);
    m_login->setObjectName(QStringLiteral("loginSwitch"));
    m_login->setAccessibleName(m_login->text());
    connect(m_login, &QCheckBox::toggled, this, [this](bool on) {
        if (m_refreshing)
            return;
        if (const auto error = LoginItem::setEnabled(on, QCoreApplication::applicationFilePath()))
            qWarning("%s", qUtf8Printable(*error));
        // The switch shows what is registered, also when that failed.
        const QSignalBlocker block(m_login);
        m_login->setChecked(LoginItem::isEnabled());
    });
    layout->addWidget(m_login);

    auto* permissions = section(tr("Permissions"), page);
    auto* rows = new QVBoxLayout(permissions);
    const auto checkAgain = [this] { m_context.permissions.refresh(); };
    const PermissionText control = windowControlText();
    const PermissionText screen = screenReadingText();
    m_windowControl = new settingsui::PermissionRow(control.title, control.settingsDetail, control.missing, checkAgain, permissions);
    m_screenReading = new settingsui::PermissionRow(screen.title, screen.settingsDetail, screen.missing, checkAgain, permissions);
    rows->addWidget(m_windowControl);
    rows->addWidget(m_screenReading);
    layout->addWidget(permissions);

    if (updates) {
        auto* box = section(tr("Updates"), page);
        auto* inner = new QVBoxLayout(box);
        if (QWidget* content = updates(box))
            inner->addWidget(content);
        layout->addWidget(box);
    }

    // The About line: the application's icon and name, and the version.
    auto* version = new QHBoxLayout;
    auto* icon = new QLabel(page);
    icon->setObjectName(QStringLiteral("applicationIcon"));
    icon->setPixmap(ui::applicationIcon().pixmap(QSize(32, 32), devicePixelRatioF()));
    version->addWidget(icon);
    version->addWidget(new QLabel(QStringLiteral("Quandrel"), page));
    version->addStretch(1);
    version->addWidget(new QLabel(tr("Version"), page));
    const QString number = QCoreApplication::applicationVersion();
    auto* versionText = new QLabel(number.isEmpty() ? QStringLiteral("unknown") : number, page);
    versionText->setObjectName(QStringLiteral("version"));
    versionText->setAccessibleName(tr("Version"));
    versionText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    version->addWidget(versionText);
    layout->addLayout(version);
    layout->addStretch(1);
    return scrolling(page, this);
}

void SettingsWindow::refreshGeneral()
{
    m_login->setChecked(LoginItem::isEnabled());
    m_windowControl->setGranted(m_context.permissions.windowControlAllowed());
    m_screenReading->setGranted(m_context.permissions.screenReadingAllowed());
}

} // namespace quandrel
