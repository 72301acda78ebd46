#pragma once

// A pinned screenshot: a borderless window above ordinary windows on every desktop showing
// one image. It is moved by dragging anywhere on it (the window manager's own move),
// resized from its edges with the aspect ratio kept, zoomed with the wheel (0.1 to 8 times
// the image's size, keeping its centre) and made translucent with Alt and the wheel (down
// to 0.2). It takes the focus when clicked, so that its keys work: Escape and Ctrl+W close,
// Ctrl+C copies, Ctrl+S saves as, Ctrl+E edits, "0" shows the actual size. The same
// commands are in its context menu; a double click edits.

#include "CapturedImage.h"
#include "FloatingPanel.h"
#include "PanelLayout.h"
#include "PanelScreens.h"

#include <QByteArray>
#include <QImage>

#include <functional>
#include <optional>

class QMenu;

namespace quandrel {

class PinWindow;

// The pin's content: the image scaled to the window, with a faint white border.
class PinImageView final : public QWidget {
    Q_OBJECT
public:
    static constexpr int resizeMargin = 6; // pixels from an edge where a drag resizes

    explicit PinImageView(PinWindow* window);
    PinWindow* window_; // not owned: the window this view fills

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    Qt::Edges edgesAt(QPoint position) const;
    // Makes the smooth copy of the image at `target` pixels on another thread, then repaints.
    void scaleTo(QSize target);

    QImage m_scaled; // the image smoothly scaled, to the window's size once it is made
    bool m_scaling = false;
    QPoint m_pressPosition;
    bool m_pressed = false;
};

class PinWindow final : public ui::FloatingPanel {
    Q_OBJECT
public:
    using Folder = std::function<QString()>; // the screenshots folder, when asked
    using OnEdit = std::function<void(const CapturedImage&)>;
    using OnClose = std::function<void(PinWindow*)>;

    PinWindow(const QImage& image, double scale, Folder folder, OnEdit onEdit, OnClose onClose, PanelScreens screens);

    // Places and shows the pin: at `frame` (global coordinates), or else centred on the
    // visible area of the screen under the pointer at a size that fits 80 % of it, never
    // enlarged. It then takes the focus.
    void show(std::optional<QRect> frame = std::nullopt);
    // The displayed size relative to the image's size in points, clamped to 0.1 ... 8; the
    // window keeps its centre.
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }
    const CapturedImage& image() const { return m_image; }
    // The image's size in points.
    Size imageSize() const { return m_size; }

    void menuEdit();
    void menuCopy();
    void menuSave();
    void menuActualSize();
    void menuCopyText();
    void closePin();

    // Reads the text in the pinned image (Copy Text, Ctrl+Shift+C); without it the pin has no
    // such command.
    OnEdit onReadText;

    // The context menu (titles and key equivalents as shown); the caller owns it.
    QMenu* makeMenu(QWidget* parent);

    // Runs what a key does; answers whether the key was used.
    bool handleKey(QKeyEvent* event);
    // Applies a wheel turn: zoom, or opacity with Alt.
    void handleWheel(double delta, bool precise, bool alt);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void keepAspect();

    CapturedImage m_image;
    Size m_size;
    Folder m_folder;
    OnEdit m_onEdit;
    OnClose m_onClose;
    PanelScreens m_screens;
    double m_zoom = 1.0;
    std::optional<Rect> m_exactFrame; // the last zoomed frame before rounding
    PinImageView* m_view;
};

} // namespace quandrel
