#include "EditorView.h"

#include "EditorCanvas.h"
#include "EditorCanvasView.h"
#include "EditorDocument.h"
#include "Symbols.h"

#include <QAbstractButton>
#include <QColorDialog>
#include <QCoreApplication>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace quandrel {

namespace {

constexpr int symbolSize = 18;

QColor accentColor(const QWidget* widget) { return widget->palette().color(QPalette::Highlight); }
QColor symbolColor(const QWidget* widget) { return widget->palette().color(QPalette::ButtonText); }

// A borderless button showing one symbol; the active one (a tool in use) sits on a rounded
// accent background.
class SymbolButton : public QAbstractButton {
public:
    SymbolButton(QSize size, QWidget* parent)
        : QAbstractButton(parent)
    {
        setFixedSize(size);
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_Hover);
    }

    bool active = false;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        if (active || isDown() || underMouse()) {
            QColor fill = active ? accentColor(this) : palette().color(QPalette::ButtonText);
            fill.setAlphaF(active ? 0.25f : (isDown() ? 0.18f : 0.08f));
            p.setPen(Qt::NoPen);
            p.setBrush(fill);
            p.drawRoundedRect(box, 5, 5);
        }
        const QRect target(QPoint(0, 0), QSize(symbolSize, symbolSize));
        icon().paint(&p, QRect(rect().center() - target.center(), target.size()), Qt::AlignCenter,
                     isEnabled() ? QIcon::Normal : QIcon::Disabled);
    }
};

// One palette colour: a 16-point circle with a thin grey outline, and an accent ring 3
// points outside it while it is the document's colour.
class SwatchButton : public QAbstractButton {
public:
    SwatchButton(QColor color, QWidget* parent)
        : QAbstractButton(parent)
        , m_color(color)
    {
        setFixedSize(24, 24);
        setFocusPolicy(Qt::NoFocus);
    }

    bool selected = false;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF centre = QRectF(rect()).center();
        p.setPen(QPen(palette().color(QPalette::Mid), 0.5));
        p.setBrush(m_color);
        p.drawEllipse(centre, 8, 8);
        if (selected) {
            p.setPen(QPen(accentColor(this), 2));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(centre, 11, 11);
        }
    }

private:
    QColor m_color;
};

// Shows the document's colour over a checkerboard, so translucent colours read as such.
class ColorWell : public QAbstractButton {
public:
    explicit ColorWell(QWidget* parent)
        : QAbstractButton(parent)
    {
        setFixedSize(30, 22);
        setFocusPolicy(Qt::NoFocus);
    }

    QColor color;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
        QPainterPath shape;
        shape.addRoundedRect(box, 4, 4);
        p.save();
        p.setClipPath(shape);
        p.fillRect(box, Qt::white);
        for (int y = 0; y < height(); y += 5)
            for (int x = (y / 5) % 2 * 5; x < width(); x += 10)
                p.fillRect(QRectF(x, y, 5, 5), QColor(204, 204, 204));
        p.fillRect(box, color);
        p.restore();
        p.setPen(QPen(palette().color(QPalette::Mid), 1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(shape);
    }
};

// The toolbar's one colour and size control: the document's colour as a disc over a
// checkerboard, a bar as thick as the stroke size and a small arrow; it opens the panel with
// the palette, the colour well and the size picker.
class StyleButton : public QAbstractButton {
public:
    explicit StyleButton(QWidget* parent)
        : QAbstractButton(parent)
    {
        setFixedSize(40, 24);
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_Hover);
    }

    QColor color;
    int strokeIndex = 1; // 0 thin, 1 medium, 2 thick

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (isDown() || underMouse()) {
            QColor fill = palette().color(QPalette::ButtonText);
            fill.setAlphaF(isDown() ? 0.18f : 0.08f);
            p.setPen(Qt::NoPen);
            p.setBrush(fill);
            p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
        }
        const QRectF disc(5, 4, 16, 16);
        QPainterPath shape;
        shape.addEllipse(disc);
        p.save();
        p.setClipPath(shape);
        p.fillRect(disc, Qt::white);
        p.fillRect(QRectF(disc.x(), disc.y(), 8, 8), QColor(204, 204, 204));
        p.fillRect(QRectF(disc.x() + 8, disc.y() + 8, 8, 8), QColor(204, 204, 204));
        p.fillRect(disc, color);
        p.restore();
        p.setPen(QPen(palette().color(QPalette::Mid), 0.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(disc);
        // The stroke size under the arrow, and the arrow.
        const QColor ink = palette().color(QPalette::ButtonText);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        const double bar = 1.0 + 1.5 * strokeIndex;
        p.drawRoundedRect(QRectF(25, 17 - bar / 2, 10, bar), bar / 2, bar / 2);
        QPainterPath arrow;
        arrow.moveTo(26, 8);
        arrow.lineTo(34, 8);
        arrow.lineTo(30, 12);
        arrow.closeSubpath();
        p.drawPath(arrow);
    }
};

QFrame* verticalDivider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setFixedHeight(20);
    return line;
}

