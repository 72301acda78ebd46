#pragma once

// System-wide hot keys, bound as one set. Combinations are given in the stored form (virtual
// key code and modifier mask, see KeyCodes.h) and as text (the key's name in the current
// layout), with the command URL a press runs, so that each session binds them in its own
// terms: X11 grabs key codes, desktops that bind by name or run a command line use the text.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace quandrel {

struct HotKeyRequest {
    std::uint32_t id = 0;
    std::uint32_t keyCode = 0;      // virtual key code
    std::uint32_t modifierMask = 0; // modifier::control, shift, alt, super
    std::string keyName = {};       // the key's symbol name in the current layout ("Left", "a"); empty when unknown
    std::string commandURL = {};    // what a press asks for ("quandrel://window/leftHalf")
    bool operator==(const HotKeyRequest&) const = default;
};

enum class HotKeyStatus {
    bound,       // a press calls onPressed with the id
    taken,       // held by another program or the desktop itself, or by an earlier id of the set
    boundByUser, // the desktop binds it in its own settings, where the user manages it
    unsupported, // the combination cannot be expressed in this session
};

using HotKeyStatuses = std::map<std::uint32_t, HotKeyStatus>;

// Whether a shortcut in this state does nothing when pressed, so the user should hear of it.
inline bool isFailed(HotKeyStatus status) { return status == HotKeyStatus::taken || status == HotKeyStatus::unsupported; }

class GlobalHotKeys {
public:
    virtual ~GlobalHotKeys() = default;

    // Replaces every hot key of this program by `set` (an empty set releases them all) and
    // answers with a status for each id through `answered`, at once or later on the main
    // thread. An answer to a set that a newer bind has replaced is not given.
    virtual void bind(std::vector<HotKeyRequest> set, std::function<void(HotKeyStatuses)> answered) = 0;

    // Who holds the combination of an id the latest answer called taken, as the desktop names
    // it ("KWin: Walk Through Windows"); empty where the session cannot say.
    virtual std::string holderOf(std::uint32_t id) const
    {
        (void)id;
        return {};
    }

    // Called on the main thread once per press of a bound combination; key repeat while the
    // key is held does not call it again. Never called re-entrantly.
    std::function<void(std::uint32_t id)> onPressed;
};

} // namespace quandrel
