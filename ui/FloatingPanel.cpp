#include "FloatingPanel.h"

#include "X11WindowHints.h"

#include <QGuiApplication>
#include <QPainterPath>
#include <QRegion>

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

xcb_connection_t* qtConnection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

} // namespace

bool compositingManagerRuns()
{
    if (compositingOverride)
        return *compositingOverride;
    xcb_connection_t* c = qtConnection();
    if (!c)
        return false;
    // Qt's X connection is opened on the display's default screen.
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype dot = display.lastIndexOf('.');
    const qsizetype colon = display.lastIndexOf(':');
    const int screen = dot > colon && colon >= 0 ? display.mid(dot + 1).toInt() : 0;
    return x11::compositingManagerRuns(c, screen);
}

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
        if (xcb_connection_t* c = qtConnection())
            x11::markFloatingPanel(c, std::uint32_t(winId()));
    }
    show();
    raise();
}

void FloatingPanel::setCompositingOverride(std::optional<bool> value) { compositingOverride = value; }

void FloatingPanel::keepAspectRatio(QSize ratio)
{
    if (!testAttribute(Qt::WA_WState_Created) || ratio.isEmpty())
        return;
    x11::setAspectRatio(qtConnection(), std::uint32_t(winId()), ratio.width(), ratio.height());
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
