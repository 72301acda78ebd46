#include "SettingsStore.h"

#include "ImageExport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSaveFile>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcSettings, "quandrel.settings", QtInfoMsg)

namespace quandrel {

QString SettingsStore::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Quandrel/settings.json");
}

SettingsStore::SettingsStore(QString path, std::optional<QByteArray> legacyDocument, QObject* parent)
    : QObject(parent)
    , m_path(std::move(path))
{
    if (!QFileInfo::exists(m_path) && legacyDocument) {
        if (const auto legacy = decodeSettings(*legacyDocument)) {
            m_settings = *legacy;
            if (save())
                qCInfo(lcSettings, "Settings moved to %s", qUtf8Printable(m_path));
            return;
        }
    }
    m_settings = load();
}

QuandrelSettings SettingsStore::load()
{
    m_refusal.reset();
    QFile file(m_path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        m_refusal = QStringLiteral("cannot be read: %1").arg(file.errorString());
    } else {
        auto decoded = decodeSettingsDocument(file.readAll());
        if (auto* settings = std::get_if<QuandrelSettings>(&decoded))
            return std::move(*settings);
        m_refusal = std::get<SettingsError>(decoded).message;
    }
    qCWarning(lcSettings, "Settings in %s refused (%s); the defaults apply. The file is kept beside when settings next change.",
              qUtf8Printable(m_path), qUtf8Printable(*m_refusal));
    return {};
}

bool SettingsStore::save()
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (m_refusal && QFileInfo::exists(m_path)) {
        // A person's edit that could not be read is kept, never overwritten.
        const QString kept = m_path + QStringLiteral(".refused-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        if (!QFile::rename(m_path, kept)) {
            qCWarning(lcSettings, "Could not keep the refused settings file as %s; settings are not saved.", qUtf8Printable(kept));
            return false;
        }
        qCInfo(lcSettings, "The refused settings file is kept as %s", qUtf8Printable(kept));
    }
    QSaveFile file(m_path);
    // The user's alone, whatever the umask: it names folders and applications.
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(encodeSettings(m_settings, QJsonDocument::Indented)) < 0 || !file.commit()) {
        qCWarning(lcSettings, "Could not save the settings to %s: %s", qUtf8Printable(m_path), qUtf8Printable(file.errorString()));
        return false;
    }
    m_refusal.reset();
    return true;
}

void SettingsStore::setSettings(const QuandrelSettings& settings)
{
    if (settings == m_settings)
        return;
    m_settings = settings;
    Q_EMIT settingsChanged();
    save();
    if (onChange)
        onChange(m_settings);
}

bool SettingsStore::ensureFileExists()
{
    if (QFileInfo::exists(m_path))
        return true;
    return save();
}

void SettingsStore::reload()
{
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

void SettingsStore::watchFile()
{
    if (m_watcher)
        return;
    m_watcher = new QFileSystemWatcher(this);
    const auto changed = [this] {
        renewWatch();
        reload();
    };
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, changed);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, changed);
    renewWatch();
}

void SettingsStore::renewWatch()
{
    // The file is replaced on every save and the folder may be deleted and made again, so the
    // watch covers the file, its folder and the folder above, and is renewed on each change.
    const QFileInfo file(m_path);
    const QString folder = file.absolutePath();
    const QString parent = QFileInfo(folder).absolutePath();
    QDir().mkpath(parent);
    for (const QString& path : {parent, folder, m_path}) {
        if (QFileInfo::exists(path) && !m_watcher->files().contains(path) && !m_watcher->directories().contains(path))
            m_watcher->addPath(path);
    }
}

QString SettingsStore::screenshotsFolder() const { return quandrel::screenshotsFolder(m_settings.saveFolderBookmark); }

} // namespace quandrel
