#include "AppBundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

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

    QDir dir(QCoreApplication::applicationDirPath());
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
