#pragma once

// The one live settings record. It lives in a plain, pretty-printed JSON file
// ($XDG_CONFIG_HOME/Quandrel/settings.json) that a person can edit by hand; it is written
// atomically on every real change, and every change reaches the one onChange listener.
//
// A file that cannot be read in full is refused as a whole: the defaults apply, the reason is
// logged, and the file is left alone until the next change, which first keeps it beside as
// "settings.json.refused-<date>" so that a hand edit is never lost.

#include "QuandrelSettings.h"

#include <QLoggingCategory>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QFileSystemWatcher;

Q_DECLARE_LOGGING_CATEGORY(lcSettings)

namespace quandrel {

class SettingsStore : public QObject {
    Q_OBJECT
public:
    // $XDG_CONFIG_HOME/Quandrel/settings.json
    static QString defaultPath();

    // `legacyDocument` is the document an earlier Quandrel kept in its INI file; it is taken
    // over (and written as JSON) when no settings file exists yet.
    explicit SettingsStore(QString path, std::optional<QByteArray> legacyDocument = std::nullopt, QObject* parent = nullptr);

    const QString& path() const { return m_path; }
    const QuandrelSettings& settings() const { return m_settings; }
    // Replaces the whole record: a record equal to the current one changes nothing.
    void setSettings(const QuandrelSettings& settings);

    // Reads the file again (another program changed it); a different record becomes current
    // and is announced, without being written back.
    void reload();

    // Writes the current settings when there is no file yet, so that it can be opened; a
    // refused file is left as it is. Answers whether the file exists afterwards.
    bool ensureFileExists();

    // Follows changes other programs make to the file, also when its folder is deleted and
    // made again.
    void watchFile();

    // Why the file was refused, while it is; none when it was read (or did not exist).
    const std::optional<QString>& refusal() const { return m_refusal; }

    // The screenshots folder: the chosen folder while it exists, else Pictures/Quandrel.
    QString screenshotsFolder() const;

    std::function<void(const QuandrelSettings&)> onChange;

Q_SIGNALS:
    void settingsChanged();

private:
    QuandrelSettings load();
    bool save();
    void adopt(const QuandrelSettings& settings);
    void renewWatch();

    QString m_path;
    std::optional<QString> m_refusal;
    QuandrelSettings m_settings;
    QFileSystemWatcher* m_watcher = nullptr;
};

} // namespace quandrel
