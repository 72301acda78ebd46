#include "FloatingPanel.h"

#include "OwnWindows.h"
#include "Unavailable.h"

#include <QGuiApplication>
#include <QPainterPath>
#include <QRegion>
#include <QWindow>

namespace quandrel::ui {

namespace {

std::optional<bool> compositingOverride;

Qt::WindowFlags flagsFor(FloatingPanel::Focus focus, FloatingPanel::Input input)
{
    Qt::WindowFlags flags = Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    if (focus == FloatingPanel::Focus::never)
        flags |= Qt::WindowDoesNotAcceptFocus;
    // A window manager's frame around the panel would still catch the clicks, so a
    // click-through panel is placed by Quandrel alone.
    if (input == FloatingPanel::Input::clickThrough)
        flags |= Qt::WindowTransparentForInput | Qt::X11BypassWindowManagerHint;
    return flags;
}

PlainOwnWindows plainWindows;
OwnWindows* sessionWindows = &plainWindows;

} // namespace

bool compositingManagerRuns()
{
    if (compositingOverride)
        return *compositingOverride;
    return sessionWindows->compositing();
}

void FloatingPanel::useOwnWindows(OwnWindows* windows) { sessionWindows = windows ? windows : &plainWindows; }

FloatingPanel::FloatingPanel(const QRect& frame, Focus focus, Input input)
    : QWidget(nullptr, flagsFor(focus, input))
    , m_compositing(compositingManagerRuns())
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    if (focus == Focus::never)
        setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setGeometry(frame);
}

void FloatingPanel::showPanel()
{
    if (!isVisible()) {
        create();
        if (QWindow* window = windowHandle())
            sessionWindows->markFloatingPanel(*window);
    }
    show();
    raise();
}

void FloatingPanel::setCompositingOverride(std::optional<bool> value) { compositingOverride = value; }

void FloatingPanel::keepAspectRatio(QSize ratio)
{
    if (!testAttribute(Qt::WA_WState_Created) || ratio.isEmpty())
        return;
    if (QWindow* window = windowHandle())
        sessionWindows->keepAspectRatio(*window, ratio.width(), ratio.height());
}

void FloatingPanel::applyRoundedOutline(qreal radius)
{
    if (compositing()) {
        clearMask();
        return;
    }
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), radius, radius);
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

} // namespace quandrel::ui
