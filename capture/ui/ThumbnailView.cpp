#include "ThumbnailView.h"

#include "DragExport.h"
#include "Symbols.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDrag>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace quandrel {

namespace {

constexpr int symbolPixels = 18;
constexpr int closeSymbolPixels = 20;
const QColor buttonFill(0, 0, 0, 128);  // black at 0.5
const QColor hoverShade(0, 0, 0, 89);   // black at 0.35
const QColor borderColor(255, 255, 255, 102); // white at 0.4

// A symbol in white, on a dark rounded plate unless it is the bare close button.
class PanelButton final : public QAbstractButton {
public:
    PanelButton(const QString& symbol, const QString& help, bool plate, QWidget* parent)
        : QAbstractButton(parent)
        , m_plate(plate)
    {
        setToolTip(help);
        setAccessibleName(help);
        setIcon(ui::symbolIcon(symbol, Qt::white));
        setCursor(Qt::ArrowCursor);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const int symbolSize = m_plate ? symbolPixels : closeSymbolPixels;
        if (m_plate) {
            p.setPen(Qt::NoPen);
            p.setBrush(isDown() ? QColor(0, 0, 0, 170) : buttonFill);
            p.drawRoundedRect(QRectF(rect()), 6, 6);
        }
        const QRect target((width() - symbolSize) / 2, (height() - symbolSize) / 2, symbolSize, symbolSize);
        icon().paint(&p, target);
    }

private:
    bool m_plate;
};

// The image scaled to cover `target` keeping its aspect ratio, centred, the overflow cut.
QImage coverImage(const QImage& image, QSize target)
{
    if (image.isNull() || target.isEmpty())
        return {};
    QImage source = image;
    // Very large images first shrink fast to twice the size, then smoothly.
    const QSize twice = target * 2;
    if (source.width() > twice.width() * 2 && source.height() > twice.height() * 2)
        source = source.scaled(twice, Qt::KeepAspectRatioByExpanding, Qt::FastTransformation);
    const QImage scaled = source.scaled(target, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const QRect crop((scaled.width() - target.width()) / 2, (scaled.height() - target.height()) / 2, target.width(), target.height());
    return scaled.copy(crop);
}

} // namespace

ThumbnailView::ThumbnailView(CapturedImage image, ThumbnailController::Actions actions, std::function<void(bool)> onHover,
                             std::function<void()> onClose, QWidget* parent)
    : QWidget(parent)
    , m_image(std::move(image))
    , m_actions(std::move(actions))
    , m_onHover(std::move(onHover))
    , m_onClose(std::move(onClose))
{
    setAttribute(Qt::WA_Hover);
    QFont font = this->font();
    font.setPixelSize(15);
    font.setWeight(QFont::DemiBold);
    setFont(font);

    struct Spec {
        const char* symbol;
        const char* help;
        std::function<void()> run;
    };
    const Spec specs[] = {
        {"xmark.circle.fill", QT_TR_NOOP("Close"), [this] { if (m_onClose) m_onClose(); }},
        {"pencil.tip.crop.circle", QT_TR_NOOP("Edit"), [this] { if (m_actions.edit) m_actions.edit(); }},
        {"pin", QT_TR_NOOP("Pin"), [this] { if (m_actions.pin) m_actions.pin(); }},
        {"square.and.arrow.down", QT_TR_NOOP("Save"), [this] { if (m_actions.save) m_actions.save(); }},
        {"doc.on.doc", QT_TR_NOOP("Copy"), [this] { if (m_actions.copy) m_actions.copy(); }},
    };
    for (const Spec& spec : specs) {
        const bool plate = m_buttons.size() > 0;
        auto* button = new PanelButton(QString::fromLatin1(spec.symbol), tr(spec.help), plate, this);
        // Queued: an action may dismiss the thumbnail and with it this button.
        connect(button, &QAbstractButton::clicked, this, [run = spec.run] { run(); }, Qt::QueuedConnection);
        button->hide();
        m_buttons.push_back(button);
    }
    layoutButtons();
}

void ThumbnailView::layoutButtons()
{
    m_buttons[0]->setGeometry(inset, inset, 24, 24);
    const int rowWidth = 4 * buttonWidth + 3 * buttonSpacing;
    int x = (width() - rowWidth) / 2;
    const int y = height() - inset - buttonHeight;
    for (std::size_t i = 1; i < m_buttons.size(); ++i) {
        m_buttons[i]->setGeometry(x, y, buttonWidth, buttonHeight);
        x += buttonWidth + buttonSpacing;
    }
}

void ThumbnailView::resizeEvent(QResizeEvent*)
{
    m_scaled = {};
    layoutButtons();
}

const QImage& ThumbnailView::scaledImage()
{
    const QSize target = size() * devicePixelRatioF();
    if (m_scaled.size() != target && !m_image.image.isNull()) {
        m_scaled = coverImage(m_image.image, target);
        m_scaled.setDevicePixelRatio(devicePixelRatioF());
    }
    return m_scaled;
}

void ThumbnailView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    p.setClipPath(outline);
    const QImage& image = scaledImage();
    if (image.isNull())
        p.fillRect(rect(), palette().color(QPalette::Window));
    else
        p.drawImage(QPointF(0, 0), image);
    if (m_hovering)
        p.fillRect(rect(), hoverShade);
    p.setClipping(false);
    p.setPen(QPen(borderColor, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius - 0.5, cornerRadius - 0.5);
    m_painted = true;
}

void ThumbnailView::setHovering(bool hovering)
{
    if (m_hovering == hovering)
        return;
    m_hovering = hovering;
    for (QAbstractButton* button : m_buttons)
        button->setVisible(hovering);
    update();
    if (m_onHover)
        m_onHover(hovering);
}

void ThumbnailView::enterEvent(QEnterEvent*) { setHovering(true); }

void ThumbnailView::leaveEvent(QEvent*) { setHovering(false); }

void ThumbnailView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        m_pressPosition = event->position().toPoint();
    }
}

void ThumbnailView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed || !(event->buttons() & Qt::LeftButton))
        return;
    if ((event->position().toPoint() - m_pressPosition).manhattanLength() < QApplication::startDragDistance())
        return;
    m_pressed = false;
    startDrag();
}

void ThumbnailView::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_pressed = false;
    if (event->button() == Qt::LeftButton && m_actions.edit)
        QMetaObject::invokeMethod(this, [edit = m_actions.edit] { edit(); }, Qt::QueuedConnection);
}

Qt::DropAction ThumbnailView::startDrag()
{
    auto* drag = new QDrag(this);
    drag->setMimeData(new ScreenshotDragData(m_image.image, m_image.scale, QDateTime::currentDateTime(), DragFileStore::shared()));
    const QImage& image = scaledImage();
    if (!image.isNull()) {
        QPixmap picture = QPixmap::fromImage(image.scaled(image.size() / 2, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        picture.setDevicePixelRatio(devicePixelRatioF());
        drag->setPixmap(picture);
        drag->setHotSpot(QPoint(picture.width(), picture.height()) / (2 * devicePixelRatioF()));
    }
    return drag->exec(Qt::CopyAction, Qt::CopyAction);
}

} // namespace quandrel
