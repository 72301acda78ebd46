#pragma once

// Quandrel's own windows as the session shows them: the floating panels (thumbnail, toasts,
// pins), the selection overlay's windows, one over each display, and the keyboard and pointer
// taken for one of them. A Qt window alone cannot say "above everything, on every workspace,
// never in the task bar" on every desktop; each session says it in its own terms (on X11,
// window-manager hints and grabs on Qt's own connection). Windows are Qt's, handed in once
// their native window exists and before they are first shown.

#include "InputGrabs.h"

#include <cstdint>
#include <optional>

class QWindow;

namespace quandrel {

class OwnWindows {
public:
    virtual ~OwnWindows() = default;

    // Gives a floating panel its role: above other windows, on every workspace, out of the task
    // bar and pager. Whether it takes the focus and whether clicks pass through it are the
    // window's own flags.
    virtual void markFloatingPanel(QWindow& window) = 0;
    // Asks the desktop to keep width : height while the user resizes the panel. Moving or
    // resizing the panel from code may drop the request: ask again after each.
    virtual void keepAspectRatio(QWindow& window, int width, int height) = 0;
    // Whether translucent windows are composited, so rounded corners can be see-through.
    virtual bool compositing() = 0;

    // Gives one of the selection overlay's windows its role: over the whole of its display,
    // above panels and menus, placed by Quandrel alone.
    virtual void markOverlay(QWindow& window) = 0;

    // Takes the keyboard and the pointer for `window`, or neither (the rules of InputGrabs.h).
    virtual InputGrabError grabInput(QWindow& window) = 0;
    virtual void releaseInput() = 0;
    virtual bool inputGrabbed() const = 0;

    // The colour the desktop's tray asks its icons to draw in, where the tray says (on X11 a
    // tray host may name it); none elsewhere.
    // 0xRRGGBB.
    virtual std::optional<std::uint32_t> trayForeground() { return std::nullopt; }
};

} // namespace quandrel
