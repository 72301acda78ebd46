#include "UpdatesSection.h"

#include "Updater.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace ostry {

QString lastCheckedText(const Updater& updater)
{
    const auto date = updater.lastCheckDate();
    if (!date)
        return QCoreApplication::translate("UpdatesSection", "Never");
    return QLocale().toString(date->toLocalTime(), QLocale::ShortFormat);
}

std::unique_ptr<QWidget> makeUpdatesSection(Updater& updater, QWidget* parent)
{
    auto section = std::make_unique<QWidget>(parent);
    auto* checks = new QCheckBox(QCoreApplication::translate("UpdatesSection", "Automatically check for updates"));
    checks->setObjectName(QStringLiteral("automaticallyChecks"));
    auto* installs = new QCheckBox(QCoreApplication::translate("UpdatesSection", "Automatically download and install updates"));
    installs->setObjectName(QStringLiteral("automaticallyInstalls"));
    auto* lastChecked = new QLabel;
    lastChecked->setObjectName(QStringLiteral("lastChecked"));
    auto* checkNow = new QPushButton(QCoreApplication::translate("UpdatesSection", "Check Now"));
    checkNow->setObjectName(QStringLiteral("checkNow"));

    auto* row = new QHBoxLayout;
    row->addWidget(lastChecked, 1);
    row->addWidget(checkNow);
    auto* layout = new QVBoxLayout(section.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(checks);
    layout->addWidget(installs);
    layout->addLayout(row);

    QWidget* owner = section.get();
    auto refresh = [&updater, checks, installs, lastChecked, checkNow] {
        const QSignalBlocker quietChecks(checks);
        const QSignalBlocker quietInstalls(installs);
        checks->setChecked(updater.automaticallyChecks());
        installs->setChecked(updater.automaticallyInstalls());
        checks->setEnabled(updater.isEnabled());
        installs->setEnabled(updater.isEnabled());
        lastChecked->setText(QCoreApplication::translate("UpdatesSection", "Last checked: %1").arg(lastCheckedText(updater)));
        checkNow->setEnabled(updater.canCheckForUpdates());
    };
    QObject::connect(checks, &QCheckBox::toggled, &updater, &Updater::setAutomaticallyChecks);
    QObject::connect(installs, &QCheckBox::toggled, &updater, &Updater::setAutomaticallyInstalls);
    QObject::connect(checkNow, &QPushButton::clicked, &updater, [&updater] { updater.beginCheckForUpdates(ostry::Initiator::user); });
    for (auto signal : {&Updater::stateChanged, &Updater::lastCheckDateChanged, &Updater::automaticallyChecksChanged,
                        &Updater::automaticallyInstallsChanged})
        QObject::connect(&updater, signal, owner, refresh);
    refresh();
    if (const auto keeper = updater.updatedBy()) {
        // Nothing here can change how this copy is updated: the section says who does it.
        for (QWidget* control : std::initializer_list<QWidget*>{checks, installs, lastChecked, checkNow})
            control->hide();
        auto* updatedBy = new QLabel(Updater::updatedByText(*keeper) + QLatin1Char('.'));
        updatedBy->setObjectName(QStringLiteral("updatedBy"));
        auto* how = new QLabel(*keeper == DistributionGuard::Reason::packageManager
                                   ? QCoreApplication::translate("UpdatesSection", "New versions of %1 come with your system's other updates.")
                                         .arg(updater.configuration().appName)
                                   : QCoreApplication::translate("UpdatesSection", "New versions of %1 come from the store it was installed from.")
                                         .arg(updater.configuration().appName));
        how->setWordWrap(true);
        how->setForegroundRole(QPalette::PlaceholderText);
        layout->insertWidget(0, updatedBy);
        layout->insertWidget(1, how);
    } else if (!updater.isEnabled())
        section->setToolTip(QCoreApplication::translate("UpdatesSection", "This copy of %1 is kept up to date by whoever installed it.")
                                .arg(updater.configuration().appName));
    return section;
}

} // namespace ostry
