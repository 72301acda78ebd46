#include "EditorCanvasView.h"

#include "EditorDocument.h"
#include "EditorGeometry.h"
#include "TextMeasure.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTextBlock>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace quandrel {

using Type = Annotation::Kind::Type;
using Kind = Annotation::Kind;

TextAnnotationField::TextAnnotationField(const QString& text, QWidget* parent)
    : QPlainTextEdit(text, parent)
{
    setFrameShape(QFrame::NoFrame);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
    document()->setDocumentMargin(0);
    connect(this, &QPlainTextEdit::textChanged, this, &TextAnnotationField::fitToText);
}

void TextAnnotationField::fitToText()
{
    const QFontMetricsF metrics(font(), this);
    double widest = 0;
    for (const QString& line : text().split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int lines = std::max(1, blockCount());
    const double extra = lineHeight - metrics.lineSpacing(); // the room around one line
    resize(QSizeF(std::max(minimumFieldWidth, widest + metrics.averageCharWidth() * 2),
                  metrics.lineSpacing() * lines + std::max(extra, 0.0))
               .toSize());
}

void TextAnnotationField::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (event->modifiers() & Qt::ShiftModifier) {
            insertPlainText(QStringLiteral("\n"));
            return;
        }
        Q_EMIT returnPressed();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

EditorCanvasView::EditorCanvasView(EditorDocument& document, QWidget* parent)
    : QWidget(parent)
    , m_document(document)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    QPointer<EditorCanvasView> self(this);
    m_document.setOnChange([self] {
        if (self)
            self->requestFullRepaint();
    });
    connect(&m_document, &EditorDocument::selectionChanged, this, &EditorCanvasView::requestFullRepaint);
    connect(&m_document, &EditorDocument::cropChanged, this, &EditorCanvasView::requestFullRepaint);
    connect(&m_document, &EditorDocument::toolChanged, this, &EditorCanvasView::toolChanged);
    m_tool = makeCanvasTool(m_document.tool(), *this);
}

EditorCanvasView::~EditorCanvasView() = default;

CanvasMapping EditorCanvasView::mapping() const
{
    return CanvasMapping(QSizeF(size()), m_document.image().size(), m_document.scale(), m_zoom);
}

std::optional<Annotation> EditorCanvasView::stored(const QUuid& id) const
{
    for (const Annotation& a : m_document.annotations()) {
        if (a.id == id)
            return a;
    }
    return std::nullopt;
}

// ---- painting

void EditorCanvasView::paintEvent(QPaintEvent* event)
{
    const CanvasMapping map = mapping();
    CanvasScene scene;
    scene.source = m_document.image();
    scene.annotations = m_document.annotations();
    scene.moving = m_live.moving;
    scene.draft = m_live.draft;
    scene.selectedID = m_document.selectedID();
    scene.crop = m_document.crop();
    scene.cropDraft = m_live.cropDraft;
    scene.imageRect = map.imageRect();
    scene.scale = map.scale();
    scene.background = palette().color(QPalette::Window);
    scene.accent = palette().color(QPalette::Highlight);

    QPainter painter(this);
    m_renderer.paint(painter, scene, QRectF(rect()), QRectF(event->rect()), devicePixelRatioF());
    painter.end();
    m_pending = {};
    ++m_paintCount;
    Q_EMIT painted();
}

void EditorCanvasView::requestRepaint(const QRect& rect)
{
    if (rect.isEmpty())
        return;
    m_pending += rect;
    update(rect);
}

void EditorCanvasView::requestFullRepaint() { requestRepaint(rect()); }

QRect EditorCanvasView::liveArea() const
{
    const Annotation* live = m_live.moving ? &*m_live.moving
        : m_live.draft                     ? &*m_live.draft
        : m_resizing                       ? &m_resizing->original
                                           : nullptr;
    if (!live)
        return {};
    const CanvasMapping map = mapping();
    return map.toWidget(paintedBounds(*live, map.scale())).toAlignedRect().adjusted(-1, -1, 1, 1);
}

void EditorCanvasView::liveAnnotationChanged()
{
    const QRect now = liveArea();
    requestRepaint(m_liveArea.united(now));
    m_liveArea = now;
}

void EditorCanvasView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_textField)
        commitTextEditing();
    requestFullRepaint();
}

void EditorCanvasView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    setFocus(Qt::OtherFocusReason);
}

// ---- mouse

void EditorCanvasView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    press(event->position(), 1);
}

void EditorCanvasView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(event);
    press(event->position(), 2);
}

void EditorCanvasView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    drag(event->position(), event->modifiers() & Qt::ShiftModifier);
}

void EditorCanvasView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    release();
}