QString helpText(EditorTool tool)
{
    return QStringLiteral("%1 (%2)").arg(displayTitle(tool), QChar(shortcutKey(tool)).toUpper());
}

// A key combination as the tooltips name it, in the user's language.
QString keysText(QKeySequence keys) { return keys.toString(QKeySequence::NativeText); }

QString toQString(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

} // namespace

EditorView::EditorView(EditorDocument& document, EditorActions actions, QWidget* parent)
    : QWidget(parent)
    , m_document(document)
    , m_actions(std::move(actions))
{
    pickColor = [](const QColor& current, QWidget* owner) -> std::optional<QColor> {
        const QColor chosen = QColorDialog::getColor(current, owner, tr("Colour"), QColorDialog::ShowAlphaChannel);
        if (!chosen.isValid())
            return std::nullopt;
        return chosen;
    };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* toolbar = new QWidget(this);
    toolbar->setObjectName(QStringLiteral("editorToolbar"));
    buildToolbar(toolbar);
    layout->addWidget(toolbar);
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);
    m_canvas = new EditorCanvas(document, this);
    layout->addWidget(m_canvas, 1);
    setFocusProxy(m_canvas);

    connect(&m_document, &EditorDocument::toolChanged, this, &EditorView::refresh);
    connect(&m_document, &EditorDocument::colorChanged, this, &EditorView::refresh);
    connect(&m_document, &EditorDocument::strokeSizeChanged, this, &EditorView::refresh);
    connect(&m_document, &EditorDocument::cropChanged, this, &EditorView::refresh);
    connect(&m_document, &EditorDocument::fillChanged, this, &EditorView::refresh);
    refresh();
}

EditorCanvasView* EditorView::canvasView() const { return m_canvas->view(); }

QAbstractButton* EditorView::toolButton(int index) const { return m_tools.value(index); }

QAbstractButton* EditorView::swatch(int index) const { return m_swatches.value(index); }

