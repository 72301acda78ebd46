#pragma once

// Quandrel's shortcuts as GNOME's own custom keyboard shortcuts (Settings → Keyboard → Custom
// Shortcuts), for when the Shell extension does not run and the person has agreed to it: each
// runs `quandrel 'quandrel://…'`, which hands its command to the running Quandrel. Quandrel's
// entries are known by their paths (…/custom-keybindings/quandrel-N/); the person's own
// entries stay as they are.

#include "GlobalHotKeys.h"

#include <string>
#include <vector>

typedef struct _GSettingsBackend GSettingsBackend;

namespace quandrel::gnome {

class GnomeKeybindings {
public:
    // `program` is what the entries run; `backend` where the settings live (none: the desktop's).
    explicit GnomeKeybindings(std::string program, GSettingsBackend* backend = nullptr);
    ~GnomeKeybindings();
    GnomeKeybindings(const GnomeKeybindings&) = delete;
    GnomeKeybindings& operator=(const GnomeKeybindings&) = delete;

    // Replaces Quandrel's entries by one per shortcut of `set` (its GTK accelerator and
    // command URL) and answers each one's status: boundByUser once written, taken when the
    // desktop's own shortcuts, the person's custom ones or an earlier shortcut of the set use
    // it, unsupported without a key name or command. False when GNOME's settings are missing
    // (every status is then unsupported).
    bool write(const std::vector<HotKeyRequest>& set, HotKeyStatuses& statuses);
    // Removes every entry of Quandrel's.
    void removeAll();
    // The paths of Quandrel's entries now in GNOME's list.
    std::vector<std::string> entries() const;

private:
    std::string m_program;
    GSettingsBackend* m_backend = nullptr;
};

// An accelerator ("<Control><Alt>Left", "<Primary><Super>a") as its modifiers and key, so that
// spellings of one combination compare equal; empty for none.
std::string normalAccelerator(const std::string& accelerator);

} // namespace quandrel::gnome
