#include "EditorCanvas.h"

#include "EditorCanvasView.h"

#include <QVBoxLayout>

namespace quandrel {

EditorCanvas::EditorCanvas(EditorDocument& document, QWidget* parent)
    : QWidget(parent)
    , m_document(document)
    , m_view(new EditorCanvasView(document, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setMinimumSize(minimumCanvasSize);
    setFocusProxy(m_view);
}

} // namespace quandrel
