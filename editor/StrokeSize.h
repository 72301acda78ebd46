#pragma once

// The three stroke sizes of the toolbar. The raw value is the width in points; the document
// multiplies it by the image's scale to get the line width in image pixels.

#include <array>
#include <optional>
#include <string_view>

namespace quandrel {

enum class StrokeSize {
    small,
    medium,
    large,
};

inline constexpr std::array allStrokeSizes = {StrokeSize::small, StrokeSize::medium, StrokeSize::large};

double rawValue(StrokeSize size); // 2, 4, 8 points
std::string_view label(StrokeSize size); // "Thin", "Medium", "Thick"
// Exactly 2, 4 and 8; any other width gives nothing.
std::optional<StrokeSize> strokeSizeFromRawValue(double points);

} // namespace quandrel
