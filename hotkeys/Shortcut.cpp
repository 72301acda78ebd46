#include "Shortcut.h"

#include "KeyboardLayout.h"

#include <QCoreApplication>
#include <QJsonValue>
#include <QString>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string>
#include <utility>

namespace quandrel {

namespace {

constexpr std::uint32_t linuxKey(std::uint32_t evdevCode) { return linuxKeyBase + evdevCode; }

// The keys whose names do not come from the layout, by stored code; words are translated, the
// arrows and function keys read the same everywhere.
constexpr std::pair<std::uint32_t, const char*> namedKeys[] = {
    {123, "←"}, {124, "→"}, {126, "↑"}, {125, "↓"}, {36, QT_TRANSLATE_NOOP("Shortcut", "Return")},
    {48, QT_TRANSLATE_NOOP("Shortcut", "Tab")}, {49, QT_TRANSLATE_NOOP("Shortcut", "Space")},
    {51, QT_TRANSLATE_NOOP("Shortcut", "Backspace")}, {117, QT_TRANSLATE_NOOP("Shortcut", "Delete")},
    {53, QT_TRANSLATE_NOOP("Shortcut", "Escape")}, {114, QT_TRANSLATE_NOOP("Shortcut", "Insert")},
    {115, QT_TRANSLATE_NOOP("Shortcut", "Home")}, {119, QT_TRANSLATE_NOOP("Shortcut", "End")},
    {116, QT_TRANSLATE_NOOP("Shortcut", "Page Up")}, {121, QT_TRANSLATE_NOOP("Shortcut", "Page Down")}, {122, "F1"},
    {120, "F2"}, {99, "F3"}, {118, "F4"}, {96, "F5"}, {97, "F6"}, {98, "F7"}, {100, "F8"}, {101, "F9"}, {109, "F10"},
    {103, "F11"}, {111, "F12"}, {105, "F13"}, {107, "F14"}, {113, "F15"}, {106, "F16"}, {64, "F17"}, {79, "F18"}, {80, "F19"},
    {90, "F20"}, {linuxKey(191), "F21"}, {linuxKey(192), "F22"}, {linuxKey(193), "F23"}, {linuxKey(194), "F24"},
    {76, QT_TRANSLATE_NOOP("Shortcut", "Keypad Enter")}, {71, QT_TRANSLATE_NOOP("Shortcut", "Num Lock")},
    {linuxKey(99), QT_TRANSLATE_NOOP("Shortcut", "Print")}, {linuxKey(119), QT_TRANSLATE_NOOP("Shortcut", "Pause")},
    {linuxKey(70), QT_TRANSLATE_NOOP("Shortcut", "Scroll Lock")}, {linuxKey(127), QT_TRANSLATE_NOOP("Shortcut", "Menu")},
    // Media and launcher keys; the rest are named by the layout's symbol names.
    {74, QT_TRANSLATE_NOOP("Shortcut", "Mute")}, {73, QT_TRANSLATE_NOOP("Shortcut", "Volume Down")},
    {72, QT_TRANSLATE_NOOP("Shortcut", "Volume Up")}, {linuxKey(164), QT_TRANSLATE_NOOP("Shortcut", "Play")},
    {linuxKey(166), QT_TRANSLATE_NOOP("Shortcut", "Stop")}, {linuxKey(165), QT_TRANSLATE_NOOP("Shortcut", "Previous Track")},
    {linuxKey(163), QT_TRANSLATE_NOOP("Shortcut", "Next Track")}, {linuxKey(140), QT_TRANSLATE_NOOP("Shortcut", "Calculator")},
    {linuxKey(155), QT_TRANSLATE_NOOP("Shortcut", "Mail")}, {linuxKey(172), QT_TRANSLATE_NOOP("Shortcut", "Home Page")},
    {linuxKey(217), QT_TRANSLATE_NOOP("Shortcut", "Search")}, {linuxKey(224), QT_TRANSLATE_NOOP("Shortcut", "Brightness Down")},
    {linuxKey(225), QT_TRANSLATE_NOOP("Shortcut", "Brightness Up")},
};

// The keypad, whatever Num Lock makes of it: "Keypad" and the key's face.
constexpr std::pair<std::uint32_t, const char*> keypadKeys[] = {
    {82, "0"}, {83, "1"}, {84, "2"}, {85, "3"}, {86, "4"}, {87, "5"}, {88, "6"}, {89, "7"}, {91, "8"}, {92, "9"},
    {65, "."}, {95, ","}, {67, "*"}, {75, "/"}, {69, "+"}, {78, "-"}, {81, "="},
};

// The modifiers in the order the desktops write them.
constexpr std::pair<std::uint32_t, const char*> modifierNames[] = {
    {modifier::control, QT_TRANSLATE_NOOP("Shortcut", "Ctrl")}, {modifier::alt, QT_TRANSLATE_NOOP("Shortcut", "Alt")},
    {modifier::shift, QT_TRANSLATE_NOOP("Shortcut", "Shift")}, {modifier::super, QT_TRANSLATE_NOOP("Shortcut", "Super")},
};

std::string translated(const char* text) { return QCoreApplication::translate("Shortcut", text).toStdString(); }

// F1–F20 of the classic table (F21–F24 are among the Linux keys).
constexpr std::uint32_t functionKeys[] = {122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111, 105, 107, 113, 106, 64, 79, 80, 90};
// Mute, volume down and up.
constexpr std::uint32_t classicMediaKeys[] = {74, 73, 72};

template <std::size_t n>
bool contains(const std::uint32_t (&keys)[n], std::uint32_t keyCode)
{
    return std::find(std::begin(keys), std::end(keys), keyCode) != std::end(keys);
}

// An XKB symbol name as a person reads it: "XF86AudioRaiseVolume" is "Audio Raise Volume",
// "Hangul_Hanja" "Hangul Hanja".
std::string readableSymbolName(std::string name)
{
    for (const char* prefix : {"XF86", "ISO_"}) {
        if (name.starts_with(prefix))
            name.erase(0, std::char_traits<char>::length(prefix));
    }
    std::string text;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '_') {
            text += ' ';
            continue;
        }
        const bool wordStarts = i > 0 && std::isupper(static_cast<unsigned char>(c)) && std::islower(static_cast<unsigned char>(name[i - 1]));
        if (wordStarts)
            text += ' ';
        text += c;
    }
    return text;
}

} // namespace

