#pragma once

// Other applications' windows and the outputs on KWin, through Quandrel's KWin script
// (KWinBridge.h). KWin names windows by UUID; each gets a small handle of its own for as long
// as Quandrel runs. Frames are KWin's frame geometry in its layout coordinates (window space),
// decorations included. A frame write is answered once the client has taken the size.

#include "Display.h"
#include "WindowAccess.h"

#include <QJsonValue>
#include <QString>

#include <map>
#include <string>
#include <vector>

namespace quandrel::kwin {

class KWinBridge;

struct KWinWindow {
    WindowHandle handle;
    QString uuid;
    std::int32_t pid = 0;
    Rect frame; // window space
    std::string resourceClass;
    std::string resourceName;
    std::string desktopFile;
    std::string caption;
    bool minimized = false;
    bool normal = false; // a normal top-level window, not a dialog, dock or Plasma's own
    bool active = false;
};

class KWinWindows final : public WindowAccess, public DisplayProvider {
public:
    explicit KWinWindows(KWinBridge& bridge) : m_bridge(bridge) {}

    // Front to back; empty (with the error set) when KWin does not answer.
    std::vector<KWinWindow> windows();
    std::optional<KWinWindow> window(WindowHandle handle);
    // KWin's UUID of a handle; empty for handles it never gave.
    QString uuidOf(WindowHandle handle) const;

    // Where the pointer is, in KWin's layout (window space); none when KWin does not answer.
    std::optional<Point> pointer();

    // Minimizes or unminimizes; false when the window is gone.
    bool setMinimized(WindowHandle window, bool minimized);

    std::vector<Display> displays() override;

    std::optional<ClientWindow> focusedWindow() override;
    WindowAccessError focusedWindowError() override { return m_lastError; }
    std::optional<Rect> readFrame(WindowHandle window) override;
    using WindowAccess::setFrame;
    void setFrame(WindowHandle window, std::int32_t pid, const Rect& frame, FrameApplied applied) override;
    std::optional<ClientWindow> windowAtPoint(Point screenPoint) override;
    std::vector<ClientWindow> windowsOfApplication(std::int32_t pid) override;
    std::optional<bool> isStandardWindow(WindowHandle window) override;
    std::optional<bool> isMinimized(WindowHandle window) override;
    void raise(WindowHandle window) override;

private:
    WindowHandle handleOf(const QString& uuid);

    KWinBridge& m_bridge;
    WindowAccessError m_lastError = WindowAccessError::none;
    std::map<QString, WindowHandle> m_handles;
    std::map<WindowHandle, QString> m_uuids;
    std::uint64_t m_nextHandle = 1;
};

// KWin's integer coordinates for a frame: rounded, within a range KWin takes; sizes at
// least 1, not-a-number 0.
int kwinCoordinate(double value);
int kwinSize(double value);

// The outputs as the script lists them ({"outputs": [{name, frame, area, scale}]}), in
// screen space with the pivot display first; where the script has no names or scales (KWin
// 5.27), `screenNames` gives them by frame.
struct ScreenInfo {
    Rect frame; // layout coordinates
    std::string name;
    double scale = 1;
};
std::vector<Display> displaysFromOutputs(const QJsonValue& outputs, const std::vector<ScreenInfo>& screens = {});

} // namespace quandrel::kwin
