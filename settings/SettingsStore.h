#pragma once

// The one live settings record. It is loaded once, written back on every real change (the
// JSON text under the key "settings" of a QSettings file, which Qt replaces atomically), and
// every change reaches the one onChange listener.

#include "QuandrelSettings.h"

#include <QObject>
#include <QString>

#include <functional>

class QSettings;

namespace quandrel {

class SettingsStore : public QObject {
    Q_OBJECT
public:
    explicit SettingsStore(QSettings& domain, QObject* parent = nullptr);

    const QuandrelSettings& settings() const { return m_settings; }
    // Replaces the whole record: a record equal to the current one changes nothing.
    void setSettings(const QuandrelSettings& settings);

    // Reads the stored document again (another program changed it); a different record
    // becomes current and is announced, without being written back.
    void reload();

    // The screenshots folder: the chosen folder while it exists, else Pictures/Quandrel.
    QString screenshotsFolder() const;

    std::function<void(const QuandrelSettings&)> onChange;

Q_SIGNALS:
    void settingsChanged();

private:
    QuandrelSettings load() const;
    void adopt(const QuandrelSettings& settings);

    QSettings& m_domain;
    QuandrelSettings m_settings;
};

} // namespace quandrel
