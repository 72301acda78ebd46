#include "AppState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSaveFile>

namespace quandrel {

namespace {

Q_LOGGING_CATEGORY(lcState, "quandrel.state", QtInfoMsg)

constexpr auto takenMember = "notifiedTakenShortcuts";

// The file's object; empty when there is none or it is not one.
QJsonObject readObject(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace

AppState::AppState(QString path)
    : m_path(std::move(path))
{
}

QString AppState::pathBeside(const QString& settingsPath) { return QFileInfo(settingsPath).absolutePath() + QStringLiteral("/state.json"); }

std::set<TakenShortcut> AppState::notifiedTakenShortcuts() const
{
    std::set<TakenShortcut> taken;
    for (const QJsonValue& entry : readObject(m_path).value(QLatin1String(takenMember)).toArray()) {
        const QString command = entry.toObject().value(QLatin1String("command")).toString();
        const auto shortcut = shortcutFromJson(entry);
        // An entry that cannot be read is one nobody was told about.
        if (!command.isEmpty() && shortcut)
            taken.insert({command.toStdString(), *shortcut});
    }
    return taken;
}

bool AppState::setNotifiedTakenShortcuts(const std::set<TakenShortcut>& taken)
{
    QJsonArray entries;
    for (const TakenShortcut& t : taken) {
        QJsonObject entry = toJson(t.shortcut);
        entry.insert(QStringLiteral("command"), QString::fromStdString(t.command));
        entries.append(entry);
    }
    QJsonObject state = readObject(m_path);
    state.insert(QLatin1String(takenMember), entries);

    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    const QByteArray bytes = QJsonDocument(state).toJson();
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!written && !m_writeFailed)
        qCInfo(lcState, "Couldn't write %s (%s); taken shortcuts may be named again at the next start.", qUtf8Printable(m_path),
               qUtf8Printable(file.errorString()));
    m_writeFailed = !written;
    return written;
}

} // namespace quandrel
