#include "RGBA.h"

#include <algorithm>

namespace quandrel {

RGBA RGBA::fromColor(const QColor& color)
{
    if (!color.isValid())
        return systemRed;
    // toRgb() converts HSV, HSL and CMYK colours to sRGB; extended-range components are
    // clamped to the 0…1 range that an RGBA holds.
    const QColor rgb = color.toRgb();
    float r = 0, g = 0, b = 0, a = 0;
    rgb.getRgbF(&r, &g, &b, &a);
    const auto unit = [](float v) { return std::clamp(double(v), 0.0, 1.0); };
    return {unit(r), unit(g), unit(b), unit(a)};
}

QColor RGBA::toColor() const
{
    return QColor::fromRgbF(float(red), float(green), float(blue), float(alpha));
}

size_t qHash(const RGBA& color, size_t seed) noexcept
{
    return qHashMulti(seed, color.red, color.green, color.blue, color.alpha);
}

} // namespace quandrel
