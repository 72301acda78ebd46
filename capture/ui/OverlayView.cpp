#include "OverlayView.h"

#include "ScreenCapturer.h"
#include "ScreenSpace.h"
#include "SelectionOverlay.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include <cmath>

namespace quandrel {

using namespace overlay;

namespace {

// Half the white outline and anti-aliasing around drawn parts, in widget pixels.
constexpr int strokeMargin = 2;

QColor withAlpha(QColor colour, double alpha)
{
    colour.setAlphaF(float(alpha));
    return colour;
}

// The region whose pixels differ between two highlights: what changed inside, and both
// outlines.
QRegion highlightChange(const QRect& before, const QRect& after)
{
    QRegion region = QRegion(before).xored(QRegion(after));
    for (const QRect& r : {before, after}) {
        if (r.isEmpty())
            continue;
        region += QRegion(r.adjusted(-1, -1, 1, 1)).subtracted(QRegion(r.adjusted(1, 1, -1, -1)));
    }
    return region;
}

} // namespace


OverlayView::OverlayView(QWidget* parent)
    : QWidget(parent)
    , m_font(pillFont())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
}

QFont OverlayView::pillFont()
{
    QFont font = QApplication::font();
    font.setPixelSize(13);
    font.setWeight(QFont::Medium);
    return font;
}

void OverlayView::begin(SelectionOverlay* overlay, const FrozenDisplay& display)
{
    m_overlay = overlay;
    m_display = display;
    dimInto(display.image.image, m_dimmed);
    m_dragStart.reset();
    m_dragCurrent.reset();
    m_mouse.reset();
    m_adjusting = false;
    m_scene = sceneFor(state(), [this](const QString& text) {
        const QFontMetricsF metrics(m_font);
        return Size{metrics.horizontalAdvance(text), metrics.height()};
    });
    m_paints = 0;
}

void OverlayView::end()
{
    m_overlay = nullptr;
    m_display = {};
    m_dragStart.reset();
    m_dragCurrent.reset();
    m_mouse.reset();
    m_adjusting = false;
    m_scene = {};
}

void OverlayView::releaseBuffers() { m_dimmed = QImage(); }

void OverlayView::startDrag(Point local)
{
    m_dragStart = m_dragCurrent = local;
    m_mouse = local;
}

void OverlayView::dragTo(Point local)
{
    if (!dragging())
        return;
    m_dragCurrent = local;
    m_mouse = local;
}

void OverlayView::clearDrag()
{
    m_dragStart.reset();
    m_dragCurrent.reset();
    m_adjusting = false;
}

void OverlayView::setArea(const Rect& local)
{
    m_dragStart = Point{local.minX(), local.minY()};
    m_dragCurrent = Point{local.maxX(), local.maxY()};
}

void OverlayView::setMouse(std::optional<Point> local) { m_mouse = local; }

ViewState OverlayView::state() const
{
    ViewState s;
    s.frame = m_display.screen.frame;
    s.scale = m_display.image.scale > 0 ? m_display.image.scale : 1;
    s.dragStart = m_dragStart;
    s.dragCurrent = m_dragCurrent;
    s.mouse = m_mouse;
    s.adjusting = adjusting();
    if (m_overlay) {
        s.windowMode = m_overlay->windowMode();
        if (const auto hovered = m_overlay->hovered())
            s.hoveredFrame = hovered->frame;
        s.showsHint = m_overlay->showsHint(this);
    }
    return s;
}

QRect OverlayView::widgetRect(const Rect& local, int margin) const
{
    const QRect r = toWidget(local, size().height).toAlignedRect();
    return r.adjusted(-margin, -margin, margin, margin);
}

