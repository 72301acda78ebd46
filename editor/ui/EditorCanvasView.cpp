#include "EditorCanvasView.h"

#include "EditorDocument.h"
#include "EditorGeometry.h"
#include "TextMeasure.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quandrel {

using Type = Annotation::Kind::Type;
using Kind = Annotation::Kind;

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
}

CanvasMapping EditorCanvasView::mapping() const
{
    return CanvasMapping(QSizeF(size()), m_document.image().size(), m_document.scale());
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
    scene.moving = m_moving;
    scene.draft = m_draft;
    scene.selectedID = m_document.selectedID();
    scene.crop = m_document.crop();
    scene.cropDraft = m_cropDraft;
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
    const Annotation* live = m_moving ? &*m_moving : m_draft ? &*m_draft : m_resizing ? &m_resizing->original : nullptr;
    if (!live)
        return {};
    const CanvasMapping map = mapping();
    return map.toWidget(paintedBounds(*live, map.scale())).toAlignedRect().adjusted(-1, -1, 1, 1);
}

void EditorCanvasView::repaintLive(const QRect& before) { requestRepaint(before.united(liveArea())); }

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
    const double s = map.scale();
    const QPointF p = map.toImage(widgetPoint);
    m_dragOrigin = p;
    const EditorTool tool = m_document.tool();

    if (tool != EditorTool::crop) {
        if (const auto selected = m_document.selectedAnnotation()) {
            if (const auto handle = handleAt(*selected, p, canvasRules::handleGrabRadius / s)) {
                m_resizing = Resizing{*selected, *handle};
                return;
            }
        }
    }

    const double tolerance = canvasRules::hitTolerance / s;
    switch (tool) {
    case EditorTool::step:
        m_document.add(Annotation::create(Kind::step(m_document.nextStepNumber()), p, p, m_document.color(),
                                          m_document.lineWidthForStrokeSize()));
        break;
    case EditorTool::crop:
        m_cropDraft = QRectF(p, QSizeF(0, 0));
        requestFullRepaint();
        break;
    case EditorTool::select:
        if (const auto hit = m_document.annotationAt(p, tolerance)) {
            m_document.setSelectedID(hit->id);
            m_moving = hit;
            if (clickCount == 2 && hit->kind.is(Type::text)) {
                m_textOrigin = hit->start;
                beginTextEditing(hit->kind.text(), hit, hit->start);
            }
        } else {
            m_document.setSelectedID(std::nullopt);
        }
        requestFullRepaint();
        break;
    case EditorTool::text:
        if (const auto hit = m_document.annotationAt(p, tolerance); hit && hit->kind.is(Type::text)) {
            m_document.setSelectedID(hit->id);
            m_textOrigin = hit->start;
            beginTextEditing(hit->kind.text(), hit, hit->start);
        } else {
            m_textOrigin = p;
            beginTextEditing(QString(), std::nullopt, p);
        }
        break;
    case EditorTool::arrow:
    case EditorTool::line:
    case EditorTool::rectangle:
    case EditorTool::ellipse:
    case EditorTool::highlight:
    case EditorTool::pixelate: {
        const auto selected = m_document.selectedAnnotation();
        if (selected && selected->hitTest(p, tolerance)) {
            m_moving = selected; // the drag moves it; the tool stays
        } else {
            m_document.setSelectedID(std::nullopt);
            m_draft = Annotation::create(*annotationKind(tool), p, p, m_document.color(), m_document.lineWidthForStrokeSize());
            repaintLive({});
        }
        break;
    }
    }
}

