#include "AfterCapture.h"

namespace quandrel {

namespace {

struct Names {
    std::string_view raw, label;
};
constexpr std::array<Names, allAfterCaptures.size()> afterCaptureNames = {{
    {"copyAndThumbnail", "Copy and show a thumbnail"},
    {"openEditor", "Open the editor"},
    {"pin", "Pin it to the screen"},
    {"copyOnly", "Copy to the clipboard"},
    {"save", "Save to the screenshots folder"},
}};

} // namespace

std::string_view rawName(AfterCapture v) { return afterCaptureNames[static_cast<std::size_t>(v)].raw; }
std::string_view label(AfterCapture v) { return afterCaptureNames[static_cast<std::size_t>(v)].label; }

std::optional<AfterCapture> afterCaptureFromRawName(std::string_view raw)
{
    for (const AfterCapture v : allAfterCaptures) {
        if (rawName(v) == raw)
            return v;
    }
    return std::nullopt;
}

} // namespace quandrel
