#include "Geometry.h"

#include <cstdio>

namespace quandrel {

namespace {
std::string number(double v)
{
    char buffer[64];
    if (v == std::floor(v) && std::fabs(v) < 1e15)
        std::snprintf(buffer, sizeof buffer, "%.0f", v);
    else
        std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}
} // namespace

std::string toString(const Rect& r)
{
    return "(" + number(r.x) + ", " + number(r.y) + ", " + number(r.width) + ", " + number(r.height) + ")";
}

std::string toString(const Point& p) { return "(" + number(p.x) + ", " + number(p.y) + ")"; }

} // namespace quandrel
