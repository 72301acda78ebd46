#pragma once

// The one live settings record. It lives in a plain, pretty-printed JSON file
// ($XDG_CONFIG_HOME/Quandrel/settings.json) that a person can edit by hand; it is written
// atomically on every real change, and every change reaches the one onChange listener.
//
// A file that cannot be read in full is refused as a whole: at start the defaults apply, while
// running the last good record stays; the reason is logged, and the file is left alone until
// the next change, which first keeps it beside as "settings.json.refused-<date>" so that a
// hand edit is never lost.
//
// A save that fails keeps the change in memory, logs why, says so through saveFailure(), and
// is tried again at the next change; reading the file again does not bring the old record
// back, because the file is read again only when it has changed since it was last read or
// written.

#include "QuandrelSettings.h"

#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QTimer>

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
    // Writes a change still waiting for its quiet time.
    ~SettingsStore() override;

    const QString& path() const { return m_path; }
    const QuandrelSettings& settings() const { return m_settings; }
    // When a change is written: at once, or once no other change has come for quietTime
    // (a slider being dragged applies every step but writes once).
    enum class Saving { now, afterQuietTime };
    static constexpr int quietTime = 400; // milliseconds

    // Replaces the whole record: a record equal to the current one changes nothing. A change
    // is current, announced and applied at once, whenever it is written.
    void setSettings(const QuandrelSettings& settings, Saving saving = Saving::now);
    // Writes a change that waits for its quiet time now.
    void saveNow();
    bool hasUnsavedChange() const { return m_unsaved; }

    // Why the current record could not be written, while it could not; none once written.
    const std::optional<QString>& saveFailure() const { return m_saveFailure; }

    // Reads the file again when it changed since it was last read or written (another
    // program changed it); a different record becomes current and is announced, without
    // being written back. A file that cannot be read leaves the current record as it is.
    void reload();

    // Writes the current settings when there is no file yet, so that it can be opened; a
    // refused file is left as it is. Answers whether the file exists afterwards.
    bool ensureFileExists();

    // Follows changes other programs make to the file, also when its folder is deleted and
    // made again. It watches the file while it exists, else its folder, else the folder
    // above, so that other files there (the updater's, or everything in ~/.config) wake
    // nothing.
    void watchFile();

    // Why the file was refused, while it is; none when it was read (or did not exist).
    const std::optional<QString>& refusal() const { return m_refusal; }

    // The screenshots folder: the chosen folder while it exists, else Pictures/Quandrel.
    QString screenshotsFolder() const;

    std::function<void(const QuandrelSettings&)> onChange;

Q_SIGNALS:
    void settingsChanged();
    void saveFailureChanged();

private:
    // What tells one version of the file from another without reading it.
    struct FileStamp {
        bool exists = false;
        quint64 device = 0, inode = 0;
        qint64 size = 0, modified = 0, changed = 0; // nanoseconds
        bool operator==(const FileStamp&) const = default;
    };
    FileStamp stamp() const;

    // The file's record; none when it exists but cannot be read (m_refusal says why).
    std::optional<QuandrelSettings> load();
    bool save();
    void adopt(const QuandrelSettings& settings);
    void setSaveFailure(std::optional<QString> failure);
    void renewWatch();

    QString m_path;
    std::optional<QString> m_refusal;
    std::optional<QString> m_saveFailure;
    QuandrelSettings m_settings;
    FileStamp m_seen; // the file as last read or written
    bool m_unsaved = false;
    QTimer m_quietTime;
    QFileSystemWatcher* m_watcher = nullptr;
};

} // namespace quandrel
