#include "PinWindow.h"

#include "ImageExport.h"
#include "SaveAsDialog.h"
#include "Toast.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QWheelEvent>
#include <QWindow>

#include <cmath>

namespace quandrel {

namespace {

const QColor borderColor(255, 255, 255, 89); // white at 0.35

// The key's characters with Shift applied and no other modifier: the keysym where the
// server gives one, else the key code.
QString charactersOf(const QKeyEvent* event)
{
    const quint32 keysym = event->nativeVirtualKey();
    if (keysym >= 0x20 && keysym <= 0x7e)
        return QString(QChar(char16_t(keysym)));
    const int key = event->key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        const QChar c{char16_t(key)};
        return QString(event->modifiers() & Qt::ShiftModifier ? c : c.toLower());
    }
    if (key >= 0x20 && key <= 0x7e)
        return QString(QChar(char16_t(key)));
    return {};
}

QRect roundedFrame(const Rect& r)
{
    return QRect(int(std::lround(r.x)), int(std::lround(r.y)), std::max(1, int(std::lround(r.width))), std::max(1, int(std::lround(r.height))));
}

} // namespace

PinImageView::PinImageView(PinWindow* window) : QWidget(window), window_(window)
{
    setMouseTracking(true);
}

void PinImageView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QImage& image = window_->image().image;
    const QSize target = size() * devicePixelRatioF();
    if (image.isNull() || target.isEmpty()) {
        p.fillRect(rect(), palette().color(QPalette::Window));
    } else if (target.width() <= image.width()) {
        // Smaller than the image: one smooth copy at the window's size, kept until it changes.
        // Scaling a large image smoothly takes longer than a frame, so while the size changes
        // (a wheel zoom, a resize) the closest copy so far is stretched to the window, pixel
        // for pixel, which is fast and hardly seen for the moment it lasts; the smooth copy
        // for the new size is made on another thread and drawn when it is there.
        if (m_scaled.size() == target) {
            p.drawImage(QPointF(0, 0), m_scaled);
        } else {
            p.drawImage(QRectF(rect()), m_scaled.isNull() ? image : m_scaled);
            scaleTo(target);
        }
    } else {
        // Enlarged: drawn from the image itself, only where exposed, so no copy grows with
        // the zoom.
        m_scaled = {};
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(rect()), image);
    }
    p.setPen(QPen(borderColor, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

void PinImageView::scaleTo(QSize target)
{
    if (m_scaling)
        return; // the repaint when it is there asks again for the size then
    m_scaling = true;
    // The application, not this view, carries the continuation: Qt's continuation may not
    // outlive its context, and a pin can close while its copy is being made.
    QPointer<PinImageView> self(this);
    scaledInBackground(window_->image().image, target).then(QCoreApplication::instance(), [self](const QImage& result) {
        if (!self)
            return;
        self->m_scaling = false;
        self->m_scaled = result;
        self->m_scaled.setDevicePixelRatio(self->devicePixelRatioF());
        self->update();
    });
}

Qt::Edges PinImageView::edgesAt(QPoint position) const
{
    Qt::Edges edges;
    if (position.x() < resizeMargin)
        edges |= Qt::LeftEdge;
    if (position.x() >= width() - resizeMargin)
        edges |= Qt::RightEdge;
    if (position.y() < resizeMargin)
        edges |= Qt::TopEdge;
    if (position.y() >= height() - resizeMargin)
        edges |= Qt::BottomEdge;
    return edges;
}

void PinImageView::mousePressEvent(QMouseEvent* event)
{
    window_->activateWindow();
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = true;
    m_pressPosition = event->position().toPoint();
}

void PinImageView::mouseMoveEvent(QMouseEvent* event)
{
    const Qt::Edges hover = edgesAt(event->position().toPoint());
    if (hover == (Qt::LeftEdge | Qt::TopEdge) || hover == (Qt::RightEdge | Qt::BottomEdge))
        setCursor(Qt::SizeFDiagCursor);
    else if (hover == (Qt::RightEdge | Qt::TopEdge) || hover == (Qt::LeftEdge | Qt::BottomEdge))
        setCursor(Qt::SizeBDiagCursor);
    else if (hover & (Qt::LeftEdge | Qt::RightEdge))
        setCursor(Qt::SizeHorCursor);
    else if (hover & (Qt::TopEdge | Qt::BottomEdge))
        setCursor(Qt::SizeVerCursor);
    else
        unsetCursor();

    if (!m_pressed || !(event->buttons() & Qt::LeftButton))
        return;
    if ((event->position().toPoint() - m_pressPosition).manhattanLength() < 2)
        return;
    // The window manager moves or resizes the window from here on, with the button held.
    m_pressed = false;
    QWindow* handle = window_->windowHandle();
    if (!handle)
        return;
    const Qt::Edges edges = edgesAt(m_pressPosition);
    if (edges)
        handle->startSystemResize(edges);
    else
        handle->startSystemMove();
}

void PinImageView::mouseReleaseEvent(QMouseEvent*) { m_pressed = false; }

void PinImageView::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_pressed = false;
    if (event->button() == Qt::LeftButton) {
        QPointer<PinWindow> window(window_);
        QMetaObject::invokeMethod(window_, [window] { if (window) window->menuEdit(); }, Qt::QueuedConnection);
    }
}

void PinImageView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = window_->makeMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

PinWindow::PinWindow(const QImage& image, double scale, Folder folder, OnEdit onEdit, OnClose onClose, PanelScreens screens)
    : FloatingPanel(QRect(), Focus::onClick, Input::clicks)
    , m_image{image, std::isfinite(scale) && scale > 0 ? scale : 1.0}
    , m_size(pointSize(image.width(), image.height(), scale))
    , m_folder(std::move(folder))
    , m_onEdit(std::move(onEdit))
    , m_onClose(std::move(onClose))
    , m_screens(std::move(screens))
    , m_view(new PinImageView(this))
{
    setWindowTitle(QStringLiteral("Quandrel pin"));
    setAttribute(Qt::WA_TranslucentBackground, false);
    setFocusPolicy(Qt::ClickFocus);
    const int w = std::max(1, int(std::lround(m_size.width)));
    const int h = std::max(1, int(std::lround(m_size.height)));
    resize(w, h);
}

void PinWindow::show(std::optional<QRect> frame)
{
    m_zoom = clampZoom(width() / std::max(m_size.width, 1.0), m_size);
    if (frame && frame->isValid()) {
        setGeometry(*frame);
        m_zoom = clampZoom(frame->width() / std::max(m_size.width, 1.0), m_size);
    } else if (const auto visible = m_screens.visibleFrame()) {
        setGeometry(m_screens.toGlobal(pinFrame(m_size, *visible)));
        // The exact factor, not the width rounded to whole pixels.
        m_zoom = clampZoom(pinFitFactor(m_size, *visible), m_size);
    }
    showPanel();
    keepAspect();
    activateWindow();
}

void PinWindow::setZoom(double zoom)
{
    m_zoom = clampZoom(zoom, m_size);
    const QRect current = geometry();
    // The unrounded frame of the last zoom while the window is still where it put it, so
    // that many small steps do not walk the centre away by rounding.
    const Rect now = m_exactFrame && roundedFrame(*m_exactFrame) == current
        ? *m_exactFrame
        : Rect{double(current.x()), double(current.y()), double(current.width()), double(current.height())};
    const Rect next = zoomedFrame(now, m_size, m_zoom);
    m_exactFrame = next;
    setGeometry(roundedFrame(next));
    keepAspect();
    update();
}

void PinWindow::keepAspect() { keepAspectRatio(QSize(std::max(1, m_image.image.width()), std::max(1, m_image.image.height()))); }

void PinWindow::resizeEvent(QResizeEvent* event)
{
    FloatingPanel::resizeEvent(event);
    m_view->setGeometry(rect());
    // Qt writes the size hints again when the size changes, without the ratio.
    keepAspect();
}

void PinWindow::menuEdit()
{
    if (m_onEdit)
        m_onEdit(m_image);
    hide();
    if (m_onClose)
        m_onClose(this);
}

void PinWindow::menuCopy()
{
    copyImage(m_image.image, m_image.scale);
    QRect area;
    if (const auto visible = m_screens.visibleFrame())
        area = m_screens.toGlobal(*visible);
    ui::showToast(tr("Copied"), QStringLiteral("checkmark.circle.fill"), area);
}

void PinWindow::menuSave()
{
    // The dialog is the pin's child and keeps its own copy of the image: closing the pins
    // while it is up takes it with them.
    saveImageAs(m_image.image, m_image.scale, m_folder ? m_folder() : QString(), this);
}

void PinWindow::menuActualSize() { setZoom(1); }

void PinWindow::menuCopyText()
{
    if (onReadText)
        onReadText(m_image);
}

void PinWindow::closePin()
{
    hide();
    if (m_onClose)
        m_onClose(this);
}

QMenu* PinWindow::makeMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    QPointer<PinWindow> self(this);
    auto add = [&](const QString& title, const QKeySequence& keys, void (PinWindow::*action)()) {
        QAction* item = menu->addAction(title, menu, [self, action] { if (self) (self.data()->*action)(); });
        item->setShortcut(keys);
        item->setShortcutContext(Qt::WidgetShortcut); // shown only; the window's keys do the work
    };
    add(tr("Edit"), QKeySequence(Qt::CTRL | Qt::Key_E), &PinWindow::menuEdit);
    add(tr("Copy"), QKeySequence(Qt::CTRL | Qt::Key_C), &PinWindow::menuCopy);
    if (onReadText)
        add(tr("Copy Text"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), &PinWindow::menuCopyText);
    add(tr("Save As…"), QKeySequence(Qt::CTRL | Qt::Key_S), &PinWindow::menuSave);
    add(tr("Actual Size"), QKeySequence(Qt::Key_0), &PinWindow::menuActualSize);
    menu->addSeparator();
    add(tr("Close"), QKeySequence(Qt::CTRL | Qt::Key_W), &PinWindow::closePin);
    return menu;
}

