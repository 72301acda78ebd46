#pragma once

#include "Applications.h"

#include <optional>
#include <string>

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

    // What the session can set up, with the person's consent, so that Quandrel may control
    // windows (on GNOME: installing Quandrel's Shell extension); none when there is nothing
    // to set up.
    struct Setup {
        std::string missing;     // what window control lacks until then
        std::string action;      // the button, "Install GNOME Shell Extension"
        std::string explanation; // what it does, shown before it is done
        std::string alternative; // a smaller setup offered beside it ("Use GNOME Shortcuts Only"); empty when none
    };
    virtual std::optional<Setup> setup() { return std::nullopt; }
    // Does the setup the person agreed to, or the smaller one. Answers what they need to know
    // next, or why it failed.
    virtual std::string performSetup() { return {}; }
    virtual std::string performAlternative() { return {}; }
};

class SystemSound {
public:
    virtual ~SystemSound() = default;
    virtual void beep() = 0;
};

} // namespace quandrel
