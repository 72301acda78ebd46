#pragma once

// The editor's colour: four sRGB components in 0…1, compared exactly.

#include <QColor>
#include <QHashFunctions>

#include <array>
#include <cstddef>
#include <functional>

namespace quandrel {

struct RGBA {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    bool operator==(const RGBA&) const = default;

    // The colour in sRGB. A colour that has no sRGB form (an invalid QColor) gives
    // systemRed instead.
    static RGBA fromColor(const QColor& color);

    QColor toColor() const;

    // 0.299·red + 0.587·green + 0.114·blue, the brightness used to pick a badge's number colour.
    double luminance() const { return 0.299 * red + 0.587 * green + 0.114 * blue; }
};

// The editor's palette in toolbar order; the first is also a new document's colour.
inline constexpr std::array<RGBA, 7> editorPalette = {{
    {1.0, 0.23, 0.19, 1.0},
    {1.0, 0.58, 0.0, 1.0},
    {1.0, 0.84, 0.04, 1.0},
    {0.2, 0.78, 0.35, 1.0},
    {0.0, 0.48, 1.0, 1.0},
    {0.0, 0.0, 0.0, 1.0},
    {1.0, 1.0, 1.0, 1.0},
}};

// Linux desktops have no system-wide "system red"; the fallback for colours without an sRGB
// form is the editor palette's red.
inline constexpr RGBA systemRed = editorPalette[0];

size_t qHash(const RGBA& color, size_t seed = 0) noexcept;

} // namespace quandrel

template<>
struct std::hash<quandrel::RGBA> {
    size_t operator()(const quandrel::RGBA& color) const noexcept { return quandrel::qHash(color); }
};
