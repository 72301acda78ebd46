#include "Shortcut.h"

#include "KeyboardLayout.h"

#include <QJsonValue>
#include <QString>

#include <array>
#include <utility>

namespace quandrel {

namespace {

constexpr std::pair<std::uint32_t, const char*> namedKeys[] = {
    {123, "←"}, {124, "→"}, {126, "↑"}, {125, "↓"}, {36, "↩"}, {76, "⌤"}, {51, "⌫"}, {117, "⌦"}, {53, "⎋"},
    {48, "⇥"}, {49, "Space"}, {115, "↖"}, {119, "↘"}, {116, "⇞"}, {121, "⇟"}, {122, "F1"}, {120, "F2"},
    {99, "F3"}, {118, "F4"}, {96, "F5"}, {97, "F6"}, {98, "F7"}, {100, "F8"}, {101, "F9"}, {109, "F10"},
    {103, "F11"}, {111, "F12"}, {105, "F13"}, {107, "F14"}, {113, "F15"}, {106, "F16"}, {64, "F17"},
    {79, "F18"}, {80, "F19"},
};

constexpr std::array<std::uint32_t, 19> functionKeys = {122, 120, 99, 118, 96, 97, 98, 100, 101, 109,
                                                        103, 111, 105, 107, 113, 106, 64, 79, 80};

constexpr std::pair<std::uint32_t, Qt::Key> menuKeys[] = {
    {36, Qt::Key_Return}, {48, Qt::Key_Tab},      {49, Qt::Key_Space},    {51, Qt::Key_Backspace},
    {53, Qt::Key_Escape}, {115, Qt::Key_Home},    {116, Qt::Key_PageUp},  {117, Qt::Key_Delete},
    {119, Qt::Key_End},   {121, Qt::Key_PageDown}, {123, Qt::Key_Left},   {124, Qt::Key_Right},
    {125, Qt::Key_Down},  {126, Qt::Key_Up},
};

} // namespace

bool isFunctionKey(std::uint32_t keyCode)
{
    for (const std::uint32_t f : functionKeys) {
        if (f == keyCode)
            return true;
    }
    return false;
}

std::string keyName(std::uint32_t keyCode, const KeyboardLayout* layout)
{
    for (const auto& [code, name] : namedKeys) {
        if (code == keyCode)
            return name;
    }
    if (layout) {
        if (const auto xKeycode = xKeycodeForKey(keyCode)) {
            const QString symbol = QString::fromStdString(layout->symbolForKeycode(*xKeycode)).trimmed();
            // Control characters (Escape, Backspace on some layouts) are not names.
            if (!symbol.isEmpty() && symbol.at(0).isPrint())
                return symbol.toUpper().toStdString();
        }
    }
    return "Key " + std::to_string(keyCode);
}

std::string displayText(const Shortcut& shortcut, const KeyboardLayout* layout)
{
    std::string text;
    if (shortcut.modifiers & modifier::control)
        text += "⌃";
    if (shortcut.modifiers & modifier::alt)
        text += "⌥";
    if (shortcut.modifiers & modifier::shift)
        text += "⇧";
    if (shortcut.modifiers & modifier::super)
        text += "⌘";
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
    if (mask == 0 && !isFunctionKey(*keyCode))
        return std::nullopt;
    return Shortcut{*keyCode, mask};
}

std::optional<QKeySequence> menuKeyEquivalent(const Shortcut& shortcut, const KeyboardLayout* layout)
{
    Qt::KeyboardModifiers modifiers;
    if (shortcut.modifiers & modifier::super)
        modifiers |= Qt::MetaModifier;
    if (shortcut.modifiers & modifier::alt)
        modifiers |= Qt::AltModifier;
    if (shortcut.modifiers & modifier::control)
        modifiers |= Qt::ControlModifier;
    if (shortcut.modifiers & modifier::shift)
        modifiers |= Qt::ShiftModifier;

    for (const auto& [code, key] : menuKeys) {
        if (code == shortcut.keyCode)
            return QKeySequence(QKeyCombination(modifiers, key));
    }
    const QString name = QString::fromStdString(keyName(shortcut.keyCode, layout)).toLower();
    if (name.size() != 1)
        return std::nullopt;
    // Qt names character keys by their upper-case code point.
    return QKeySequence(QKeyCombination(modifiers, Qt::Key(name.at(0).toUpper().unicode())));
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
