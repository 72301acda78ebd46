#include "PanelScreens.h"

#include "PanelLayout.h"
#include "ScreenSpace.h"

#include <QCursor>

#include <cmath>

namespace quandrel {

std::optional<Point> PanelScreens::currentPointer() const
{
    if (pointer)
        return pointer();
    const QPoint p = QCursor::pos();
    return Point{double(p.x()), double(p.y())};
}

std::optional<Rect> PanelScreens::visibleFrame() const { return panelVisibleFrame(currentDisplays(), currentPointer()); }

QRect PanelScreens::toGlobal(const Rect& screenRect) const
{
    const Rect r = ScreenSpace::of(currentDisplays()).toWindow(screenRect);
    const int x = int(std::lround(r.x));
    const int y = int(std::lround(r.y));
    return QRect(x, y, std::max(1, int(std::lround(r.width))), std::max(1, int(std::lround(r.height))));
}

Rect PanelScreens::fromGlobal(const QRect& global) const
{
    return ScreenSpace::of(currentDisplays()).fromWindow(Rect{double(global.x()), double(global.y()), double(global.width()), double(global.height())});
}

} // namespace quandrel
