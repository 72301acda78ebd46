#include "OverlayWindow.h"

#include "OverlayView.h"

#include <QKeyEvent>

namespace quandrel {


OverlayWindow::OverlayWindow()
    : QWidget(nullptr, Qt::Window | Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_view(new OverlayView(this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(false);
    setCursor(Qt::CrossCursor);
    setFocusProxy(m_view);
    setWindowTitle(QStringLiteral("Quandrel selection"));
}

void OverlayWindow::resizeEvent(QResizeEvent*) { m_view->setGeometry(rect()); }

void OverlayWindow::releaseNativeWindow()
{
    if (isVisible() || !testAttribute(Qt::WA_WState_Created))
        return;
    destroy();
}

void OverlayWindow::keyPressEvent(QKeyEvent* event)
{
    // A key the view passed on comes here as well; it is not handed back.
    if (focusWidget() != m_view && m_view->handleKey(event))
        return;
    QWidget::keyPressEvent(event);
}

} // namespace quandrel
