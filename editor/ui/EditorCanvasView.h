#pragma once

// The interactive canvas of the editor window: the screenshot fitted into the view (or
// zoomed, Ctrl+wheel and Ctrl++ / Ctrl+- / Ctrl+0, and scrolled by the wheel) with the
// annotations over it, and mouse and keys turned into document operations. Presses, drags
// and releases go to the active tool (tools/); moving and resizing the selected annotation
// by its handles, keys, and the text field laid over the canvas are the canvas's own.
//
// While a drag is in progress the document is left alone: the canvas keeps a live copy
// (draft, moving, cropDraft) and changes the document once, on release, so every move,
// resize or new shape is one undo step.

#include "Annotation.h"
#include "CanvasGeometry.h"
#include "CanvasRenderer.h"
#include "tools/CanvasTool.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <memory>
#include <optional>

namespace quandrel {

class EditorDocument;

// The field a text is typed in: Return commits, Shift+Return starts a new line, and the
// field grows with what is typed.
class TextAnnotationField : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit TextAnnotationField(const QString& text, QWidget* parent);

    QString text() const { return toPlainText(); }
    void setText(const QString& text) { setPlainText(text); }
    void fitToText();

    double minimumFieldWidth = 0;
    double lineHeight = 0;

Q_SIGNALS:
    void returnPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class EditorCanvasView : public QWidget, private CanvasToolHost {
    Q_OBJECT

public:
    static constexpr double textFieldMinimumWidth = 220;

    explicit EditorCanvasView(EditorDocument& document, QWidget* parent = nullptr);
    ~EditorCanvasView() override;

    EditorDocument& document() const override { return m_document; }
    // The mapping for the current size and zoom.
    CanvasMapping mapping() const;

    // The interaction state, for tests and tools.
    const std::optional<Annotation>& draft() const { return m_live.draft; }
    const std::optional<Annotation>& moving() const { return m_live.moving; }
    const std::optional<QRectF>& cropDraft() const { return m_live.cropDraft; }
    TextAnnotationField* textField() const { return m_textField; }

    // Zoom, around a widget point (the pointer) or the view's centre; zoomToFit() returns to
    // the fitted view.
    const CanvasZoom& zoom() const { return m_zoom; }
    void zoomBy(double steps, std::optional<QPointF> around = std::nullopt);
    void zoomToFit();

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
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // CanvasToolHost
    CanvasInteraction& interaction() override { return m_live; }
    double displayScale() const override { return mapping().scale(); }
    void beginTextEditing(const QString& text, const std::optional<Annotation>& existing, QPointF origin) override;
    void liveAnnotationChanged() override;
    void sceneChanged() override { requestFullRepaint(); }

    void press(QPointF widgetPoint, int clickCount);
    void drag(QPointF widgetPoint, bool shift);
    void release();
    void toolChanged();
    void setZoom(const CanvasZoom& zoom);
    void cancelTextEditing();
    void resetInteraction();
    std::optional<Annotation> stored(const QUuid& id) const;
    // The widget area a live annotation covers, decorations included.
    QRect liveArea() const;
    void requestRepaint(const QRect& rect);
    void requestFullRepaint();

    EditorDocument& m_document;
    CanvasInteraction m_live;
    std::unique_ptr<CanvasTool> m_tool;
    QRect m_liveArea; // what the live annotation covered at its last repaint
    CanvasZoom m_zoom;
    struct Resizing {
        Annotation original;
        Annotation::Handle handle;
    };
    std::optional<Resizing> m_resizing;
    QPointer<TextAnnotationField> m_textField;
    std::optional<QPointF> m_textOrigin;
    std::optional<Annotation> m_editingAnnotation;

    CanvasRenderer m_renderer;
    QRegion m_pending;
    int m_paintCount = 0;
};

} // namespace quandrel
