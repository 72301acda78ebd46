#pragma once

// The thumbnail's content: the screenshot filling a rounded rectangle (cropped where the
// panel's minimum size makes it wider or taller than the image), and while the pointer is
// over it a dimmed layer with the close button at the top left and Edit, Pin, Save and Copy
// at the bottom. Double click edits; dragging offers the image as a PNG.

#include "CapturedImage.h"
#include "ThumbnailController.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <functional>

class QAbstractButton;

namespace quandrel {

class ThumbnailView final : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal cornerRadius = 10;
    static constexpr int buttonWidth = 34;
    static constexpr int buttonHeight = 28;
    static constexpr int buttonSpacing = 6;
    static constexpr int inset = 8;

    ThumbnailView(CapturedImage image, ThumbnailController::Actions actions, std::function<void(bool)> onHover,
                  std::function<void()> onClose, QWidget* parent = nullptr);

    bool hovering() const { return m_hovering; }
    // The buttons in order: close, edit, pin, save, copy.
    const std::vector<QAbstractButton*>& buttons() const { return m_buttons; }
    // Whether it has been painted since it was shown (for the benchmark).
    bool painted() const { return m_painted; }

    // Starts the drag of the image; answers what the drop target did.
    Qt::DropAction startDrag();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void setHovering(bool hovering);
    void layoutButtons();
    const QImage& scaledImage();

    CapturedImage m_image;
    ThumbnailController::Actions m_actions;
    std::function<void(bool)> m_onHover;
    std::function<void()> m_onClose;
    bool m_hovering = false;
    bool m_painted = false;
    std::vector<QAbstractButton*> m_buttons;
    QImage m_scaled; // the image at the view's pixel size, made on first paint
    QPoint m_pressPosition;
    bool m_pressed = false;
};

} // namespace quandrel
