#pragma once

// The host by which the editor window's layout holds the canvas: the document and the
// interactive view filling it, at least 480 × 300.

#include <QWidget>

namespace quandrel {

class EditorCanvasView;
class EditorDocument;

class EditorCanvas : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize minimumCanvasSize{480, 300};

    explicit EditorCanvas(EditorDocument& document, QWidget* parent = nullptr);

    EditorDocument& document() const { return m_document; }
    EditorCanvasView* view() const { return m_view; }

private:
    EditorDocument& m_document;
    EditorCanvasView* m_view;
};

} // namespace quandrel
