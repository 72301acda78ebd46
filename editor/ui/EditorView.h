#pragma once

// The editor window's content: the toolbar row, a divider and the canvas.
//
// The toolbar holds no state of its own; it shows the document's tool, colour, stroke size
// and crop and follows their changes. It fits the window's 720-pixel minimum width even with
// "Reset Crop" shown: colour and size are one button whose panel holds the palette, the
// colour well and the size picker. Its four output commands are actions given by the
// window's controller. Toolbar buttons never take the keyboard focus, so keys keep going
// to the canvas.

#include <QColor>
#include <QWidget>

#include <functional>
#include <optional>

class QAbstractButton;
class QComboBox;
class QPushButton;

namespace quandrel {

class EditorCanvas;
class EditorCanvasView;
class EditorDocument;

struct EditorActions {
    std::function<void()> copy;
    std::function<void()> save;
    std::function<void()> saveAs;
    std::function<void()> pin;
    std::function<void()> copyText;
};

class EditorView : public QWidget {
    Q_OBJECT

public:
    EditorView(EditorDocument& document, EditorActions actions, QWidget* parent = nullptr);

    EditorDocument& document() const { return m_document; }
    EditorCanvasView* canvasView() const;

    // Asks for a colour (with opacity); none when the user cancels. A colour dialog by default.
    std::function<std::optional<QColor>(const QColor& current, QWidget* parent)> pickColor;

    // Toolbar items, looked up by tests and by the accessibility tree through their names.
    QAbstractButton* toolButton(int index) const;
    QAbstractButton* swatch(int index) const;
    // The palette, the colour well and the size picker live in the panel the style button opens.
    QAbstractButton* styleButton() const { return m_style; }
    QWidget* stylePanel() const { return m_stylePanel; }
    QAbstractButton* colorWell() const { return m_colorWell; }
    QComboBox* sizePicker() const { return m_sizePicker; }
    QPushButton* resetCropButton() const { return m_resetCrop; }
    QAbstractButton* fillButton() const { return m_fill; }
    QAbstractButton* copyTextButton() const { return m_copyText; }
    // Whether the Copy Text button and its keys are there (not in the developer's editor).
    void setCopyTextAvailable(bool available);

protected:
    void changeEvent(QEvent* event) override;

private:
    void buildToolbar(QWidget* toolbar);
    void refresh();
    void recolourSymbols();
    void chooseColor();

    EditorDocument& m_document;
    EditorActions m_actions;
    EditorCanvas* m_canvas = nullptr;
    QList<QAbstractButton*> m_tools;
    QList<QAbstractButton*> m_swatches;
    QList<std::pair<QAbstractButton*, QString>> m_symbolButtons;
    QAbstractButton* m_style = nullptr;
    QWidget* m_stylePanel = nullptr;
    QAbstractButton* m_colorWell = nullptr;
    QComboBox* m_sizePicker = nullptr;
    QPushButton* m_resetCrop = nullptr;
    QAbstractButton* m_fill = nullptr;
    QAbstractButton* m_copyText = nullptr;
    QPushButton* m_copy = nullptr;
};

} // namespace quandrel
