#pragma once

// The platform seam on an X server with an EWMH window manager. Displays are RandR 1.5
// monitors; windows are client windows; frames are outer frames as the user sees them.
// Every X error (a window that vanished, a refused request) turns into "none".

#include "Applications.h"
#include "Display.h"
#include "PlatformServices.h"
#include "WindowAccess.h"
#include "Workspace.h"

#include <chrono>
#include <memory>
#include <set>

namespace quandrel::x11 {

class X11Connection;

class X11HotKeys;
class X11PointerMonitor;
class DesktopSystemTiling;

class X11Desktop final : public DisplayProvider,
                         public WindowAccess,
                         public Workspace,
                         public AccessTrust,
                         public SystemSound,
                         public ApplicationService {
public:
    explicit X11Desktop(std::unique_ptr<X11Connection> connection);
    ~X11Desktop() override;

    // Opens the display named by the environment; none without an X server.
    static std::unique_ptr<X11Desktop> open(const char* display = nullptr);

    X11Connection& connection() { return *m_connection; }
    PlatformServices services();

    // Whether a compositing manager runs (translucent windows are possible).
    bool hasCompositingManager();

    // How long setFrame waits for the window manager at most.
    std::chrono::milliseconds settleTimeout{250};

    // DisplayProvider
    std::vector<Display> displays() override;

    // WindowAccess
    std::optional<ClientWindow> focusedWindow() override;
    WindowAccessError focusedWindowError() override;
    std::optional<Rect> readFrame(WindowHandle window) override;
    void setFrame(WindowHandle window, std::int32_t pid, const Rect& frame) override;
    std::optional<ClientWindow> windowAtPoint(Point screenPoint) override;
    std::vector<ClientWindow> windowsOfApplication(std::int32_t pid) override;
    std::optional<bool> isStandardWindow(WindowHandle window) override;
    std::optional<bool> isMinimized(WindowHandle window) override;
    void raise(WindowHandle window) override;
    void stopInteractiveMove(WindowHandle window) override;
    void resumeInteractiveMove(WindowHandle window, Point screenPointer) override;

    // ApplicationService
    std::vector<RunningApplicationInfo> runningApplications(const std::string& desktopId) override;
    bool isInstalled(const std::string& desktopId) override;
    void hide(std::int32_t pid) override;
    void unhide(std::int32_t pid) override;
    void openAndActivate(const std::string& desktopId, std::function<void(bool ok)> done) override;

    // Workspace
    std::optional<RunningApplication> frontmostApplication() override;

    // AccessTrust
    bool isTrusted() override;
    void showTrustPrompt() override;
    bool screenRecordingAllowed() override;

    // SystemSound
    void beep() override;

private:
    struct Extents {
        int left = 0, right = 0, top = 0, bottom = 0;
    };
    struct Geometry;

    std::optional<Geometry> readGeometry(WindowHandle window);
    std::vector<WindowHandle> stackingTopToBottom();
    std::vector<WindowHandle> clientList();
    std::vector<WindowHandle> windowsOfDesktopEntry(const std::string& desktopId);
    std::int32_t pidOf(WindowHandle window);
    void watch(WindowHandle window);

    std::unique_ptr<X11Connection> m_connection;
    std::unique_ptr<X11HotKeys> m_hotKeys;
    std::unique_ptr<X11PointerMonitor> m_pointer;
    std::unique_ptr<DesktopSystemTiling> m_tiling;
    std::set<WindowHandle> m_watched;
    std::optional<bool> m_trusted;
    WindowHandle m_checkWindow = 0;
};

} // namespace quandrel::x11
