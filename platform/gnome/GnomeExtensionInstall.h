#pragma once

// Installing Quandrel's GNOME Shell extension for the user: the flavour the running Shell
// loads, copied into the user's extensions folder, answering only the Quandrel that installed
// it, and enabled. GNOME Shell on Wayland picks up a new extension at the next login.

#include <optional>
#include <string>

namespace quandrel::gnome {

inline constexpr const char* extensionUuid = "shell@quandrel.org";

// "legacy" for GNOME Shell 43 and 44, "modules" from 45 on.
std::string extensionFlavour(int shellMajor);
// The major version of the running Shell; none when it does not answer.
std::optional<int> runningShellMajor();
// The folder of the extension's flavour beside this program: the installed data folder
// (../share/quandrel/gnome-shell-extension/…) or the build tree; empty when there is none.
std::string extensionSource(const std::string& flavour);

struct InstallResult {
    bool ok = false;
    std::string message; // what the person needs to know next, or why it failed
};

// Copies `source` into `dataHome`/gnome-shell/extensions/<uuid> (replacing an older copy as a
// whole) and lets `caller` (an executable's path) call it.
InstallResult installExtension(const std::string& source, const std::string& dataHome, const std::string& caller);

// Adds the extension to the Shell's enabled extensions (and takes it off the disabled ones);
// false when the Shell's settings cannot be written.
bool enableExtension();

// The whole installation for this program, from the running Shell's version.
InstallResult installExtensionForThisProgram();

} // namespace quandrel::gnome