void OverlayView::refresh()
{
    if (!m_overlay)
        return;
    const ViewScene next = sceneFor(state(), [this](const QString& text) {
        const QFontMetricsF metrics(m_font);
        return Size{metrics.horizontalAdvance(text), metrics.height()};
    });
    const ViewScene& last = m_scene;
    QRegion region;
    const auto both = [&](const std::optional<Rect>& a, const std::optional<Rect>& b, int margin) {
        if (a)
            region += widgetRect(*a, margin);
        if (b)
            region += widgetRect(*b, margin);
    };
    if (last.accentFill != next.accentFill)
        both(last.highlight, next.highlight, 1); // the tint comes or goes over the whole highlight
    else if (last.highlight != next.highlight)
        region += highlightChange(last.highlight ? widgetRect(*last.highlight) : QRect(),
                                  next.highlight ? widgetRect(*next.highlight) : QRect());
    if (last.labelPill != next.labelPill || last.label != next.label)
        both(last.labelPill, next.labelPill, 1);
    if (last.guides != next.guides) {
        const int w = width(), h = height();
        for (const auto& g : {last.guides, next.guides}) {
            if (!g)
                continue;
            const QRectF line = toWidget(Rect{0, g->y - 0.5, 1, 1}, size().height);
            region += QRect(0, int(std::floor(line.y())) - 1, w, 3);
            region += QRect(int(std::floor(g->x - 0.5)) - 1, 0, 3, h);
        }
    }
    if (last.loupe != next.loupe || last.loupeSource != next.loupeSource)
        both(last.loupe, next.loupe, strokeMargin);
    if (last.hintPill != next.hintPill || last.hint != next.hint)
        both(last.hintPill, next.hintPill, 1);
    if (last.handles != next.handles) {
        for (const auto* handles : {&last.handles, &next.handles})
            for (const Rect& h : *handles)
                region += widgetRect(h, 2);
    }
    m_scene = next;
    if (!region.isEmpty())
        update(region.intersected(rect()));
}

void OverlayView::drawImage(QPainter& painter, const QImage& image, const QRect& target) const
{
    if (image.isNull() || target.isEmpty())
        return;
    const double s = m_display.image.scale > 0 ? m_display.image.scale : 1;
    painter.drawImage(QRectF(target), image, QRectF(target.x() * s, target.y() * s, target.width() * s, target.height() * s));
}

void OverlayView::drawPill(QPainter& painter, const Rect& pill, const QString& text) const
{
    const QRectF r = toWidget(pill, size().height);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withAlpha(Qt::black, pillAlpha));
    painter.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    painter.setPen(Qt::white);
    painter.setFont(m_font);
    painter.drawText(r.adjusted(textInsetX, textInsetY, -textInsetX, -textInsetY), Qt::AlignLeft | Qt::AlignVCenter, text);
}