void EditorCanvasView::drag(QPointF widgetPoint, bool shift)
{
    if (!m_dragOrigin)
        return;
    const QRect before = liveArea();
    QPointF p = mapping().toImage(widgetPoint);

    if (m_resizing) {
        const Annotation& original = m_resizing->original;
        if (shift) {
            if (const auto fixed = anchor(m_resizing->handle, original))
                p = constrain(p, *fixed, original.kind.is(Type::arrow) || original.kind.is(Type::line));
        }
        m_moving = original.resized(m_resizing->handle, p);
        repaintLive(before);
        return;
    }

    if (shift) {
        const EditorTool tool = m_document.tool();
        p = constrain(p, *m_dragOrigin, tool == EditorTool::arrow || tool == EditorTool::line);
    }
    if (m_moving) {
        // Always from the stored version and the mouse-down point, never accumulated.
        if (const auto original = stored(m_moving->id)) {
            const QPointF d = p - *m_dragOrigin;
            m_moving = original->moved(d.x(), d.y());
        }
        repaintLive(before);
    } else if (m_draft) {
        m_draft->end = p;
        repaintLive(before);
    } else if (m_cropDraft) {
        m_cropDraft = normalizedRect(*m_dragOrigin, p);
        requestFullRepaint();
    }
}

void EditorCanvasView::release()
{
    if (m_moving) {
        const auto original = stored(m_moving->id);
        if (original && !(*original == *m_moving)) {
            m_document.update(*m_moving, UndoRecording::record);
            resetInteraction();
            return;
        }
    }
    if (m_draft) {
        const QPointF d = m_draft->end - m_draft->start;
        if (std::hypot(d.x(), d.y()) > canvasRules::minimumDrag) {
            const Annotation created = *m_draft;
            m_draft.reset();
            m_document.add(created);
            m_document.setSelectedID(created.id);
        }
        resetInteraction();
        return;
    }
    if (m_cropDraft) {
        const QRectF crop = *m_cropDraft;
        m_cropDraft.reset();
        m_document.applyCrop(crop.width() < canvasRules::minimumCropWidth ? std::nullopt : std::optional<QRectF>(crop));
    }
    resetInteraction();
}

void EditorCanvasView::resetInteraction()
{
    m_dragOrigin.reset();
    m_draft.reset();
    m_moving.reset();
    m_resizing.reset();
    m_cropDraft.reset();
    requestFullRepaint();
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
    m_editingAnnotation = existing;
    const CanvasMapping map = mapping();
    const double pixels = (existing ? existing->lineWidth : m_document.lineWidthForStrokeSize()) * 5;
    const double f = std::max(pixels, 12.0) * map.scale();
    const QColor ink = (existing ? existing->color : m_document.color()).toColor();

    auto* field = new QLineEdit(text, this);
    field->setFont(fontForDevice(std::max(f, 1.0), FontWeight::semibold, field));
    field->setFrame(false);
    field->setPlaceholderText(tr("Text"));
    QColor background = palette().color(QPalette::Base);
    background.setAlphaF(0.85f);
    field->setStyleSheet(QStringLiteral("QLineEdit { border: none; background: %1; color: %2; }")
                             .arg(background.name(QColor::HexArgb), ink.name(QColor::HexArgb)));
    const QPointF v = map.toWidget(origin); // the text box's bottom-left corner
    const double width = std::max(f * 10, textFieldMinimumWidth);
    const double height = f * 1.4;
    field->setGeometry(QRectF(v.x(), v.y() - height, width, height).toAlignedRect());
    field->installEventFilter(this);
    connect(field, &QLineEdit::returnPressed, this, &EditorCanvasView::commitTextEditing);
    field->show();
    field->setFocus(Qt::OtherFocusReason);
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
    QLineEdit* field = m_textField;
    const QPointF origin = *m_textOrigin;
    m_textField = nullptr;
    m_textOrigin.reset();
    const QString typed = field->text().trimmed();
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
                Annotation edited = *current;
                edited.kind = Kind::text(typed);
                m_document.update(edited, UndoRecording::record);
            }
        } else {
            // Emptying a text deletes it, as one undo step.
            m_document.setSelectedID(existing->id);
            m_document.deleteSelected();
        }
    } else if (!typed.isEmpty()) {
        const Annotation created = Annotation::create(Kind::text(typed), origin, origin, m_document.color(),
                                                      m_document.lineWidthForStrokeSize());
        m_document.add(created);
        m_document.setSelectedID(created.id);
    }
    requestFullRepaint();
}

} // namespace quandrel
