// The Windows tab of the settings window: the window shortcuts, the gap and what pressing a
// half again does, dragging to edges, and the note about the desktop's own edge tiling.

#include "SettingsWindow.h"

#include "SettingsModel.h"
#include "SettingsWidgets.h"
#include "FrontmostApplication.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace quandrel {

using settingsui::scrolling;
using settingsui::secondaryLabel;
using settingsui::section;

namespace {

constexpr int maxGap = 30;

} // namespace

QWidget* SettingsWindow::windowsTab()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    std::vector<std::pair<QString, Command>> actions;
    for (const WindowAction a : allWindowActions)
        actions.emplace_back(displayTitle(a), WindowCommand{a});
    auto* shortcuts = shortcutSection(actions, page);
    auto* grid = static_cast<QGridLayout*>(shortcuts->layout());
    const int row = grid->rowCount();
    auto* restoreDefaults = new QPushButton(tr("Restore Default Shortcuts"), shortcuts);
    restoreDefaults->setObjectName(QStringLiteral("restoreDefaults"));
    connect(restoreDefaults, &QPushButton::clicked, this, [this] {
        edit([](QuandrelSettings& s) { s.windowShortcuts = QuandrelSettings().windowShortcuts; });
    });
    grid->addWidget(restoreDefaults, row, 0, 1, 2, Qt::AlignLeft);
    layout->addWidget(shortcuts);

    auto* behaviour = section(tr("Layouts"), page);
    auto* form = new QFormLayout(behaviour);
    auto* gapRow = new QHBoxLayout;
    m_gap = new QSlider(Qt::Horizontal, behaviour);
    m_gap->setObjectName(QStringLiteral("gapSlider"));
    m_gap->setRange(0, maxGap);
    m_gap->setSingleStep(1);
    m_gap->setPageStep(5);
    m_gap->setFixedWidth(160);
    m_gap->setAccessibleName(tr("Gap between windows"));
    m_gapLabel = new QLabel(behaviour);
    m_gapLabel->setObjectName(QStringLiteral("gapLabel"));
    QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_gapLabel->setFont(digits);
    m_gapLabel->setMinimumWidth(QFontMetrics(digits).horizontalAdvance(tr("%1 pt").arg(maxGap)));
    gapRow->addWidget(m_gap);
    gapRow->addWidget(m_gapLabel);
    gapRow->addStretch(1);
    // Each step applies at once; the file is written when the slider is let go, or once the
    // keys have rested for the store's quiet time.
    connect(m_gap, &QSlider::valueChanged, this, [this](int value) {
        m_gapLabel->setText(tr("%1 pt").arg(value));
        if (!m_refreshing)
            edit([value](QuandrelSettings& s) { s.gap = value; }, SettingsStore::Saving::afterQuietTime);
    });
    connect(m_gap, &QSlider::sliderReleased, &m_context.store, &SettingsStore::saveNow);
    form->addRow(tr("Gap between windows"), gapRow);

    m_repeat = new QComboBox(behaviour);
    m_repeat->setObjectName(QStringLiteral("repeatPicker"));
    m_repeat->setAccessibleName(tr("Pressing a half again"));
    for (const RepeatBehavior b : allRepeatBehaviors)
        m_repeat->addItem(displayTitle(b));
    connect(m_repeat, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_refreshing && index >= 0)
            edit([index](QuandrelSettings& s) { s.repeatBehavior = allRepeatBehaviors[std::size_t(index)]; });
    });
    form->addRow(tr("Pressing a half again"), m_repeat);
    layout->addWidget(behaviour);

    auto* dragging = section(tr("Dragging"), page);
    auto* dragLayout = new QVBoxLayout(dragging);
    m_drag = new QCheckBox(tr("Snap windows dragged to a screen edge"), dragging);
    m_drag->setObjectName(QStringLiteral("dragSwitch"));
    m_drag->setAccessibleName(m_drag->text());
    connect(m_drag, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_refreshing)
            edit([on](QuandrelSettings& s) { s.dragToSnap = on; });
    });
    dragLayout->addWidget(m_drag);
    dragLayout->addWidget(secondaryLabel(tr("Drag a window to the left or right edge for half the screen, the top for full "
                                            "screen, a corner for a quarter, or the bottom for a third."),
                                         dragging));
    m_restoreSize = new QCheckBox(tr("Restore a snapped window's size when it's dragged away"), dragging);
    m_restoreSize->setObjectName(QStringLiteral("restoreSizeSwitch"));
    m_restoreSize->setAccessibleName(m_restoreSize->text());
    connect(m_restoreSize, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_refreshing)
            edit([on](QuandrelSettings& s) { s.restoreSizeOnDrag = on; });
    });
    dragLayout->addWidget(m_restoreSize);

    m_tilingNote = new QWidget(dragging);
    m_tilingNote->setObjectName(QStringLiteral("tilingNote"));
    auto* note = new QHBoxLayout(m_tilingNote);
    note->setContentsMargins(0, 6, 0, 0);
    m_tilingSymbol = new QLabel(m_tilingNote);
    m_tilingSymbol->setFixedSize(16, 16);
    note->addWidget(m_tilingSymbol, 0, Qt::AlignTop);
    auto* noteText = new QVBoxLayout;
    m_tilingText = secondaryLabel(QString(), m_tilingNote);
    m_tilingText->setObjectName(QStringLiteral("tilingNoteText"));
    noteText->addWidget(m_tilingText);
    m_tilingButton = new QPushButton(m_tilingNote);
    m_tilingButton->setObjectName(QStringLiteral("tilingButton"));
    connect(m_tilingButton, &QPushButton::clicked, this, [this] {
        if (!m_tilingPage)
            return;
        QStringList arguments;
        for (const std::string& a : m_tilingPage->arguments)
            arguments << QString::fromStdString(a);
        if (!QProcess::startDetached(QString::fromStdString(m_tilingPage->program), arguments))
            m_context.platform.sound->beep();
    });
    noteText->addWidget(m_tilingButton, 0, Qt::AlignLeft);
    note->addLayout(noteText, 1);
    dragLayout->addWidget(m_tilingNote);
    layout->addWidget(dragging);
    layout->addStretch(1);
    return scrolling(page, this);
}

