#pragma once

// One display's part of the selection overlay (SelectionOverlay.h): the frozen picture
// dimmed, the highlight, guide lines, loupe, label and hint, repainting only what changed.

#include "CaptureSelection.h"
#include "OverlayGeometry.h"

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <coroutine>
#include <functional>
#include <optional>
#include <vector>

namespace quandrel {

class SelectionOverlay;

// One display's view: the frozen picture, the highlight, guide lines, loupe, label and hint.
// Between captures it shows nothing and ignores every event.
class OverlayView : public QWidget {
    Q_OBJECT
public:
    explicit OverlayView(QWidget* parent = nullptr);

    // Lends the view to a capture and works out the dimmed copy of the frozen image, in the
    // buffer of the last capture when it fits.
    void begin(SelectionOverlay* overlay, const FrozenDisplay& display);
    // Back to nothing: drops the capture's image and state, keeping the dimmed buffer.
    void end();
    // Gives the dimmed buffer back (the next capture makes a new one).
    void releaseBuffers();
    bool holdsBuffers() const { return !m_dimmed.isNull(); }

    const FrozenDisplay& display() const { return m_display; }
    Size size() const { return m_display.screen.frame.size(); }
    std::optional<Point> dragStart() const { return m_dragStart; }
    std::optional<Point> dragCurrent() const { return m_dragCurrent; }
    std::optional<Point> mouse() const { return m_mouse; }
    bool dragging() const { return m_dragStart && m_dragCurrent; }
    // What was drawn last (or is about to be).
    const overlay::ViewScene& scene() const { return m_scene; }

    // Drag state, set by the overlay.
    void startDrag(Point local);
    void dragTo(Point local);
    void clearDrag();
    void setMouse(std::optional<Point> local);
    // The dragged area waits to be adjusted and taken (its corners get handles).
    void setAdjusting(bool adjusting) { m_adjusting = adjusting; }
    bool adjusting() const { return m_adjusting && dragging(); }
    // The area as the two drag points, set while it is adjusted.
    void setArea(const Rect& local);

    // Works out what the view shows now and repaints the parts that changed.
    void refresh();

    // Hands a key to the overlay; answers whether it was the overlay's.
    bool handleKey(const QKeyEvent* event);

    // Paints since the last begin(), and the area in widget pixels the last paint covered.
    int paintCount() const { return m_paints; }
    qint64 lastPaintedArea() const { return m_lastPaintedArea; }

    static QFont pillFont();

Q_SIGNALS:
    void painted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    overlay::ViewState state() const;
    QRect widgetRect(const Rect& local, int margin = 0) const;
    void drawImage(QPainter& painter, const QImage& image, const QRect& target) const;
    void drawPill(QPainter& painter, const Rect& pill, const QString& text) const;
    void drawLoupe(QPainter& painter) const;
    Point globalOf(QPointF widgetPosition) const;

    QPointer<SelectionOverlay> m_overlay;
    FrozenDisplay m_display;
    QImage m_dimmed;
    std::optional<Point> m_dragStart;
    std::optional<Point> m_dragCurrent;
    std::optional<Point> m_mouse;
    bool m_adjusting = false;
    overlay::ViewScene m_scene;
    QFont m_font;
    int m_paints = 0;
    qint64 m_lastPaintedArea = 0;
};

} // namespace quandrel
