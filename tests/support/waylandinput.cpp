// A pointer and a keyboard for tests on headless compositors, which have no input devices:
// wlroots' virtual-pointer and virtual-keyboard protocols (sway), or KWin's fake input (which
// KWin offers to programs whose desktop entry names it). Clients receive pointer and key
// events as from real hardware. Reads one command a line on stdin and answers "ok" once the
// compositor has handled it (a round trip), or "error …":
//
//   move X Y W H      the pointer to X, Y of a layout W × H pixels (absolute; the layout's top
//                     left is its origin on KWin)
//   button B 1|0      presses or releases the evdev button B (272 left, 273 right)
//   key NAME          presses and releases the key of the keysym NAME ("Escape")

#include "fake-input-client-protocol.h"
#include "virtual-keyboard-client-protocol.h"
#include "virtual-pointer-client-protocol.h"

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

wl_seat* seat = nullptr;
zwlr_virtual_pointer_manager_v1* pointers = nullptr;
zwp_virtual_keyboard_manager_v1* keyboards = nullptr;
org_kde_kwin_fake_input* fake = nullptr;

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat)
        seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        keyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    else if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        fake = static_cast<org_kde_kwin_fake_input*>(wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
}

void globalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener registryListener{global, globalRemove};

uint32_t now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return uint32_t(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

// The evdev code (xkb code less 8) of the first key that gives `symbol` without modifiers.
int keyFor(xkb_keymap* keymap, xkb_keysym_t symbol)
{
    for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap); code <= xkb_keymap_max_keycode(keymap); ++code) {
        const xkb_keysym_t* symbols = nullptr;
        const int count = xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, &symbols);
        for (int i = 0; i < count; ++i)
            if (symbols[i] == symbol)
                return int(code) - 8;
    }
    return -1;
}

// The seat's devices: wlroots' virtual pointer and keyboard, or KWin's fake input.
struct Devices {
    zwlr_virtual_pointer_v1* pointer = nullptr;
    zwp_virtual_keyboard_v1* keyboard = nullptr;

    void move(unsigned x, unsigned y, unsigned width, unsigned height) const
    {
        if (fake) {
            org_kde_kwin_fake_input_pointer_motion_absolute(fake, wl_fixed_from_int(int(x)), wl_fixed_from_int(int(y)));
            return;
        }
        zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), x, y, width, height);
        zwlr_virtual_pointer_v1_frame(pointer);
    }
    void button(unsigned button, bool pressed) const
    {
        const uint32_t state = pressed ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED;
        if (fake) {
            org_kde_kwin_fake_input_button(fake, button, state);
            return;
        }
        zwlr_virtual_pointer_v1_button(pointer, now(), button, state);
        zwlr_virtual_pointer_v1_frame(pointer);
    }
    void key(int key, bool pressed) const
    {
        const uint32_t state = pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED;
        if (fake)
            org_kde_kwin_fake_input_keyboard_key(fake, uint32_t(key), state);
        else
            zwp_virtual_keyboard_v1_key(keyboard, now(), uint32_t(key), state);
    }
};

} // namespace

int main()
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    wl_display_roundtrip(display);
    if (!fake && (!seat || !pointers || !keyboards)) {
        std::fprintf(stderr, "the compositor offers no virtual pointer or keyboard, nor fake input\n");
        return 1;
    }

    // Key codes come from the US keymap, which is also what a keyboard of KWin's has unless
    // configured otherwise.
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xkb_rule_names names{nullptr, nullptr, "us", nullptr, nullptr};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) {
        std::fprintf(stderr, "no keymap\n");
        return 1;
    }
    Devices devices;
    if (fake) {
        org_kde_kwin_fake_input_authenticate(fake, "Quandrel tests", "input for the tests");
    } else {
        devices.pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointers, seat);
        devices.keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboards, seat);
        char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
        const std::size_t size = text ? std::strlen(text) + 1 : 0;
        const int fd = text ? memfd_create("quandrel-keymap", MFD_CLOEXEC) : -1;
        if (fd < 0 || write(fd, text, size) != ssize_t(size)) {
            std::fprintf(stderr, "cannot hand over the keymap\n");
            return 1;
        }
        zwp_virtual_keyboard_v1_keymap(devices.keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, uint32_t(size));
        close(fd);
        std::free(text);
    }
    wl_display_roundtrip(display);
    std::cout << "ready" << std::endl;

    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command == "move") {
            unsigned x = 0, y = 0, width = 0, height = 0;
            words >> x >> y >> width >> height;
            devices.move(x, y, width, height);
        } else if (command == "button") {
            unsigned button = 0, pressed = 0;
            words >> button >> pressed;
            devices.button(button, pressed != 0);
        } else if (command == "key") {
            std::string name;
            words >> name;
            const int key = keyFor(keymap, xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_NO_FLAGS));
            if (key < 0) {
                std::cout << "error no key " << name << std::endl;
                continue;
            }
            devices.key(key, true);
            devices.key(key, false);
        } else {
            std::cout << "error unknown command" << std::endl;
            continue;
        }
        if (wl_display_roundtrip(display) < 0) {
            std::cout << "error the compositor went away" << std::endl;
            return 1;
        }
        std::cout << "ok" << std::endl;
    }
    if (devices.pointer)
        zwlr_virtual_pointer_v1_destroy(devices.pointer);
    if (devices.keyboard)
        zwp_virtual_keyboard_v1_destroy(devices.keyboard);
    for (void* proxy : {static_cast<void*>(pointers), static_cast<void*>(keyboards), static_cast<void*>(fake)})
        if (proxy)
            wl_proxy_destroy(static_cast<wl_proxy*>(proxy));
    if (seat)
        wl_seat_destroy(seat);
    wl_registry_destroy(registry);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    wl_display_disconnect(display);
    return 0;
}