void EditorView::buildToolbar(QWidget* toolbar)
{
    auto* row = new QHBoxLayout(toolbar);
    row->setContentsMargins(12, 8, 12, 8);
    // Buttons that belong together are 2 points apart, the groups 6.
    row->setSpacing(6);
    row->setAlignment(Qt::AlignVCenter);

    // Every command first closes an open text field, so what was typed is part of it.
    const auto command = [this](std::function<void()> action) {
        return [this, action = std::move(action)] {
            canvasView()->commitTextEditing();
            if (action)
                action();
        };
    };
    const auto symbolButton = [&](const QString& symbol, const QString& help) {
        auto* button = new SymbolButton(QSize(24, 24), toolbar);
        button->setToolTip(help);
        button->setAccessibleName(help);
        m_symbolButtons.append({button, symbol});
        return button;
    };

    // The tools' 28-point frames touch: only one is ever highlighted or hovered.
    auto* tools = new QHBoxLayout;
    tools->setSpacing(0);
    for (EditorTool tool : allEditorTools) {
        QAbstractButton* button = symbolButton(toQString(symbolName(tool)), helpText(tool));
        connect(button, &QAbstractButton::clicked, this, [this, tool] { m_document.setTool(tool); });
        tools->addWidget(button);
        m_tools.append(button);
    }
    row->addLayout(tools);
    row->addWidget(verticalDivider(toolbar));

    // Colour and size share one button whose panel holds the palette, the colour well and the
    // size picker, so that the toolbar fits the window's 720-pixel minimum.
    m_style = new StyleButton(toolbar);
    m_style->setObjectName(QStringLiteral("styleButton"));
    m_style->setToolTip(tr("Colour and Size"));
    m_style->setAccessibleName(tr("Colour and Size"));
    row->addWidget(m_style);
    m_fill = symbolButton(QStringLiteral("square.fill.on.square"), tr("Fill Rectangles and Ellipses"));
    m_fill->setObjectName(QStringLiteral("fillButton"));
    m_fill->setCheckable(true);
    connect(m_fill, &QAbstractButton::clicked, this, [this](bool filled) {
        canvasView()->commitTextEditing();
        m_document.setFill(filled ? Annotation::Kind::Fill::solid : Annotation::Kind::Fill::outline);
        const auto selected = m_document.selectedAnnotation();
        if (selected && (selected->kind.is(Annotation::Kind::Type::rectangle) || selected->kind.is(Annotation::Kind::Type::ellipse)))
            m_document.applyStyleToSelection();
    });
    auto* stylePanel = new QFrame(this, Qt::Popup);
    stylePanel->setObjectName(QStringLiteral("stylePanel"));
    stylePanel->setFrameShape(QFrame::StyledPanel);
    m_stylePanel = stylePanel;
    connect(m_style, &QAbstractButton::clicked, this, [this] {
        canvasView()->commitTextEditing();
        m_stylePanel->adjustSize();
        m_stylePanel->move(m_style->mapToGlobal(QPoint(0, m_style->height() + 2)));
        m_stylePanel->show();
    });
    auto* colours = new QHBoxLayout(m_stylePanel);
    colours->setContentsMargins(8, 6, 8, 6);
    colours->setSpacing(4);
    QWidget* const panel = m_stylePanel;
    for (const RGBA& colour : editorPalette) {
        auto* button = new SwatchButton(colour.toColor(), panel);
        button->setAccessibleName(colour.toColor().name());
        connect(button, &QAbstractButton::clicked, this, [this, colour] {
            canvasView()->commitTextEditing();
            m_stylePanel->hide();
            m_document.setColor(colour);
            m_document.applyStyleToSelection();
        });
        colours->addWidget(button);
        m_swatches.append(button);
    }
    auto* well = new ColorWell(panel);
    well->setToolTip(tr("Colour"));
    well->setAccessibleName(tr("Colour"));
    connect(well, &QAbstractButton::clicked, this, &EditorView::chooseColor);
    colours->addWidget(well);
    m_colorWell = well;
    colours->addSpacing(6);

    m_sizePicker = new QComboBox(panel);
    m_sizePicker->setAccessibleName(tr("Size"));
    m_sizePicker->setFocusPolicy(Qt::NoFocus);
    m_sizePicker->setFixedWidth(92);
    m_sizePicker->setToolTip(tr("Size"));
    for (StrokeSize size : allStrokeSizes)
        m_sizePicker->addItem(QCoreApplication::translate("StrokeSize", label(size).data()));
    connect(m_sizePicker, &QComboBox::activated, this, [this](int index) {
        if (index < 0 || index >= int(allStrokeSizes.size()))
            return;
        canvasView()->commitTextEditing();
        m_stylePanel->hide();
        m_document.setStrokeSize(allStrokeSizes[size_t(index)]);
        m_document.applyStyleToSelection();
    });
    colours->addWidget(m_sizePicker);
    m_fill->setParent(panel);
    colours->addWidget(m_fill);

    m_resetCrop = new QPushButton(tr("Reset Crop"), toolbar);
    m_resetCrop->setFocusPolicy(Qt::NoFocus);
    connect(m_resetCrop, &QPushButton::clicked, this, command([this] { m_document.applyCrop(std::nullopt); }));
    row->addWidget(m_resetCrop);
    row->addStretch(1);

    const auto group = [&row] {
        auto* g = new QHBoxLayout;
        g->setSpacing(2);
        row->addLayout(g);
        return g;
    };
    QHBoxLayout* history = group();
    QAbstractButton* undo = symbolButton(QStringLiteral("arrow.uturn.backward"), tr("Undo"));
    connect(undo, &QAbstractButton::clicked, this, command([this] { m_document.undo(); }));
    history->addWidget(undo);
    QAbstractButton* redo = symbolButton(QStringLiteral("arrow.uturn.forward"), tr("Redo"));
    connect(redo, &QAbstractButton::clicked, this, command([this] { m_document.redo(); }));
    history->addWidget(redo);
    row->addWidget(verticalDivider(toolbar));

    QHBoxLayout* outputs = group();

    m_copyText = symbolButton(QStringLiteral("text.viewfinder"),
                              tr("Copy Text (%1)").arg(keysText(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C))));
    m_copyText->setObjectName(QStringLiteral("copyTextButton"));
    connect(m_copyText, &QAbstractButton::clicked, this, command(m_actions.copyText));
    outputs->addWidget(m_copyText);

    QAbstractButton* pin = symbolButton(QStringLiteral("pin"), tr("Pin to Screen (%1)").arg(keysText(QKeySequence(Qt::CTRL | Qt::Key_P))));
    connect(pin, &QAbstractButton::clicked, this, command(m_actions.pin));
    outputs->addWidget(pin);
    QAbstractButton* saveAs = symbolButton(QStringLiteral("square.and.arrow.down.on.square"),
                                           tr("Save As… (%1)").arg(keysText(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S))));
    connect(saveAs, &QAbstractButton::clicked, this, command(m_actions.saveAs));
    outputs->addWidget(saveAs);
    QAbstractButton* save = symbolButton(QStringLiteral("square.and.arrow.down"),
                                         tr("Save to Screenshots Folder (%1)").arg(keysText(QKeySequence(Qt::CTRL | Qt::Key_S))));
    connect(save, &QAbstractButton::clicked, this, command(m_actions.save));
    outputs->addWidget(save);

    m_copy = new QPushButton(tr("Copy"), toolbar);
    m_copy->setObjectName(QStringLiteral("copyButton"));
    m_copy->setToolTip(tr("Copy and Close (%1)").arg(keysText(QKeySequence(Qt::CTRL | Qt::Key_C))));
    m_copy->setFocusPolicy(Qt::NoFocus);
    m_copy->setIconSize(QSize(16, 16));
    connect(m_copy, &QPushButton::clicked, this, command(m_actions.copy));
    row->addWidget(m_copy);

    const auto shortcut = [this, &command](QKeySequence keys, std::function<void()> action) {
        auto* s = new QShortcut(keys, this);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, command(std::move(action)));
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_C), m_actions.copy);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), m_actions.save);
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), m_actions.saveAs);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_P), m_actions.pin);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), [this] { m_document.undo(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [this] { m_document.redo(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Y), [this] { m_document.redo(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), [this] {
        if (m_copyText->isVisible() && m_actions.copyText)
            m_actions.copyText();
    });
    // Zoom around the view's centre; Ctrl+0 fits the image into the window again.
    for (const QKeySequence& in : {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal),
                                   QKeySequence(QKeySequence::ZoomIn)})
        shortcut(in, [this] { canvasView()->zoomBy(1); });
    for (const QKeySequence& out : {QKeySequence(Qt::CTRL | Qt::Key_Minus), QKeySequence(QKeySequence::ZoomOut)})
        shortcut(out, [this] { canvasView()->zoomBy(-1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { canvasView()->zoomToFit(); });
    // Closing discards the annotations without asking, as the title bar's close button does.
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_W), [this] { window()->close(); });

    recolourSymbols();
}

void EditorView::setCopyTextAvailable(bool available) { m_copyText->setVisible(available); }

void EditorView::recolourSymbols()
{
    for (const auto& [button, symbol] : m_symbolButtons)
        button->setIcon(ui::symbolIcon(symbol, symbolColor(button)));
    // The prominent button: the accent colour filled, its text and symbol in the accent's
    // own text colour.
    const QColor accent = accentColor(this);
    const QColor ink = palette().color(QPalette::HighlightedText);
    m_copy->setIcon(ui::symbolIcon(QStringLiteral("doc.on.doc"), ink));
    m_copy->setStyleSheet(QStringLiteral("QPushButton#copyButton { background: %1; color: %2; border: none;"
                                         " border-radius: 5px; padding: 4px 12px; font-weight: 600; }"
                                         "QPushButton#copyButton:pressed { background: %3; }")
                              .arg(accent.name(), ink.name(), accent.darker(120).name()));
}

void EditorView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_copy)
        recolourSymbols();
}

