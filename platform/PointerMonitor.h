#pragma once

// The global mouse monitor of drag snapping: left-button presses, drags and releases
// anywhere on the desktop, also while the window manager holds the pointer to move a window.

#include "Geometry.h"

#include <functional>

namespace quandrel {

enum class PointerEvent { leftDown, leftDragged, leftUp };

class PointerMonitor {
public:
    virtual ~PointerMonitor() = default;
    // Starts or stops watching; stopping removes the event selection altogether.
    virtual void setMonitoring(bool on) = 0;
    virtual bool isMonitoring() const = 0;
    // The pointer's position in screen space.
    virtual Point pointerLocation() = 0;

    // Called on the main thread for each event while monitoring.
    std::function<void(PointerEvent)> onEvent;
};

} // namespace quandrel