bool worksWithoutModifier(std::uint32_t keyCode)
{
    if (contains(functionKeys, keyCode) || contains(classicMediaKeys, keyCode))
        return true;
    if (keyCode <= linuxKeyBase)
        return false;
    const std::uint32_t evdev = keyCode - linuxKeyBase;
    // Print, Pause, Scroll Lock; from 128 on, the media, launcher and brightness keys and
    // F13–F24, less the keypad's parentheses, which type text.
    if (evdev == 99 || evdev == 119 || evdev == 70)
        return true;
    return evdev >= 128 && evdev != 179 && evdev != 180;
}

std::string keyName(std::uint32_t keyCode, const KeyboardLayout* layout)
{
    for (const auto& [code, name] : namedKeys) {
        if (code == keyCode)
            return translated(name);
    }
    for (const auto& [code, face] : keypadKeys) {
        if (code == keyCode)
            return QCoreApplication::translate("Shortcut", "Keypad %1").arg(QLatin1String(face)).toStdString();
    }
    if (layout) {
        if (const auto xKeycode = xKeycodeForKey(keyCode)) {
            const QString symbol = QString::fromStdString(layout->symbolForKeycode(*xKeycode)).trimmed();
            // Control characters (Escape, Backspace on some layouts) are not names.
            if (!symbol.isEmpty() && symbol.at(0).isPrint())
                return symbol.toUpper().toStdString();
            if (const std::string name = layout->keysymName(*xKeycode); !name.empty())
                return readableSymbolName(name);
        }
    }
    return QCoreApplication::translate("Shortcut", "Key %1").arg(keyCode).toStdString();
}

