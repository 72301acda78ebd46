#pragma once

// Whether the person asked for dark or light windows: QUANDREL_COLOR_SCHEME ("dark" or
// "light") first, then GNOME's colour scheme ("prefer-dark", "prefer-light"); none when
// neither says.

#include <optional>

namespace quandrel::freedesktop {

enum class ColourScheme { light, dark };

std::optional<ColourScheme> preferredColourScheme();

} // namespace quandrel::freedesktop