void EditorCanvasView::press(QPointF widgetPoint, int clickCount)
{
    commitTextEditing();
    setFocus(Qt::MouseFocusReason);
    const CanvasMapping map = mapping();
    const QPointF p = map.toImage(widgetPoint);
    m_live.dragOrigin = p;

    // A handle of the selected annotation is grabbed whatever the tool, but crop.
    if (m_document.tool() != EditorTool::crop) {
        if (const auto selected = m_document.selectedAnnotation()) {
            if (const auto handle = handleAt(*selected, p, canvasRules::handleGrabRadius / map.scale())) {
                m_resizing = Resizing{*selected, *handle};
                m_liveArea = liveArea();
                return;
            }
        }
    }
    m_tool->press(p, clickCount);
    if (m_live.moving)
        m_liveArea = liveArea(); // where it was, repainted when it leaves
}

void EditorCanvasView::drag(QPointF widgetPoint, bool shift)
{
    if (!m_live.dragOrigin)
        return;
    QPointF p = mapping().toImage(widgetPoint);

    if (m_resizing) {
        const Annotation& original = m_resizing->original;
        if (shift) {
            if (const auto fixed = anchor(m_resizing->handle, original))
                p = constrain(p, *fixed, original.kind.is(Type::arrow) || original.kind.is(Type::line));
        }
        m_live.moving = original.resized(m_resizing->handle, p);
        liveAnnotationChanged();
        return;
    }
    if (m_live.moving) {
        if (shift) {
            const EditorTool tool = m_document.tool();
            p = constrain(p, *m_live.dragOrigin, tool == EditorTool::arrow || tool == EditorTool::line);
        }
        // Always from the stored version and the mouse-down point, never accumulated.
        if (const auto original = stored(m_live.moving->id)) {
            const QPointF d = p - *m_live.dragOrigin;
            m_live.moving = original->moved(d.x(), d.y());
        }
        liveAnnotationChanged();
        return;
    }
    m_tool->drag(p, shift);
}

void EditorCanvasView::release()
{
    if (m_live.moving) {
        const auto original = stored(m_live.moving->id);
        if (original && !(*original == *m_live.moving)) {
            m_document.update(*m_live.moving, UndoRecording::record);
            resetInteraction();
            return;
        }
        m_live.moving.reset();
    }
    if (m_live.dragOrigin && !m_resizing)
        m_tool->release();
    resetInteraction();
}

void EditorCanvasView::resetInteraction()
{
    m_live = {};
    m_resizing.reset();
    m_liveArea = {};
    requestFullRepaint();
}

void EditorCanvasView::toolChanged()
{
    commitTextEditing();
    resetInteraction();
    m_tool = makeCanvasTool(m_document.tool(), *this);
}

// ---- zoom

void EditorCanvasView::setZoom(const CanvasZoom& zoom)
{
    commitTextEditing();
    // Kept as the mapping places it, so the centre never drifts outside what can be shown.
    const CanvasMapping placed(QSizeF(size()), m_document.image().size(), m_document.scale(), zoom);
    m_zoom = zoom.factor ? CanvasZoom{zoom.factor, placed.centre()} : CanvasZoom{};
    requestFullRepaint();
}

void EditorCanvasView::zoomBy(double steps, std::optional<QPointF> around)
{
    const CanvasMapping map = mapping();
    const double factor = map.zoomFactor() * std::pow(CanvasZoom::step, steps);
    setZoom(zoomedAround(map, factor, around.value_or(QPointF(width() / 2.0, height() / 2.0))));
}

void EditorCanvasView::zoomToFit() { setZoom({}); }

void EditorCanvasView::wheelEvent(QWheelEvent* event)
{
    const QPoint angle = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        if (angle.y() != 0)
            zoomBy(angle.y() / 120.0, event->position());
        return event->accept();
    }
    if (!m_zoom.factor)
        return event->ignore();
    // Scrolling: the wheel moves the view down and up, Shift+wheel or a sideways wheel across.
    QPointF step = QPointF(event->pixelDelta());
    if (step.isNull())
        step = QPointF(angle) / 120.0 * 48;
    if (event->modifiers() & Qt::ShiftModifier && step.x() == 0)
        step = QPointF(step.y(), 0);
    setZoom(scrolled(mapping(), m_zoom, -step.x(), -step.y()));
    event->accept();
}

// ---- keys

