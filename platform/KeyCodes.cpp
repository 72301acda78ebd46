#include "KeyCodes.h"

#include <array>
#include <utility>

namespace quandrel {

namespace {

// (virtual key code, evdev code) for every key of a full keyboard, modifier keys aside.
constexpr std::pair<std::uint32_t, std::uint32_t> keyTable[] = {
    // Letters
    {0, 30}, {11, 48}, {8, 46}, {2, 32}, {14, 18}, {3, 33}, {5, 34}, {4, 35}, {34, 23}, {38, 36}, {40, 37},
    {37, 38}, {46, 50}, {45, 49}, {31, 24}, {35, 25}, {12, 16}, {15, 19}, {1, 31}, {17, 20}, {32, 22},
    {9, 47}, {13, 17}, {7, 45}, {16, 21}, {6, 44},
    // Digits
    {29, 11}, {18, 2}, {19, 3}, {20, 4}, {21, 5}, {23, 6}, {22, 7}, {26, 8}, {28, 9}, {25, 10},
    // Punctuation: = - ] [ ' ; \ , / . ` and the ISO key beside the left Shift
    {24, 13}, {27, 12}, {30, 27}, {33, 26}, {39, 40}, {41, 39}, {42, 43}, {43, 51}, {44, 53}, {47, 52},
    {50, 41}, {10, 86},
    // Return, Tab, Space, Delete (backspace), Escape
    {36, 28}, {48, 15}, {49, 57}, {51, 14}, {53, 1},
    // F1–F20
    {122, 59}, {120, 60}, {99, 61}, {118, 62}, {96, 63}, {97, 64}, {98, 65}, {100, 66}, {101, 67}, {109, 68},
    {103, 87}, {111, 88}, {105, 183}, {107, 184}, {113, 185}, {106, 186}, {64, 187}, {79, 188}, {80, 189}, {90, 190},
    // Help (Insert), Home, Page Up, Forward Delete, End, Page Down, arrows
    {114, 110}, {115, 102}, {116, 104}, {117, 111}, {119, 107}, {121, 109}, {123, 105}, {124, 106}, {125, 108},
    {126, 103},
    // Keypad: . * + Clear(Num Lock) / Enter - = 0–9
    {65, 83}, {67, 55}, {69, 78}, {71, 69}, {75, 98}, {76, 96}, {78, 74}, {81, 117}, {82, 82}, {83, 79},
    {84, 80}, {85, 81}, {86, 75}, {87, 76}, {88, 77}, {89, 71}, {91, 72}, {92, 73},
    // JIS keys: Yen, underscore (Ro), keypad comma, Eisu (Hanja), Kana (Hangeul)
    {93, 124}, {94, 89}, {95, 121}, {102, 123}, {104, 122},
    // Mute, volume down, volume up
    {74, 113}, {73, 114}, {72, 115},
};

// Left and right Control, Shift, Alt and Super, Caps Lock, and the key XKB makes AltGr's
// twin (ISO_Level3_Shift): never a shortcut's key.
constexpr std::uint32_t modifierKeys[] = {29, 97, 42, 54, 56, 100, 125, 126, 58, 84};

// The highest evdev code an X keycode (at most 255) can name.
constexpr std::uint32_t lastEvdevCode = 255 - 8;

std::optional<std::uint32_t> classicKeyForEvdevCode(std::uint32_t evdevCode)
{
    for (const auto& [key, evdev] : keyTable) {
        if (evdev == evdevCode)
            return key;
    }
    return std::nullopt;
}

bool isModifierKey(std::uint32_t evdevCode)
{
    for (const std::uint32_t m : modifierKeys) {
        if (m == evdevCode)
            return true;
    }
    return false;
}

} // namespace

std::optional<std::uint32_t> evdevCodeForKey(std::uint32_t virtualKeyCode)
{
    for (const auto& [key, evdev] : keyTable) {
        if (key == virtualKeyCode)
            return evdev;
    }
    if (virtualKeyCode <= linuxKeyBase)
        return std::nullopt;
    const std::uint32_t evdev = virtualKeyCode - linuxKeyBase;
    // One code per key: a key of the classic table is stored by its classic code alone.
    if (evdev > lastEvdevCode || isModifierKey(evdev) || classicKeyForEvdevCode(evdev))
        return std::nullopt;
    return evdev;
}

std::optional<std::uint32_t> virtualKeyForEvdevCode(std::uint32_t evdevCode)
{
    if (const auto classic = classicKeyForEvdevCode(evdevCode))
        return classic;
    if (evdevCode == 0 || evdevCode > lastEvdevCode || isModifierKey(evdevCode))
        return std::nullopt;
    return linuxKeyBase + evdevCode;
}

} // namespace quandrel
