#include "SnapPreview.h"
#include "ScreenSpace.h"

#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QRegion>

namespace quandrel {

SnapPreview::SnapPreview(std::function<double()> primaryHeight, std::function<bool()> compositing)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput
                           | Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint | Qt::NoDropShadowWindowHint)
    , m_primaryHeight(std::move(primaryHeight))
    , m_compositing(std::move(compositing))
    , m_geometryAnimation(new QPropertyAnimation(this, "geometry", this))
    , m_fadeAnimation(new QPropertyAnimation(this, "windowOpacity", this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setWindowTitle(QStringLiteral("Quandrel snap preview"));
    m_geometryAnimation->setDuration(animationMs);
    m_fadeAnimation->setDuration(animationMs);
}

void SnapPreview::show(const Rect& screenFrame)
{
    const Rect r = ScreenSpace(m_primaryHeight()).toWindow(screenFrame);
    m_target = QRect(int(r.x), int(r.y), int(r.width), int(r.height));
    if (isVisible()) {
        m_geometryAnimation->stop();
        m_geometryAnimation->setStartValue(geometry());
        m_geometryAnimation->setEndValue(m_target);
        m_geometryAnimation->start();
        return;
    }
    setGeometry(m_target);
    updateShape();
    const bool fade = m_compositing();
    setWindowOpacity(fade ? 0.0 : 1.0);
    QWidget::show();
    raise();
    if (fade) {
        m_fadeAnimation->stop();
        m_fadeAnimation->setStartValue(0.0);
        m_fadeAnimation->setEndValue(1.0);
        m_fadeAnimation->start();
    }
}

void SnapPreview::hide()
{
    m_geometryAnimation->stop();
    m_fadeAnimation->stop();
    QWidget::hide();
}

void SnapPreview::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateShape();
}

void SnapPreview::updateShape()
{
    // Without a compositor the background cannot be translucent: show the outline only.
    if (m_compositing()) {
        clearMask();
        return;
    }
    const QRect outer = rect();
    const int w = int(borderWidth) + 1;
    QPainterPath ring;
    ring.addRoundedRect(QRectF(outer), cornerRadius, cornerRadius);
    QPainterPath inner;
    inner.addRoundedRect(QRectF(outer.adjusted(w, w, -w, -w)), cornerRadius - w, cornerRadius - w);
    setMask(QRegion(ring.subtracted(inner).toFillPolygon().toPolygon()));
}

void SnapPreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor accent = palette().color(QPalette::Highlight);
    QColor fill = accent;
    fill.setAlphaF(0.18f);
    QColor border = accent;
    border.setAlphaF(m_compositing() ? 0.8f : 1.0f);
    const QRectF box = QRectF(rect()).adjusted(borderWidth / 2, borderWidth / 2, -borderWidth / 2, -borderWidth / 2);
    painter.setPen(QPen(border, borderWidth));
    painter.setBrush(m_compositing() ? QBrush(fill) : QBrush(Qt::NoBrush));
    painter.drawRoundedRect(box, cornerRadius, cornerRadius);
}

} // namespace quandrel
