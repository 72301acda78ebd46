#include "SettingsStore.h"

#include "ImageExport.h"

#include <QSettings>

namespace quandrel {

namespace {
const QString settingsKey = QStringLiteral("settings");
}

SettingsStore::SettingsStore(QSettings& domain, QObject* parent)
    : QObject(parent)
    , m_domain(domain)
    , m_settings(load())
{
}

QuandrelSettings SettingsStore::load() const
{
    const QVariant stored = m_domain.value(settingsKey);
    if (!stored.isValid())
        return {};
    const QByteArray bytes = stored.typeId() == QMetaType::QByteArray ? stored.toByteArray() : stored.toString().toUtf8();
    // An undecodable document is left in place until the next change overwrites it.
    return decodeSettings(bytes).value_or(QuandrelSettings{});
}

void SettingsStore::setSettings(const QuandrelSettings& settings)
{
    if (settings == m_settings)
        return;
    m_settings = settings;
    Q_EMIT settingsChanged();
    m_domain.setValue(settingsKey, QString::fromUtf8(encodeSettings(m_settings)));
    m_domain.sync();
    if (onChange)
        onChange(m_settings);
}

void SettingsStore::reload()
{
    m_domain.sync();
    adopt(load());
}

void SettingsStore::adopt(const QuandrelSettings& settings)
{
    if (settings == m_settings)
        return;
    m_settings = settings;
    Q_EMIT settingsChanged();
    if (onChange)
        onChange(m_settings);
}

QString SettingsStore::screenshotsFolder() const { return quandrel::screenshotsFolder(m_settings.saveFolderBookmark); }

} // namespace quandrel
