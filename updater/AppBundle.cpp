#include "AppBundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>

namespace ostry {

namespace {
constexpr qint64 maxInfoSize = 64 * 1024;
}

AppBundle::AppBundle(QString path) : m_path(QDir::cleanPath(std::move(path))) {}

std::optional<AppBundle> AppBundle::running()
{
    const QString appDir = qEnvironmentVariable("APPDIR");
    if (!appDir.isEmpty() && QFileInfo(QDir(appDir).filePath(QLatin1String(infoFile))).isFile())
        return AppBundle(QDir(appDir).absolutePath());

    // Also before the application object exists (Qt's answer needs it): the kernel's link to
    // the running executable.
    QDir dir(QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                          : QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath());
    do {
        if (QFileInfo(dir.filePath(QLatin1String(infoFile))).isFile())
            return AppBundle(dir.absolutePath());
    } while (dir.cdUp());
    return std::nullopt;
}

QString AppBundle::fileName() const
{
    return QFileInfo(m_path).fileName();
}

QString AppBundle::file(const char* relative) const
{
    return m_path + QLatin1Char('/') + QLatin1String(relative);
}

bool AppBundle::runsReplacedCopy() const
{
    struct stat self {};
    if (m_path.isEmpty() || ::stat("/proc/self/exe", &self) != 0)
        return false;
    QString name = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (name.endsWith(QLatin1String(" (deleted)")))
        name.chop(10);
    const QByteArray installed = QFile::encodeName(m_path + QLatin1String("/usr/bin/") + QFileInfo(name).fileName());
    struct stat atPath {};
    if (::stat(installed.constData(), &atPath) != 0)
        return false;
    return self.st_dev != atPath.st_dev || self.st_ino != atPath.st_ino;
}

std::optional<BundleInfo> AppBundle::info() const
{
    QFile file(this->file(infoFile));
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxInfoSize)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.read(maxInfoSize));
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    BundleInfo info;
    info.identifier = object.value(QLatin1String("identifier")).toString();
    info.version = object.value(QLatin1String("version")).toString();
    info.name = object.value(QLatin1String("name")).toString();
    if (info.identifier.isEmpty())
        return std::nullopt;
    return info;
}

} // namespace ostry
