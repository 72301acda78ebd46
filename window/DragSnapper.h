#pragma once

// Snaps windows that the user drags to a screen edge or corner: while a window is being
// moved, the zone under the pointer is previewed, and dropping the window there applies the
// zone's layout. A snapped window dragged away gets its earlier size back.

#include "PlatformServices.h"
#include "Scheduler.h"
#include "SystemTiling.h"
#include "WindowAccess.h"
#include "WindowAction.h"

#include <functional>
#include <memory>
#include <optional>

namespace quandrel {

class WindowManager;
enum class PointerEvent;

// Where a snap would put the window; shown over everything, never taking input or focus.
class SnapPreviewSurface {
public:
    virtual ~SnapPreviewSurface() = default;
    virtual void show(const Rect& screenFrame) = 0;
    virtual void hide() = 0;
};

// The zone of a point on a display: edges of 5 points, corners reaching 24 points along the
// edges, bottom edge in thirds. Thresholds are inclusive.
std::optional<WindowAction> snapZone(Point point, const Rect& displayFrame);

// Whether the window manager's own tiling takes care of a zone.
bool isLeftToSystem(WindowAction zone, const SystemTiling& tiling);

class DragSnapper {
public:
    static constexpr int maximumChecks = 12;
    static constexpr double moveThreshold = 2;
    static constexpr int dropDelayMs = 40;

    struct Drag {
        std::optional<ClientWindow> window;
        Rect startFrame;
        Point grab; // the pointer at the press
        int checks = 0;
        bool ignored = false;
        bool isMovingWindow = false;
        bool unsnapped = false;
        std::optional<WindowAction> action;
        SystemTiling systemTiling;
    };

    DragSnapper(PlatformServices platform, WindowManager& windows, std::unique_ptr<SnapPreviewSurface> preview, Scheduler schedule);
    ~DragSnapper();

    bool restoresSizeOnDrag = true;

    void setEnabled(bool on);
    bool isEnabled() const;
    void handle(PointerEvent event);

    const std::optional<Drag>& drag() const { return m_drag; }

private:
    void reset();
    void begin();
    void moved();
    void released();

    PlatformServices m_platform;
    WindowManager& m_windows;
    std::unique_ptr<SnapPreviewSurface> m_preview;
    Scheduler m_schedule;
    std::optional<Drag> m_drag;
};

} // namespace quandrel
