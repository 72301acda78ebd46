#include "LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

namespace quandrel::LoginItem {

QString entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/quandrel.desktop");
}

bool isEnabled()
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A desktop may switch an entry off with Hidden=true instead of deleting it.
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith("Hidden=") && line.mid(7).trimmed().toLower() == "true")
            return false;
    }
    return true;
}

std::optional<QString> setEnabled(bool enabled, const QString& executable)
{
    const QString path = entryPath();
    if (!enabled) {
        if (QFile::exists(path) && !QFile::remove(path))
            return QStringLiteral("Couldn't remove %1.").arg(path);
        return std::nullopt;
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QStringLiteral("Couldn't create the autostart folder.");
    QString program = executable.isEmpty() ? QCoreApplication::applicationFilePath() : executable;
    program.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Couldn't write %1.").arg(path);
    file.write("[Desktop Entry]\nType=Application\nName=Quandrel\nExec=\"" + program.toUtf8()
               + "\"\nIcon=quandrel\nX-GNOME-Autostart-enabled=true\nNoDisplay=true\n");
    if (!file.commit())
        return QStringLiteral("Couldn't write %1.").arg(path);
    return std::nullopt;
}

} // namespace quandrel::LoginItem
