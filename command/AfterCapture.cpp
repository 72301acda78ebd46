#include "AfterCapture.h"

#include <QCoreApplication>

namespace quandrel {

namespace {

struct Names {
    std::string_view raw, label;
};
constexpr std::array<Names, allAfterCaptures.size()> afterCaptureNames = {{
    {"copyAndThumbnail", QT_TRANSLATE_NOOP("AfterCapture", "Copy and show a thumbnail")},
    {"openEditor", QT_TRANSLATE_NOOP("AfterCapture", "Open the editor")},
    {"pin", QT_TRANSLATE_NOOP("AfterCapture", "Pin it to the screen")},
    {"copyOnly", QT_TRANSLATE_NOOP("AfterCapture", "Copy to the clipboard")},
    {"save", QT_TRANSLATE_NOOP("AfterCapture", "Save to the screenshots folder")},
}};

} // namespace

std::string_view rawName(AfterCapture v) { return afterCaptureNames[static_cast<std::size_t>(v)].raw; }
std::string_view label(AfterCapture v) { return afterCaptureNames[static_cast<std::size_t>(v)].label; }
QString displayLabel(AfterCapture v) { return QCoreApplication::translate("AfterCapture", label(v).data()); }

std::optional<AfterCapture> afterCaptureFromRawName(std::string_view raw)
{
    for (const AfterCapture v : allAfterCaptures) {
        if (rawName(v) == raw)
            return v;
    }
    return std::nullopt;
}

} // namespace quandrel
