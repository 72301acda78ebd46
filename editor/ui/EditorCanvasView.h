#pragma once

// The interactive canvas of the editor window: the screenshot fitted into the view with the
// annotations over it, and mouse and keys turned into document operations (drawing,
// selecting, moving, resizing by handles, step badges, cropping, and typing text in a
// field laid over the canvas).
//
// While a drag is in progress the document is left alone: the canvas keeps a live copy
// (draft, moving, cropDraft) and changes the document once, on release, so every move,
// resize or new shape is one undo step.

#include "Annotation.h"
#include "CanvasGeometry.h"
#include "CanvasRenderer.h"

#include <QLineEdit>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <optional>

namespace quandrel {

class EditorDocument;

class EditorCanvasView : public QWidget {
    Q_OBJECT

public:
    static constexpr double textFieldMinimumWidth = 220;

    explicit EditorCanvasView(EditorDocument& document, QWidget* parent = nullptr);

    EditorDocument& document() const { return m_document; }
    // The mapping for the current size.
    CanvasMapping mapping() const;

    // The interaction state, for tests and tools.
    const std::optional<Annotation>& draft() const { return m_draft; }
    const std::optional<Annotation>& moving() const { return m_moving; }
    const std::optional<QRectF>& cropDraft() const { return m_cropDraft; }
    QLineEdit* textField() const { return m_textField; }

    // The region asked to be repainted since the last paint.
    QRegion pendingRepaint() const { return m_pending; }
    int paintCount() const { return m_paintCount; }
    const CanvasRenderer& renderer() const { return m_renderer; }

    // Closes the text field, keeping what was typed.
    void commitTextEditing();

Q_SIGNALS:
    // After every paint; the first one is the first frame a person sees.
    void painted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void press(QPointF widgetPoint, int clickCount);
    void drag(QPointF widgetPoint, bool shift);
    void release();
    void beginTextEditing(const QString& text, const std::optional<Annotation>& existing, QPointF origin);
    void cancelTextEditing();
    void resetInteraction();
    std::optional<Annotation> stored(const QUuid& id) const;
    // The widget area a live annotation covers, decorations included.
    QRect liveArea() const;
    void repaintLive(const QRect& before);
    void requestRepaint(const QRect& rect);
    void requestFullRepaint();

    EditorDocument& m_document;
    std::optional<Annotation> m_draft;
    std::optional<QRectF> m_cropDraft;
    std::optional<QPointF> m_dragOrigin;
    std::optional<Annotation> m_moving;
    struct Resizing {
        Annotation original;
        Annotation::Handle handle;
    };
    std::optional<Resizing> m_resizing;
    QPointer<QLineEdit> m_textField;
    std::optional<QPointF> m_textOrigin;
    std::optional<Annotation> m_editingAnnotation;

    CanvasRenderer m_renderer;
    QRegion m_pending;
    int m_paintCount = 0;
};

} // namespace quandrel
