#pragma once

#include "Applications.h"

#include <optional>

namespace quandrel {

// The application the user works in now, as far as window and app commands need it.
class FrontmostApplication {
public:
    virtual ~FrontmostApplication() = default;
    // The application that owns the active window (`active` is true), with the desktop-entry
    // ID as far as its window tells it.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
};

// Whether Quandrel may control other applications' windows (canControlWindows: true on X11
// when an EWMH window manager runs; there is nothing to grant, so the prompt explains instead)
// and read the screen's pixels (true when the root window can be read).
class AccessTrust {
public:
    virtual ~AccessTrust() = default;
    virtual bool canControlWindows() = 0;
    virtual void showTrustPrompt() = 0;
    virtual bool screenRecordingAllowed() = 0;
};

class SystemSound {
public:
    virtual ~SystemSound() = default;
    virtual void beep() = 0;
};

} // namespace quandrel
