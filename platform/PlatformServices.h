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
};

} // namespace quandrel
