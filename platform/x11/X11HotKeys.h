#pragma once

// Global hot keys on X11: passive key grabs on the root window, one per combination of the
// lock modifiers (Caps, Num, Scroll) so that a shortcut works whatever locks are on.

#include "GlobalHotKeys.h"
#include "X11EventFilter.h"

#include <deque>
#include <map>
#include <set>

namespace quandrel::x11 {

class X11Connection;

class X11HotKeys final : public GlobalHotKeys {
public:
    explicit X11HotKeys(X11Connection& connection);
    ~X11HotKeys() override;

    void bind(std::vector<HotKeyRequest> set, std::function<void(HotKeyStatuses)> answered) override;

    // One combination under `id`, beside the others: bound, taken (by another program, the
    // window manager, or an earlier id) or unsupported (no such key or modifier here), with
    // nothing grabbed unless bound.
    HotKeyStatus grab(std::uint32_t id, std::uint32_t keyCode, std::uint32_t modifierMask);
    bool registerHotKey(std::uint32_t id, std::uint32_t keyCode, std::uint32_t modifierMask)
    {
        return grab(id, keyCode, modifierMask) == HotKeyStatus::bound;
    }
    void unregisterHotKey(std::uint32_t id);

private:
    struct Grab {
        std::uint8_t keycode;
        std::uint16_t modifiers; // X modifier mask, locks excluded
        auto operator<=>(const Grab&) const = default;
    };

    void readModifierMapping();
    std::vector<std::uint16_t> lockCombinations() const;
    bool handleEvent(xcb_generic_event_t* event);
    void deliver(std::uint32_t id);

    void regrabAll(const std::vector<std::uint16_t>& previousLocks);

    X11Connection& m_connection;
    std::map<std::uint32_t, Grab> m_grabs;
    // The stored combination of every id, to grab again when the modifier map changes.
    std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> m_combinations;
    std::set<std::uint8_t> m_down; // grabbed keys currently held, to ignore key repeat
    std::deque<std::uint32_t> m_pending;
    bool m_delivering = false;

    // Which X modifier bits hold Alt, Super, Num Lock and Scroll Lock on this server.
    std::uint16_t m_alt = 0;
    std::uint16_t m_super = 0;
    std::uint16_t m_numLock = 0;
    std::uint16_t m_scrollLock = 0;
    // The first event number of XKB (whose map notifications replace the core MappingNotify
    // for a client that uses XKB); 0 without XKB.
    std::uint8_t m_xkbEvent = 0;

    X11EventFilter m_filter; // last: it goes first
};

} // namespace quandrel::x11