bool PinWindow::handleKey(QKeyEvent* event)
{
    const PinCommand command =
        pinCommandForKey(event->key() == Qt::Key_Escape, charactersOf(event), event->modifiers() & Qt::ControlModifier);
    switch (command) {
    case PinCommand::none:
        return false;
    case PinCommand::close:
        closePin();
        break;
    case PinCommand::copy:
        menuCopy();
        break;
    case PinCommand::save:
        menuSave();
        break;
    case PinCommand::edit:
        menuEdit();
        break;
    case PinCommand::actualSize:
        menuActualSize();
        break;
    case PinCommand::copyText:
        if (!onReadText)
            return false;
        menuCopyText();
        break;
    }
    return true;
}

void PinWindow::keyPressEvent(QKeyEvent* event)
{
    if (!handleKey(event))
        FloatingPanel::keyPressEvent(event);
}

void PinWindow::handleWheel(double delta, bool precise, bool alt)
{
    const double step = wheelStep(delta, precise);
    if (step == 0)
        return;
    if (alt)
        setWindowOpacity(clampOpacity(windowOpacity() + step));
    else
        setZoom((1 + step) * m_zoom);
}

void PinWindow::wheelEvent(QWheelEvent* event)
{
    const bool alt = event->modifiers() & Qt::AltModifier;
    // Qt turns Alt + a vertical wheel into a horizontal one; either counts.
    auto pick = [alt](QPoint p) { return alt && p.y() == 0 ? p.x() : p.y(); };
    if (!event->pixelDelta().isNull())
        handleWheel(pick(event->pixelDelta()), true, alt);
    else
        handleWheel(pick(event->angleDelta()) / 120.0, false, alt);
    event->accept();
}

} // namespace quandrel
