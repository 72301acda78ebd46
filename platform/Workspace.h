#pragma once

#include "Applications.h"

#include <optional>

namespace quandrel {

// The running applications as far as window commands need them.
class Workspace {
public:
    virtual ~Workspace() = default;
    // The application that owns the active window (`active` is true), with the desktop-entry
    // ID as far as its window tells it.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
};

// Whether Quandrel may control other applications' windows (true on X11 when an EWMH window
// manager runs; there is nothing to grant, so the prompt explains instead) and read the
// screen's pixels (true when the root window can be read).
class AccessTrust {
public:
    virtual ~AccessTrust() = default;
    virtual bool isTrusted() = 0;
    virtual void showTrustPrompt() = 0;
    virtual bool screenRecordingAllowed() = 0;
};

class SystemSound {
public:
    virtual ~SystemSound() = default;
    virtual void beep() = 0;
};

} // namespace quandrel
