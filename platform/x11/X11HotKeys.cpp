#include "X11HotKeys.h"

#include "KeyCodes.h"
#include "X11Connection.h"

// xkb.h names a member "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

namespace quandrel::x11 {

namespace {
constexpr std::uint32_t keysymSuperL = 0xffeb, keysymSuperR = 0xffec, keysymHyperL = 0xffed;
constexpr std::uint32_t keysymAltL = 0xffe9, keysymAltR = 0xffea, keysymMetaL = 0xffe7, keysymMetaR = 0xffe8;
constexpr std::uint32_t keysymNumLock = 0xff7f, keysymScrollLock = 0xff14;
} // namespace

X11HotKeys::X11HotKeys(X11Connection& connection)
    : m_connection(connection)
    , m_filter(connection, [this](xcb_generic_event_t* e) { return handleEvent(e); })
{
    xcb_connection_t* c = m_connection.xcb();
    // With detectable auto-repeat a held key sends repeated presses and one release, instead
    // of release/press pairs that would look like new presses.
    Reply<xcb_xkb_use_extension_reply_t> xkb(xcb_xkb_use_extension_reply(c, xcb_xkb_use_extension(c, 1, 0), nullptr));
    if (xkb && xkb->supported) {
        Reply<xcb_xkb_per_client_flags_reply_t> flags(xcb_xkb_per_client_flags_reply(
            c,
            xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT,
                                     XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT, 0, 0, 0),
            nullptr));
        // An XKB client is told of modifier-map changes by XKB's own map notification.
        if (const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_xkb_id); extension && extension->present) {
            m_xkbEvent = extension->first_event;
            xcb_xkb_select_events(c, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_EVENT_TYPE_MAP_NOTIFY, 0, XCB_XKB_EVENT_TYPE_MAP_NOTIFY,
                                  XCB_XKB_MAP_PART_MODIFIER_MAP, XCB_XKB_MAP_PART_MODIFIER_MAP, nullptr);
        }
    }
    readModifierMapping();
}

X11HotKeys::~X11HotKeys()
{
    const auto ids = m_grabs;
    for (const auto& [id, grab] : ids)
        unregisterHotKey(id);
    m_connection.flush();
}

void X11HotKeys::readModifierMapping()
{
    xcb_connection_t* c = m_connection.xcb();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const std::uint8_t minKeycode = setup->min_keycode;
    const std::uint8_t maxKeycode = setup->max_keycode;
    auto modifierCookie = xcb_get_modifier_mapping(c);
    auto keyboardCookie = xcb_get_keyboard_mapping(c, minKeycode, std::uint8_t(maxKeycode - minKeycode + 1));
    Reply<xcb_get_modifier_mapping_reply_t> modifiers(xcb_get_modifier_mapping_reply(c, modifierCookie, nullptr));
    Reply<xcb_get_keyboard_mapping_reply_t> keyboard(xcb_get_keyboard_mapping_reply(c, keyboardCookie, nullptr));
    m_alt = m_super = m_numLock = m_scrollLock = 0;
    if (!modifiers || !keyboard)
        return;

    const xcb_keycode_t* modKeys = xcb_get_modifier_mapping_keycodes(modifiers.get());
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(keyboard.get());
    const int symsPerCode = keyboard->keysyms_per_keycode;
    const int symCount = xcb_get_keyboard_mapping_keysyms_length(keyboard.get());
    const int perModifier = modifiers->keycodes_per_modifier;
    // Modifier indices 3–7 are Mod1–Mod5; Shift, Lock and Control are fixed.
    for (int index = 3; index < 8; ++index) {
        const std::uint16_t mask = std::uint16_t(1u << index);
        for (int k = 0; k < perModifier; ++k) {
            const xcb_keycode_t code = modKeys[index * perModifier + k];
            if (code < minKeycode || code > maxKeycode)
                continue;
            for (int s = 0; s < symsPerCode; ++s) {
                const int at = (code - minKeycode) * symsPerCode + s;
                if (at >= symCount)
                    break;
                const xcb_keysym_t sym = syms[at];
                if ((sym == keysymAltL || sym == keysymAltR || sym == keysymMetaL || sym == keysymMetaR) && !m_alt)
                    m_alt = mask;
                else if ((sym == keysymSuperL || sym == keysymSuperR || sym == keysymHyperL) && !m_super)
                    m_super = mask;
                else if (sym == keysymNumLock)
                    m_numLock = mask;
                else if (sym == keysymScrollLock)
                    m_scrollLock = mask;
            }
        }
    }
}

std::vector<std::uint16_t> X11HotKeys::lockCombinations() const
{
    std::vector<std::uint16_t> locks{XCB_MOD_MASK_LOCK};
    if (m_numLock)
        locks.push_back(m_numLock);
    if (m_scrollLock && m_scrollLock != m_numLock)
        locks.push_back(m_scrollLock);
    std::vector<std::uint16_t> combinations;
    for (unsigned subset = 0; subset < (1u << locks.size()); ++subset) {
        std::uint16_t mask = 0;
        for (std::size_t i = 0; i < locks.size(); ++i) {
            if (subset & (1u << i))
                mask |= locks[i];
        }
        combinations.push_back(mask);
    }
    return combinations;
}

void X11HotKeys::bind(std::vector<HotKeyRequest> set, std::function<void(HotKeyStatuses)> answered)
{
    std::vector<std::uint32_t> ids;
    for (const auto& [id, held] : m_grabs)
        ids.push_back(id);
    for (const std::uint32_t id : ids)
        unregisterHotKey(id);
    HotKeyStatuses statuses;
    for (const HotKeyRequest& request : set)
        statuses[request.id] = grab(request.id, request.keyCode, request.modifierMask);
    if (answered)
        answered(std::move(statuses));
}