void SettingsWindow::refreshWindows(const QuandrelSettings& s)
{
    const int gap = int(std::lround(std::clamp(s.gap, 0.0, double(maxGap))));
    m_gap->setValue(gap);
    m_gapLabel->setText(tr("%1 pt").arg(gap));
    const auto repeat = std::find(allRepeatBehaviors.begin(), allRepeatBehaviors.end(), s.repeatBehavior);
    m_repeat->setCurrentIndex(int(repeat - allRepeatBehaviors.begin()));
    m_drag->setChecked(s.dragToSnap);
    m_restoreSize->setChecked(s.restoreSizeOnDrag);
}

void SettingsWindow::readSystemTiling()
{
    SystemTilingSource* source = m_context.platform.tiling;
    const SystemTiling tiling = source->read();
    if (!m_tilingPage)
        m_tilingPage = source->settingsPage();
    // Where the window manager alone snaps dragged windows (mutter under GNOME's Shell, KWin on
    // Wayland), Quandrel's own switches do nothing.
    const bool managersOwn = source->ownsDragSnapping();
    const bool switchesRest = managersOwn || !tiling.soleSnapper.empty();
    m_drag->setEnabled(!switchesRest);
    m_restoreSize->setEnabled(!switchesRest);
    const auto text = managersOwn ? std::optional<QString>(windowManagerDragNote(m_tilingPage)) : systemTilingNote(tiling, m_tilingPage);
    m_tilingNote->setVisible(text.has_value());
    m_tilingText->setText(text.value_or(QString()));
    m_tilingButton->setVisible(m_tilingPage.has_value());
    if (m_tilingPage)
        m_tilingButton->setText(tilingSettingsButtonTitle(*m_tilingPage));
}

} // namespace quandrel
