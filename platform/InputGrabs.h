#pragma once

// Taking the keyboard and the pointer for one of Quandrel's own windows, as the selection
// overlay and the shortcut recorder do: while grabbed, every key press and pointer event goes
// to that window, whichever window has the focus or lies under the pointer, and global hot
// keys do not fire.

#include "WindowAccess.h"

namespace quandrel {

// Why a grab was not taken, without the display server's own status numbers.
enum class InputGrabError {
    none,
    heldByOtherProgram, // another client holds a grab (a menu is open, a drag is under way)
    windowNotViewable,  // the window is not on screen yet, or no longer
    refused,            // the display server said no for another reason
};

// A short English description for logs ("held by another program", …).
const char* describe(InputGrabError error);

class InputGrabs {
public:
    virtual ~InputGrabs() = default;

    // Grabs both the keyboard and the pointer for `window`, or neither: when one of them is
    // refused the other is let go again. A second grab replaces the first.
    virtual InputGrabError grab(WindowHandle window) = 0;
    // Lets both go; does nothing when nothing is grabbed.
    virtual void release() = 0;
    virtual bool isGrabbed() const = 0;
};

} // namespace quandrel
