#include "StrokeSize.h"

#include <QtGlobal>

namespace quandrel {

double rawValue(StrokeSize size)
{
    switch (size) {
    case StrokeSize::small: return 2;
    case StrokeSize::medium: return 4;
    case StrokeSize::large: return 8;
    }
    Q_UNREACHABLE();
}

std::string_view label(StrokeSize size)
{
    switch (size) {
    case StrokeSize::small: return QT_TRANSLATE_NOOP("StrokeSize", "Thin");
    case StrokeSize::medium: return QT_TRANSLATE_NOOP("StrokeSize", "Medium");
    case StrokeSize::large: return QT_TRANSLATE_NOOP("StrokeSize", "Thick");
    }
    Q_UNREACHABLE();
}

std::optional<StrokeSize> strokeSizeFromRawValue(double points)
{
    for (const StrokeSize size : allStrokeSizes) {
        if (rawValue(size) == points)
            return size;
    }
    return std::nullopt;
}

} // namespace quandrel
