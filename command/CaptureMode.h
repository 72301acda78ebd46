#pragma once

// The kinds of screenshot. Stored and exchanged by raw name (the case name); the declaration
// order is the iteration order of menus, settings rows and hot-key registration.

#include <QString>

#include <array>
#include <optional>
#include <string_view>

namespace quandrel {

enum class CaptureMode {
    area,
    fullScreen,
    window,
    text,
    repeatArea,
    allDisplays, // every display in one image, laid out as the displays are
};

inline constexpr std::array allCaptureModes = {
    CaptureMode::area,       CaptureMode::fullScreen,  CaptureMode::window,
    CaptureMode::text,       CaptureMode::repeatArea,  CaptureMode::allDisplays,
};

namespace detail {
struct CaptureModeNames {
    std::string_view raw, title, symbol;
};
inline constexpr std::array<CaptureModeNames, allCaptureModes.size()> captureModeNames = {{
    {"area", QT_TRANSLATE_NOOP("CaptureMode", "Capture Area"), "rectangle.dashed"},
    {"fullScreen", QT_TRANSLATE_NOOP("CaptureMode", "Capture Full Screen"), "display"},
    {"window", QT_TRANSLATE_NOOP("CaptureMode", "Capture Window"), "window"},
    {"text", QT_TRANSLATE_NOOP("CaptureMode", "Copy Text from Area (OCR)"), "text.viewfinder"},
    {"repeatArea", QT_TRANSLATE_NOOP("CaptureMode", "Repeat Last Area"), "arrow.counterclockwise"},
    {"allDisplays", QT_TRANSLATE_NOOP("CaptureMode", "Capture All Displays"), "display.2"},
}};
} // namespace detail

constexpr std::string_view rawName(CaptureMode m) { return detail::captureModeNames[static_cast<std::size_t>(m)].raw; }
constexpr std::string_view title(CaptureMode m) { return detail::captureModeNames[static_cast<std::size_t>(m)].title; }
// The title in the user's language.
QString displayTitle(CaptureMode mode);
constexpr std::string_view symbolName(CaptureMode m) { return detail::captureModeNames[static_cast<std::size_t>(m)].symbol; }

constexpr std::optional<CaptureMode> captureModeFromRawName(std::string_view raw)
{
    for (const CaptureMode m : allCaptureModes) {
        if (rawName(m) == raw)
            return m;
    }
    return std::nullopt;
}

} // namespace quandrel
