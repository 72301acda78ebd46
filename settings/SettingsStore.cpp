#include "SettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

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
    m_quietTime.setSingleShot(true);
    m_quietTime.setInterval(quietTime);
    connect(&m_quietTime, &QTimer::timeout, this, &SettingsStore::saveNow);
    if (!QFileInfo::exists(m_path) && legacyDocument) {
        if (const auto legacy = decodeSettings(*legacyDocument)) {
            m_settings = *legacy;
            if (save())
                qCInfo(lcSettings, "Settings moved to %s", qUtf8Printable(m_path));
            return;
        }
    }
    if (auto loaded = load()) {
        m_settings = std::move(*loaded);
        return;
    }
    qCWarning(lcSettings, "Settings in %s refused (%s); the defaults apply. The file is kept beside when settings next change.",
              qUtf8Printable(m_path), qUtf8Printable(*m_refusal));
}

SettingsStore::~SettingsStore()
{
    if (m_unsaved)
        save();
}

SettingsStore::FileStamp SettingsStore::stamp() const
{
    struct stat info {};
    if (::stat(QFile::encodeName(m_path).constData(), &info) != 0)
        return {};
    const auto nanoseconds = [](const timespec& t) { return qint64(t.tv_sec) * 1000000000 + t.tv_nsec; };
    return {true, quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size), nanoseconds(info.st_mtim), nanoseconds(info.st_ctim)};
}

std::optional<QuandrelSettings> SettingsStore::load()
{
    m_refusal.reset();
    // Taken before reading: a change made while it is read is read again.
    m_seen = stamp();
    QFile file(m_path);
    if (!file.exists())
        return QuandrelSettings{};
    if (!file.open(QIODevice::ReadOnly)) {
        m_refusal = QStringLiteral("cannot be read: %1").arg(file.errorString());
        return std::nullopt;
    }
    auto decoded = decodeSettingsDocument(file.readAll());
    if (auto* settings = std::get_if<QuandrelSettings>(&decoded))
        return std::move(*settings);
    m_refusal = std::get<SettingsError>(decoded).message;
    return std::nullopt;
}

bool SettingsStore::save()
{
    m_quietTime.stop();
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (m_refusal && QFileInfo::exists(m_path)) {
        // A person's edit that could not be read is kept, never overwritten.
        const QString kept = m_path + QStringLiteral(".refused-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        if (!QFile::rename(m_path, kept)) {
            qCWarning(lcSettings, "Could not keep the refused settings file as %s; settings are not saved.", qUtf8Printable(kept));
            setSaveFailure(tr("the refused file could not be kept as %1").arg(QFileInfo(kept).fileName()));
            return false;
        }
        qCInfo(lcSettings, "The refused settings file is kept as %s", qUtf8Printable(kept));
    }
    const QByteArray bytes = encodeSettings(m_settings, QJsonDocument::Indented);
    QSaveFile file(m_path);
    std::optional<QString> failure;
    errno = 0;
    // The user's alone, whatever the umask: it names folders and applications.
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(bytes) != bytes.size() || !file.flush()) {
        // Qt calls some of these "Unknown error"; the system's own words say more.
        const int error = errno;
        failure = error != 0 && file.errorString() == QLatin1String("Unknown error") ? QString::fromLocal8Bit(std::strerror(error))
                                                                                      : file.errorString();
    } else if (file.size() != bytes.size()) {
        // A full disk (or a file size limit) can take part of the bytes without an error.
        failure = tr("only %1 of %2 bytes could be written").arg(file.size()).arg(bytes.size());
    } else if (!file.commit()) {
        failure = file.errorString();
    }
    if (failure) {
        file.cancelWriting();
        qCWarning(lcSettings, "Could not save the settings to %s (%s); the change stays in use and is written at the next change.",
                  qUtf8Printable(m_path), qUtf8Printable(*failure));
        setSaveFailure(failure);
        return false;
    }
    m_refusal.reset();
    m_seen = stamp();
    m_unsaved = false;
    setSaveFailure(std::nullopt);
    return true;
}

void SettingsStore::setSaveFailure(std::optional<QString> failure)
{
    if (failure == m_saveFailure)
        return;
    m_saveFailure = std::move(failure);
    Q_EMIT saveFailureChanged();
}

void SettingsStore::setSettings(const QuandrelSettings& settings, Saving saving)
{
    if (settings == m_settings)
        return;
    m_settings = settings;
    m_unsaved = true;
    Q_EMIT settingsChanged();
    if (saving == Saving::now)
        save();
    else
        m_quietTime.start();
    if (onChange)
        onChange(m_settings);
}

void SettingsStore::saveNow()
{
    if (m_unsaved)
        save();
}

bool SettingsStore::ensureFileExists()
{
    if (QFileInfo::exists(m_path))
        return true;
    return save();
}

void SettingsStore::reload()
{
    if (stamp() == m_seen)
        return;
    auto loaded = load();
    if (!loaded) {
        qCWarning(lcSettings, "Settings in %s refused (%s); the settings in use stay. The file is kept beside when settings next change.",
                  qUtf8Printable(m_path), qUtf8Printable(*m_refusal));
        return;
    }
    // What another program wrote is newer than a change not written yet.
    m_quietTime.stop();
    m_unsaved = false;
    setSaveFailure(std::nullopt);
    adopt(*loaded);
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
    // The file is replaced on every save and its folder may be deleted and made again: the
    // watch moves to the nearest of the three that exists, and is renewed on each change.
    // Whatever happened before the watch moved is read by the reload that follows it.
    const QString folder = QFileInfo(m_path).absolutePath();
    QString target = m_path;
    if (!QFileInfo::exists(m_path)) {
        target = folder;
        if (!QFileInfo(folder).isDir()) {
            target = QFileInfo(folder).absolutePath();
            QDir().mkpath(target);
        }
    }
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    for (const QString& path : watched) {
        if (path != target)
            m_watcher->removePath(path);
    }
    if (!watched.contains(target))
        m_watcher->addPath(target);
}

QString SettingsStore::screenshotsFolder() const { return quandrel::screenshotsFolder(m_settings.saveFolderBookmark); }

} // namespace quandrel
