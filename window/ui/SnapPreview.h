#pragma once

// The translucent rectangle that shows where a dragged window would snap: always on top,
// click-through, never focused, with rounded corners, an accent border and a faint accent
// fill. Without a compositing manager the window is shaped to its outline.

#include "DragSnapper.h"

#include <QWidget>

#include <functional>

class QPropertyAnimation;

namespace quandrel {

class SnapPreview final : public QWidget, public SnapPreviewSurface {
    Q_OBJECT
public:
    static constexpr qreal cornerRadius = 12;
    static constexpr qreal borderWidth = 2;
    static constexpr int animationMs = 120;

    // `primaryHeight` converts screen space to window coordinates; `compositing` tells
    // whether translucency is available.
    SnapPreview(std::function<double()> primaryHeight, std::function<bool()> compositing);

    void show(const Rect& screenFrame) override;
    void hide() override;

    // Where the preview shows now, in window coordinates (for tests).
    QRect targetGeometry() const { return m_target; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateShape();

    std::function<double()> m_primaryHeight;
    std::function<bool()> m_compositing;
    QPropertyAnimation* m_geometryAnimation = nullptr;
    QPropertyAnimation* m_fadeAnimation = nullptr;
    QRect m_target;
};

} // namespace quandrel