void OverlayView::drawLoupe(QPainter& painter) const
{
    const QImage& image = m_display.image.image;
    const QRect source = m_scene.loupeSource;
    const QRect cut = source.intersected(image.rect());
    if (cut.isEmpty())
        return;
    const QRectF loupe = toWidget(*m_scene.loupe, size().height);
    const double block = loupeSize / loupePixels;
    QPainterPath outline;
    outline.addRoundedRect(loupe, loupeCornerRadius, loupeCornerRadius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setClipPath(outline, Qt::IntersectClip);
    // The pixels keep their place in the loupe near an image edge, so that the centre square
    // always marks the pointer's own pixel; what lies outside the image stays black.
    painter.fillRect(loupe, Qt::black);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const QRectF target(loupe.x() + (cut.x() - source.x()) * block, loupe.y() + (cut.y() - source.y()) * block,
                        cut.width() * block, cut.height() * block);
    painter.drawImage(target, image, QRectF(cut));
    painter.restore();

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    const double centre = (loupePixels / 2) * block;
    painter.setPen(QPen(QColor(0xff, 0x3b, 0x30), 1.5));
    painter.drawRect(QRectF(loupe.x() + centre, loupe.y() + centre, block, block));
    painter.setPen(QPen(Qt::white, 2));
    painter.drawPath(outline);
    painter.restore();
}

void OverlayView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRegion region = event->region();
    if (!m_overlay || m_dimmed.isNull() || m_dimmed.size() != m_display.image.image.size()) {
        painter.fillRect(event->rect(), Qt::black);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    // The dimmed picture, and the highlight cut out of it with the frozen pixels.
    const QRect highlight = m_scene.highlight ? widgetRect(*m_scene.highlight).intersected(rect()) : QRect();
    for (const QRect& r : region) {
        drawImage(painter, m_dimmed, r);
        if (!highlight.isEmpty())
            drawImage(painter, m_display.image.image, r.intersected(highlight));
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (m_scene.highlight) {
        const QRect h = widgetRect(*m_scene.highlight);
        // The white outline lies just inside the rectangle: one pixel row or column per edge.
        const QColor white = Qt::white;
        painter.fillRect(QRect(h.left(), h.top(), h.width(), 1), white);
        painter.fillRect(QRect(h.left(), h.bottom(), h.width(), 1), white);
        painter.fillRect(QRect(h.left(), h.top() + 1, 1, std::max(0, h.height() - 2)), white);
        painter.fillRect(QRect(h.right(), h.top() + 1, 1, std::max(0, h.height() - 2)), white);
        if (m_scene.accentFill)
            painter.fillRect(h, withAlpha(QApplication::palette().color(QPalette::Highlight), accentAlpha));
        else if (m_scene.labelPill)
            drawPill(painter, *m_scene.labelPill, m_scene.label);
    }
    for (const Rect& handle : m_scene.handles) {
        const QRectF h = toWidget(handle, size().height);
        painter.setPen(QPen(QApplication::palette().color(QPalette::Highlight), 1.5));
        painter.setBrush(Qt::white);
        painter.drawRect(h.adjusted(0.75, 0.75, -0.75, -0.75));
    }
    if (m_scene.guides) {
        const QColor guide = withAlpha(Qt::white, guideAlpha);
        const QRectF row = toWidget(Rect{0, m_scene.guides->y - 0.5, 1, 1}, size().height);
        painter.fillRect(QRect(0, int(std::floor(row.y())), width(), 1), guide);
        // Both lines cross at the pointer; the crossing pixel is drawn once.
        const int column = int(std::floor(m_scene.guides->x - 0.5));
        painter.fillRect(QRect(column, 0, 1, int(std::floor(row.y()))), guide);
        painter.fillRect(QRect(column, int(std::floor(row.y())) + 1, 1, height()), guide);
    }
    if (m_scene.loupe)
        drawLoupe(painter);
    if (m_scene.hintPill)
        drawPill(painter, *m_scene.hintPill, m_scene.hint);
    painter.end();
    m_lastPaintedArea = 0;
    for (const QRect& r : region)
        m_lastPaintedArea += qint64(r.width()) * r.height();
    ++m_paints;
    Q_EMIT painted();
}

Point OverlayView::globalOf(QPointF widgetPosition) const
{
    const Point local = fromWidget(widgetPosition, size().height);
    return {local.x + m_display.screen.frame.x, local.y + m_display.screen.frame.y};
}

void OverlayView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_overlay)
        m_overlay->pointerMoved(this, globalOf(event->position()), event->buttons() & Qt::LeftButton);
}

void OverlayView::mousePressEvent(QMouseEvent* event)
{
    if (!m_overlay)
        return;
    if (event->button() == Qt::LeftButton)
        m_overlay->leftPressed(this, globalOf(event->position()));
    else if (event->button() == Qt::RightButton)
        m_overlay->rightPressed();
}

void OverlayView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_overlay && event->button() == Qt::LeftButton)
        m_overlay->leftReleased(this, globalOf(event->position()));
}

void OverlayView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_overlay && event->button() == Qt::LeftButton)
        m_overlay->leftDoubleClicked(this, globalOf(event->position()));
}

void OverlayView::leaveEvent(QEvent*)
{
    if (!m_overlay || !m_mouse)
        return;
    m_mouse.reset();
    refresh();
}

bool OverlayView::handleKey(const QKeyEvent* event)
{
    return m_overlay && m_overlay->keyPressed(event->key(), event->isAutoRepeat(), event->modifiers() & Qt::ShiftModifier);
}

void OverlayView::keyPressEvent(QKeyEvent* event)
{
    if (!handleKey(event))
        QWidget::keyPressEvent(event);
}

} // namespace quandrel
