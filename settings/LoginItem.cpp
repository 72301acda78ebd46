#include "LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace quandrel::LoginItem {

QString entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/quandrel.desktop");
}

bool isEnabled(const QByteArray& entry)
{
    bool inMainGroup = false;
    for (const QByteArray& raw : entry.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inMainGroup || equals < 0)
            continue;
        // Spaces around the equals sign are not part of the key or the value.
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (key == "Hidden" && value == "true")
            return false;
        if (key == "X-GNOME-Autostart-enabled" && value == "false")
            return false;
    }
    return true;
}

bool isEnabled()
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return isEnabled(file.readAll());
}

QByteArray execValue(const QString& program)
{
    QByteArray quoted = "\"";
    for (const char c : program.toUtf8()) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    quoted.replace("%", "%%");
    // The string escapes apply before the quoting rules are read, so each backslash is
    // written twice; line breaks cannot stand in a value at all.
    quoted.replace("\\", "\\\\");
    quoted.replace("\n", "\\n");
    quoted.replace("\r", "\\r");
    quoted.replace("\t", "\\t");
    return quoted;
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
    const QString program = executable.isEmpty() ? QCoreApplication::applicationFilePath() : executable;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Couldn't write %1.").arg(path);
    file.write("[Desktop Entry]\nType=Application\nName=Quandrel\nExec=" + execValue(program)
               + "\nIcon=quandrel\nX-GNOME-Autostart-enabled=true\nNoDisplay=true\n");
    if (!file.commit())
        return QStringLiteral("Couldn't write %1.").arg(path);
    return std::nullopt;
}

} // namespace quandrel::LoginItem
