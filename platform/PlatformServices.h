#pragma once

namespace quandrel {

class DisplayProvider;
class WindowAccess;
class FrontmostApplication;
class AccessTrust;
class SystemSound;
class GlobalHotKeys;
class ApplicationService;
class PointerMonitor;
class SystemTilingSource;
class ScreenFreezer;
class OwnWindows;
class KeyboardLayout;
class ClipboardWriter;

// The platform seam handed to the logic above it: a session's desktop (Desktop.h) in the
// application, the in-memory fake in tests. Every pointer is set: a service the session
// cannot offer is there as an object that says so (Unavailable.h), so users never check for
// null. The pointers are not owned and outlive every user.
struct PlatformServices {
    DisplayProvider* displays = nullptr;
    WindowAccess* windows = nullptr;
    FrontmostApplication* frontmost = nullptr;
    AccessTrust* trust = nullptr;
    SystemSound* sound = nullptr;
    GlobalHotKeys* hotKeys = nullptr;
    ApplicationService* applications = nullptr;
    PointerMonitor* pointer = nullptr;
    SystemTilingSource* tiling = nullptr;
    ScreenFreezer* screen = nullptr;
    OwnWindows* ownWindows = nullptr;
    // The current keyboard layout, for the names of shortcut keys; it follows the user's
    // layout changes by itself.
    const KeyboardLayout* keyboardLayout = nullptr;
    // Where copies go when the toolkit's clipboard cannot take them (ClipboardWriter.h).
    ClipboardWriter* clipboard = nullptr;
};

} // namespace quandrel