void EditorView::chooseColor()
{
    canvasView()->commitTextEditing();
    m_stylePanel->hide(); // a popup over the colour dialog would take its clicks
    if (!pickColor)
        return;
    const std::optional<QColor> chosen = pickColor(m_document.color().toColor(), window());
    if (!chosen)
        return;
    m_document.setColor(RGBA::fromColor(*chosen));
    m_document.applyStyleToSelection();
}

void EditorView::refresh()
{
    for (int i = 0; i < m_tools.size(); ++i) {
        auto* button = static_cast<SymbolButton*>(m_tools[i]);
        button->active = allEditorTools[size_t(i)] == m_document.tool();
        button->update();
    }
    for (int i = 0; i < m_swatches.size(); ++i) {
        auto* button = static_cast<SwatchButton*>(m_swatches[i]);
        button->selected = editorPalette[size_t(i)] == m_document.color();
        button->update();
    }
    static_cast<ColorWell*>(m_colorWell)->color = m_document.color().toColor();
    m_colorWell->update();
    auto* style = static_cast<StyleButton*>(m_style);
    style->color = m_document.color().toColor();
    style->strokeIndex = int(std::find(allStrokeSizes.begin(), allStrokeSizes.end(), m_document.strokeSize()) - allStrokeSizes.begin());
    style->update();
    const auto index = std::find(allStrokeSizes.begin(), allStrokeSizes.end(), m_document.strokeSize()) - allStrokeSizes.begin();
    if (m_sizePicker->currentIndex() != index)
        m_sizePicker->setCurrentIndex(int(index));
    m_resetCrop->setVisible(m_document.crop().has_value());
    m_fill->setChecked(m_document.fill() == Annotation::Kind::Fill::solid);
    static_cast<SymbolButton*>(m_fill)->active = m_fill->isChecked();
    m_fill->update();
}

} // namespace quandrel