std::string displayText(const Shortcut& shortcut, const KeyboardLayout* layout)
{
    std::string text;
    for (const auto& [bit, name] : modifierNames) {
        if (shortcut.modifiers & bit)
            text += translated(name) + '+';
    }
    return text + keyName(shortcut.keyCode, layout);
}

std::uint32_t modifierMask(Qt::KeyboardModifiers modifiers)
{
    std::uint32_t mask = 0;
    if (modifiers & Qt::MetaModifier)
        mask |= modifier::super;
    if (modifiers & Qt::AltModifier)
        mask |= modifier::alt;
    if (modifiers & Qt::ControlModifier)
        mask |= modifier::control;
    if (modifiers & Qt::ShiftModifier)
        mask |= modifier::shift;
    return mask;
}

std::optional<Shortcut> shortcutFromKeyEvent(std::uint32_t nativeScanCode, Qt::KeyboardModifiers modifiers)
{
    const auto keyCode = virtualKeyForXKeycode(nativeScanCode);
    if (!keyCode)
        return std::nullopt;
    const std::uint32_t mask = modifierMask(modifiers);
    if (mask == 0 && !worksWithoutModifier(*keyCode))
        return std::nullopt;
    return Shortcut{*keyCode, mask};
}

const std::map<WindowAction, Shortcut>& defaultWindowShortcuts()
{
    static const std::map<WindowAction, Shortcut> table = [] {
        using A = WindowAction;
        constexpr std::uint32_t ctrlOpt = 0x1800;
        return std::map<WindowAction, Shortcut>{
            {A::leftHalf, {123, ctrlOpt}},       {A::rightHalf, {124, ctrlOpt}},   {A::topHalf, {126, ctrlOpt}},
            {A::bottomHalf, {125, ctrlOpt}},     {A::topLeft, {32, ctrlOpt}},      {A::topRight, {34, ctrlOpt}},
            {A::bottomLeft, {38, ctrlOpt}},      {A::bottomRight, {40, ctrlOpt}},  {A::firstThird, {2, ctrlOpt}},
            {A::centerThird, {3, ctrlOpt}},      {A::lastThird, {5, ctrlOpt}},     {A::firstTwoThirds, {14, ctrlOpt}},
            {A::lastTwoThirds, {17, ctrlOpt}},   {A::maximize, {36, ctrlOpt}},     {A::maximizeHeight, {126, 0x1A00}},
            {A::center, {8, ctrlOpt}},           {A::smaller, {27, ctrlOpt}},      {A::larger, {24, ctrlOpt}},
            {A::restore, {51, ctrlOpt}},         {A::nextDisplay, {124, 0x1900}},  {A::previousDisplay, {123, 0x1900}},
        };
    }();
    return table;
}

const std::map<CaptureMode, Shortcut>& defaultCaptureShortcuts()
{
    static const std::map<CaptureMode, Shortcut> table{
        {CaptureMode::area, {19, 0x0300}},
        {CaptureMode::fullScreen, {18, 0x0300}},
        {CaptureMode::window, {22, 0x0300}},
        {CaptureMode::text, {26, 0x0300}},
    };
    return table;
}

QJsonObject toJson(const Shortcut& shortcut)
{
    return {{QStringLiteral("keyCode"), qint64(shortcut.keyCode)}, {QStringLiteral("modifiers"), qint64(shortcut.modifiers)}};
}

std::optional<Shortcut> shortcutFromJson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    const QJsonValue keyCode = o.value(QLatin1String("keyCode"));
    const QJsonValue modifiers = o.value(QLatin1String("modifiers"));
    auto asUInt32 = [](const QJsonValue& v) -> std::optional<std::uint32_t> {
        if (!v.isDouble())
            return std::nullopt;
        const double d = v.toDouble();
        if (d < 0 || d > 4294967295.0 || d != double(qint64(d)))
            return std::nullopt;
        return std::uint32_t(qint64(d));
    };
    const auto k = asUInt32(keyCode);
    const auto m = asUInt32(modifiers);
    if (!k || !m)
        return std::nullopt;
    return Shortcut{*k, *m};
}

} // namespace quandrel
