#include "Display.h"

namespace quandrel {

std::size_t pivotDisplay(const std::vector<Rect>& frames, std::optional<std::size_t> primary)
{
    if (primary && *primary < frames.size())
        return *primary;
    std::size_t best = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].x == 0 && frames[i].y == 0)
            return i;
        const Rect& b = frames[best];
        if (frames[i].y < b.y || (frames[i].y == b.y && frames[i].x < b.x))
            best = i;
    }
    return best;
}

} // namespace quandrel