HotKeyStatus X11HotKeys::grab(std::uint32_t id, std::uint32_t keyCode, std::uint32_t modifierMask)
{
    const auto keycode = xKeycodeForKey(keyCode);
    if (!keycode || *keycode > 255)
        return HotKeyStatus::unsupported;
    std::uint16_t mask = 0;
    if (modifierMask & modifier::control)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifierMask & modifier::shift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifierMask & modifier::alt) {
        if (!m_alt)
            return HotKeyStatus::unsupported;
        mask |= m_alt;
    }
    if (modifierMask & modifier::super) {
        if (!m_super)
            return HotKeyStatus::unsupported;
        mask |= m_super;
    }
    const Grab wanted{std::uint8_t(*keycode), mask};
    // The server lets a client grab the same combination twice; for hot keys that is a
    // conflict like any other.
    for (const auto& [other, held] : m_grabs) {
        if (held == wanted && other != id)
            return HotKeyStatus::taken;
    }
    if (m_grabs.contains(id))
        unregisterHotKey(id);

    xcb_connection_t* c = m_connection.xcb();
    const xcb_window_t root = m_connection.root();
    const auto locks = lockCombinations();
    std::vector<xcb_void_cookie_t> cookies;
    for (const std::uint16_t lock : locks)
        cookies.push_back(xcb_grab_key_checked(c, 1, root, std::uint16_t(mask | lock), wanted.keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    bool refused = false;
    std::vector<bool> granted;
    for (const xcb_void_cookie_t cookie : cookies) {
        xcb_generic_error_t* error = xcb_request_check(c, cookie);
        granted.push_back(error == nullptr);
        refused = refused || error != nullptr;
        std::free(error);
    }
    if (refused) {
        // Leave nothing half grabbed behind, and answer once the server has let go, so that the
        // program that holds the rest can take the whole combination at once.
        std::optional<xcb_void_cookie_t> last;
        for (std::size_t i = 0; i < locks.size(); ++i) {
            if (granted[i])
                last = xcb_ungrab_key_checked(c, wanted.keycode, root, std::uint16_t(mask | locks[i]));
        }
        if (last)
            std::free(xcb_request_check(c, *last));
        return HotKeyStatus::taken;
    }
    m_grabs[id] = wanted;
    m_combinations[id] = {keyCode, modifierMask};
    return HotKeyStatus::bound;
}

void X11HotKeys::regrabAll(const std::vector<std::uint16_t>& previousLocks)
{
    // The modifier bits of Alt, Super and the locks may have moved: every grab is released
    // with the old bits and made again with the new ones.
    xcb_connection_t* c = m_connection.xcb();
    for (const auto& [id, held] : m_grabs) {
        for (const std::uint16_t lock : previousLocks)
            xcb_ungrab_key(c, held.keycode, m_connection.root(), std::uint16_t(held.modifiers | lock));
    }
    m_grabs.clear();
    m_down.clear();
    const auto combinations = std::exchange(m_combinations, {});
    for (const auto& [id, combination] : combinations)
        grab(id, combination.first, combination.second);
    m_connection.flush();
}

void X11HotKeys::unregisterHotKey(std::uint32_t id)
{
    const auto it = m_grabs.find(id);
    if (it == m_grabs.end())
        return;
    // Answered once the server has let go: the combination is free for others when this returns.
    xcb_connection_t* c = m_connection.xcb();
    std::optional<xcb_void_cookie_t> last;
    for (const std::uint16_t lock : lockCombinations())
        last = xcb_ungrab_key_checked(c, it->second.keycode, m_connection.root(), std::uint16_t(it->second.modifiers | lock));
    if (last)
        std::free(xcb_request_check(c, *last));
    m_down.erase(it->second.keycode);
    m_grabs.erase(it);
    m_combinations.erase(id);
}

bool X11HotKeys::handleEvent(xcb_generic_event_t* e)
{
    const auto type = e->response_type & 0x7f;
    const bool modifiersChanged = (type == XCB_MAPPING_NOTIFY && reinterpret_cast<xcb_mapping_notify_event_t*>(e)->request == XCB_MAPPING_MODIFIER)
        || (m_xkbEvent && type == m_xkbEvent && reinterpret_cast<xcb_xkb_map_notify_event_t*>(e)->xkbType == XCB_XKB_MAP_NOTIFY
            && (reinterpret_cast<xcb_xkb_map_notify_event_t*>(e)->changed & XCB_XKB_MAP_PART_MODIFIER_MAP));
    if (modifiersChanged) {
        const auto previousLocks = lockCombinations();
        readModifierMapping();
        regrabAll(previousLocks);
        return false;
    }
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto* key = reinterpret_cast<xcb_key_press_event_t*>(e);
    if (type == XCB_KEY_RELEASE) {
        // Releases never fire anything; with synthetic input the modifiers may already be up.
        m_down.erase(key->detail);
        return true;
    }
    const std::uint16_t relevant = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | m_alt | m_super;
    const Grab pressed{key->detail, std::uint16_t(key->state & relevant)};
    for (const auto& [id, grab] : m_grabs) {
        if (grab == pressed) {
            if (m_down.insert(key->detail).second)
                deliver(id);
            return true;
        }
    }
    return true;
}

void X11HotKeys::deliver(std::uint32_t id)
{
    // A press that arrives while an earlier one is being handled (its handler may wait for
    // the X server) is queued and handled right after it, never inside it.
    m_pending.push_back(id);
    if (m_delivering)
        return;
    m_delivering = true;
    while (!m_pending.empty()) {
        const std::uint32_t next = m_pending.front();
        m_pending.pop_front();
        if (onPressed)
            onPressed(next);
    }
    m_delivering = false;
}

} // namespace quandrel::x11
