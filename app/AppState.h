#pragma once

// What Quandrel keeps between starts that is no setting: the taken shortcuts it last told
// the person about, so that a start that finds the same ones taken says nothing. It lives in
// state.json beside the settings file, written atomically; members it does not know are kept.
// A file that is missing or cannot be read counts as empty, quietly: at worst the person is
// told once more.

#include "Shortcut.h"

#include <QString>

#include <set>
#include <string>

namespace quandrel {

// A shortcut another program holds, with the command it is Quandrel's shortcut for (as its
// command URL).
struct TakenShortcut {
    std::string command;
    Shortcut shortcut;
    auto operator<=>(const TakenShortcut&) const = default;
};

class AppState {
public:
    explicit AppState(QString path);
    // state.json in the settings file's folder.
    static QString pathBeside(const QString& settingsPath);

    const QString& path() const { return m_path; }

    std::set<TakenShortcut> notifiedTakenShortcuts() const;
    // Answers whether the file was written; a failure is logged once.
    bool setNotifiedTakenShortcuts(const std::set<TakenShortcut>& taken);

private:
    QString m_path;
    bool m_writeFailed = false;
};

} // namespace quandrel
