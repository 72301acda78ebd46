#pragma once

namespace quandrel {

class DisplayProvider;
class WindowAccess;
class Workspace;
class AccessTrust;
class SystemSound;
class GlobalHotKeys;
class ApplicationService;
class PointerMonitor;
class SystemTilingSource;
class ScreenCapture;
class InputGrabs;
class KeyboardLayout;

// The platform seam handed to the logic above it: the X11 backend in the application, the
// in-memory fake in tests. The pointers are not owned and outlive every user.
struct PlatformServices {
    DisplayProvider* displays = nullptr;
    WindowAccess* windows = nullptr;
    Workspace* workspace = nullptr;
    AccessTrust* trust = nullptr;
    SystemSound* sound = nullptr;
    GlobalHotKeys* hotKeys = nullptr;
    ApplicationService* applications = nullptr;
    PointerMonitor* pointer = nullptr;
    SystemTilingSource* tiling = nullptr;
    ScreenCapture* screen = nullptr;
    InputGrabs* grabs = nullptr;
    // The current keyboard layout, for the names of shortcut keys; it follows the user's
    // layout changes by itself.
    const KeyboardLayout* keyboardLayout = nullptr;
};

} // namespace quandrel