void EditorCanvasView::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    switch (event->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        m_document.deleteSelected();
        return;
    case Qt::Key_Escape:
        m_document.setSelectedID(std::nullopt);
        requestFullRepaint();
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_Up: {
        const auto selected = m_document.selectedAnnotation();
        if (!selected)
            return event->ignore(); // passed on
        const double n = (modifiers & Qt::ShiftModifier) ? canvasRules::shiftNudge : canvasRules::nudge;
        const int key = event->key();
        const double dx = key == Qt::Key_Left ? -n : key == Qt::Key_Right ? n : 0;
        const double dy = key == Qt::Key_Down ? -n : key == Qt::Key_Up ? n : 0; // image space is y up
        m_document.update(selected->moved(dx, dy), UndoRecording::record);
        return;
    }
    default:
        break;
    }
    const QString text = event->text();
    if (!(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) && text.size() == 1) {
        const QChar c = text.at(0).toLower();
        for (EditorTool tool : allEditorTools) {
            if (QChar(shortcutKey(tool)) == c) {
                m_document.setTool(tool);
                return;
            }
        }
    }
    event->ignore();
}

// ---- text

void EditorCanvasView::beginTextEditing(const QString& text, const std::optional<Annotation>& existing, QPointF origin)
{
    m_textOrigin = origin;
    m_editingAnnotation = existing;
    const CanvasMapping map = mapping();
    const double pixels = (existing ? existing->lineWidth : m_document.lineWidthForStrokeSize()) * 5;
    const double f = std::max(pixels, 12.0) * map.scale();
    const QColor ink = (existing ? existing->color : m_document.color()).toColor();

    auto* field = new TextAnnotationField(text, this);
    field->setFont(fontForDevice(std::max(f, 1.0), FontWeight::semibold, field));
    field->setPlaceholderText(tr("Text"));
    QColor background = palette().color(QPalette::Base);
    background.setAlphaF(0.85f);
    field->setStyleSheet(QStringLiteral("QPlainTextEdit { border: none; background: %1; color: %2; }")
                             .arg(background.name(QColor::HexArgb), ink.name(QColor::HexArgb)));
    field->minimumFieldWidth = std::max(f * 10, textFieldMinimumWidth);
    field->lineHeight = f * 1.4;
    // The field's first line sits on the text box's top; a new text's box starts at the press.
    const QPointF v = map.toWidget(origin); // the text box's bottom-left corner
    const double boxHeight = existing ? existing->bounds().height() * map.scale() : 0;
    field->move(QPointF(v.x(), v.y() - std::max(boxHeight, field->lineHeight)).toPoint());
    field->fitToText();
    field->installEventFilter(this);
    connect(field, &TextAnnotationField::returnPressed, this, &EditorCanvasView::commitTextEditing);
    field->show();
    field->setFocus(Qt::OtherFocusReason);
    field->moveCursor(QTextCursor::End);
    m_textField = field;
}

bool EditorCanvasView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_textField)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape) {
            cancelTextEditing();
            return true;
        }
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            commitTextEditing();
            return true;
        }
    } else if (event->type() == QEvent::FocusOut) {
        // Another window coming to the front or a context menu does not end the typing.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            commitTextEditing();
    }
    return QWidget::eventFilter(watched, event);
}

void EditorCanvasView::cancelTextEditing()
{
    if (!m_textField)
        return;
    m_textField->setText(m_editingAnnotation ? m_editingAnnotation->kind.text() : QString());
    commitTextEditing();
}

void EditorCanvasView::commitTextEditing()
{
    if (!m_textField || !m_textOrigin)
        return;
    TextAnnotationField* field = m_textField;
    const QPointF origin = *m_textOrigin;
    m_textField = nullptr;
    m_textOrigin.reset();
    const QString typed = field->text().trimmed(); // inner line breaks stay
    field->removeEventFilter(this);
    field->disconnect(this);
    field->hide();
    field->deleteLater();
    setFocus(Qt::OtherFocusReason);
    const std::optional<Annotation> existing = std::exchange(m_editingAnnotation, std::nullopt);

    if (existing) {
        if (!typed.isEmpty()) {
            const auto current = stored(existing->id);
            if (current && current->kind.text() != typed) {
                // The box's top stays where it was, so added lines go below.
                Annotation edited = *current;
                const double top = current->start.y() + current->bounds().height();
                edited.kind = Kind::text(typed);
                edited.start.setY(top - edited.bounds().height());
                edited.end = edited.start;
                m_document.update(edited, UndoRecording::record);
            }
        } else {
            // Emptying a text deletes it, as one undo step.
            m_document.setSelectedID(existing->id);
            m_document.deleteSelected();
        }
    } else if (!typed.isEmpty()) {
        // The first line's box starts at the press; further lines go below it.
        Annotation created = Annotation::create(Kind::text(typed), origin, origin, m_document.color(),
                                                m_document.lineWidthForStrokeSize());
        const double size = created.textFontSize();
        const double extra = measureText(typed, size, FontWeight::semibold).height()
            - measureText(typed.section(QLatin1Char('\n'), 0, 0), size, FontWeight::semibold).height();
        created.start.ry() -= extra;
        created.end = created.start;
        m_document.add(created);
        m_document.setSelectedID(created.id);
    }
    requestFullRepaint();
}

} // namespace quandrel
