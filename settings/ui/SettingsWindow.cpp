#include "SettingsWindow.h"

#include "AppChooser.h"
#include "AppController.h"
#include "LoginItem.h"
#include "SettingsModel.h"
#include "SettingsWidgets.h"
#include "ShortcutRecorder.h"
#include "Symbols.h"
#include "FrontmostApplication.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace quandrel {

using settingsui::qstr;
using settingsui::scrolling;
using settingsui::secondaryLabel;
using settingsui::section;

namespace {

constexpr int maxGap = 30;

struct TabInfo {
    const char* title;
    const char* symbol;
};
constexpr TabInfo tabInfo[] = {
    {"General", "gearshape"},
    {"Windows", "rectangle.split.2x1"},
    {"Apps", "square.grid.2x2"},
    {"Screenshots", "camera.viewfinder"},
};

template <typename Key>
std::optional<Shortcut> lookup(const std::map<Key, Shortcut>& map, Key key)
{
    const auto it = map.find(key);
    return it == map.end() ? std::nullopt : std::optional<Shortcut>(it->second);
}

std::optional<Shortcut> shortcutIn(const QuandrelSettings& settings, const Command& command)
{
    if (const auto* w = std::get_if<WindowCommand>(&command))
        return lookup(settings.windowShortcuts, w->action);
    if (const auto* c = std::get_if<CaptureCommand>(&command))
        return lookup(settings.captureShortcuts, c->mode);
    if (const auto* a = std::get_if<AppCommand>(&command)) {
        const AppBinding* binding = findAppBinding(settings.appBindings, a->desktopId);
        return binding ? binding->shortcut : std::nullopt;
    }
    return std::nullopt;
}

} // namespace

SettingsWindow::SettingsWindow(AppController& controller, ApplicationCatalog& catalog, SettingsSectionFactory updates, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_controller(controller)
    , m_catalog(catalog)
    , m_tabs(new QTabWidget(this))
{
    setWindowTitle(QStringLiteral("Quandrel Settings"));
    setWindowIcon(ui::applicationIcon());
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(m_tabs);
    m_tabs->setAccessibleName(QStringLiteral("Settings sections"));
    m_tabs->addTab(generalTab(updates), QString());
    m_tabs->addTab(windowsTab(), QString());
    m_tabs->addTab(appsTab(), QString());
    m_tabs->addTab(screenshotsTab(), QString());
    for (int i = 0; i < m_tabs->count(); ++i)
        m_tabs->setTabText(i, QString::fromLatin1(tabInfo[i].title));
    updateSymbols();
    resize(640, 620);

    connect(&controller.store(), &SettingsStore::settingsChanged, this, &SettingsWindow::refresh);
    connect(&controller, &AppController::failedActionsChanged, this, &SettingsWindow::refresh);
    connect(&controller.permissions(), &PermissionMonitor::changed, this, &SettingsWindow::refresh);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            readSystemTiling();
    });
    readSystemTiling();
    refresh();
}

SettingsWindow::~SettingsWindow() = default;

// ---- General ----------------------------------------------------------------------------

QWidget* SettingsWindow::generalTab(const SettingsSectionFactory& updates)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    m_login = new QCheckBox(QStringLiteral("Open Quandrel at login"), page);
    m_login->setAccessibleName(m_login->text());
    connect(m_login, &QCheckBox::toggled, this, [this](bool on) {
        if (m_refreshing)
            return;
        if (const auto error = LoginItem::setEnabled(on, QCoreApplication::applicationFilePath()))
            qWarning("%s", qUtf8Printable(*error));
        // The switch shows what is registered, also when that failed.
        const QSignalBlocker block(m_login);
        m_login->setChecked(LoginItem::isEnabled());
    });
    layout->addWidget(m_login);

    auto* permissions = section(QStringLiteral("Permissions"), page);
    auto* rows = new QVBoxLayout(permissions);
    const auto checkAgain = [this] { m_controller.permissions().refresh(); };
    const PermissionText control = windowControlText();
    const PermissionText screen = screenReadingText();
    m_windowControl = new settingsui::PermissionRow(control.title, control.settingsDetail, control.missing, checkAgain, permissions);
    m_screenReading = new settingsui::PermissionRow(screen.title, screen.settingsDetail, screen.missing, checkAgain, permissions);
    rows->addWidget(m_windowControl);
    rows->addWidget(m_screenReading);
    layout->addWidget(permissions);

    if (updates) {
        auto* box = section(QStringLiteral("Updates"), page);
        auto* inner = new QVBoxLayout(box);
        if (QWidget* content = updates(box))
            inner->addWidget(content);
        layout->addWidget(box);
    }

    auto* version = new QHBoxLayout;
    version->addWidget(new QLabel(QStringLiteral("Version"), page));
    version->addStretch(1);
    const QString number = QCoreApplication::applicationVersion();
    m_version = new QLabel(number.isEmpty() ? QStringLiteral("unknown") : number, page);
    m_version->setAccessibleName(QStringLiteral("Version"));
    m_version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    version->addWidget(m_version);
    layout->addLayout(version);
    layout->addStretch(1);
    return scrolling(page, this);
}

// ---- Windows ----------------------------------------------------------------------------

QWidget* SettingsWindow::windowsTab()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    std::vector<std::pair<QString, Command>> actions;
    for (const WindowAction a : allWindowActions)
        actions.emplace_back(qstr(title(a)), WindowCommand{a});
    auto* shortcuts = shortcutSection(actions, page);
    auto* grid = static_cast<QGridLayout*>(shortcuts->layout());
    const int row = grid->rowCount();
    m_restoreDefaults = new QPushButton(QStringLiteral("Restore Default Shortcuts"), shortcuts);
    connect(m_restoreDefaults, &QPushButton::clicked, this, [this] {
        edit([](QuandrelSettings& s) { s.windowShortcuts = QuandrelSettings().windowShortcuts; });
    });
    grid->addWidget(m_restoreDefaults, row, 0, 1, 2, Qt::AlignLeft);
    layout->addWidget(shortcuts);

    auto* behaviour = section(QStringLiteral("Layouts"), page);
    auto* form = new QFormLayout(behaviour);
    auto* gapRow = new QHBoxLayout;
    m_gap = new QSlider(Qt::Horizontal, behaviour);
    m_gap->setRange(0, maxGap);
    m_gap->setSingleStep(1);
    m_gap->setPageStep(5);
    m_gap->setFixedWidth(160);
    m_gap->setAccessibleName(QStringLiteral("Gap between windows"));
    m_gapLabel = new QLabel(behaviour);
    QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_gapLabel->setFont(digits);
    m_gapLabel->setMinimumWidth(QFontMetrics(digits).horizontalAdvance(QStringLiteral("30 pt")));
    gapRow->addWidget(m_gap);
    gapRow->addWidget(m_gapLabel);
    gapRow->addStretch(1);
    connect(m_gap, &QSlider::valueChanged, this, [this](int value) {
        m_gapLabel->setText(QStringLiteral("%1 pt").arg(value));
        if (!m_refreshing)
            edit([value](QuandrelSettings& s) { s.gap = value; });
    });
    form->addRow(QStringLiteral("Gap between windows"), gapRow);

    m_repeat = new QComboBox(behaviour);
    m_repeat->setAccessibleName(QStringLiteral("Pressing a half again"));
    for (const RepeatBehavior b : allRepeatBehaviors)
        m_repeat->addItem(qstr(title(b)));
    connect(m_repeat, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_refreshing && index >= 0)
            edit([index](QuandrelSettings& s) { s.repeatBehavior = allRepeatBehaviors[std::size_t(index)]; });
    });
    form->addRow(QStringLiteral("Pressing a half again"), m_repeat);
    layout->addWidget(behaviour);

    auto* dragging = section(QStringLiteral("Dragging"), page);
    auto* dragLayout = new QVBoxLayout(dragging);
    m_drag = new QCheckBox(QStringLiteral("Snap windows dragged to a screen edge"), dragging);
    m_drag->setAccessibleName(m_drag->text());
    connect(m_drag, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_refreshing)
            edit([on](QuandrelSettings& s) { s.dragToSnap = on; });
    });
    dragLayout->addWidget(m_drag);
    dragLayout->addWidget(secondaryLabel(QStringLiteral("Drag a window to the left or right edge for half the screen, the top for full "
                                                        "screen, a corner for a quarter, or the bottom for a third."),
                                         dragging));
    m_restoreSize = new QCheckBox(QStringLiteral("Restore a snapped window's size when it's dragged away"), dragging);
    m_restoreSize->setAccessibleName(m_restoreSize->text());
    connect(m_restoreSize, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_refreshing)
            edit([on](QuandrelSettings& s) { s.restoreSizeOnDrag = on; });
    });
    dragLayout->addWidget(m_restoreSize);

    m_tilingNote = new QWidget(dragging);
    auto* note = new QHBoxLayout(m_tilingNote);
    note->setContentsMargins(0, 6, 0, 0);
    m_tilingSymbol = new QLabel(m_tilingNote);
    m_tilingSymbol->setFixedSize(16, 16);
    note->addWidget(m_tilingSymbol, 0, Qt::AlignTop);
    auto* noteText = new QVBoxLayout;
    m_tilingText = secondaryLabel(QString(), m_tilingNote);
    noteText->addWidget(m_tilingText);
    m_tilingButton = new QPushButton(m_tilingNote);
    connect(m_tilingButton, &QPushButton::clicked, this, [this] {
        if (!m_tilingPage)
            return;
        QStringList arguments;
        for (const std::string& a : m_tilingPage->arguments)
            arguments << QString::fromStdString(a);
        if (!QProcess::startDetached(QString::fromStdString(m_tilingPage->program), arguments))
            m_controller.platform().sound->beep();
    });
    noteText->addWidget(m_tilingButton, 0, Qt::AlignLeft);
    note->addLayout(noteText, 1);
    dragLayout->addWidget(m_tilingNote);
    layout->addWidget(dragging);
    layout->addStretch(1);
    return scrolling(page, this);
}

void SettingsWindow::readSystemTiling()
{
    SystemTilingSource* source = m_controller.platform().tiling;
    const SystemTiling tiling = source ? source->read() : SystemTiling{};
    if (source && !m_tilingPage)
        m_tilingPage = source->settingsPage();
    const auto text = systemTilingNote(tiling, m_tilingPage);
    m_tilingNote->setVisible(text.has_value());
    m_tilingText->setText(text.value_or(QString()));
    m_tilingButton->setVisible(m_tilingPage.has_value());
    if (m_tilingPage)
        m_tilingButton->setText(tilingSettingsButtonTitle(*m_tilingPage));
}

// ---- Screenshots ------------------------------------------------------------------------

QWidget* SettingsWindow::screenshotsTab()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    std::vector<std::pair<QString, Command>> modes;
    for (const CaptureMode m : allCaptureModes)
        modes.emplace_back(qstr(title(m)), CaptureCommand{m, std::nullopt});
    layout->addWidget(shortcutSection(modes, page));

    auto* after = section(QStringLiteral("After Capture"), page);
    auto* form = new QFormLayout(after);
    m_afterCapture = new QComboBox(after);
    m_afterCapture->setAccessibleName(QStringLiteral("After taking a screenshot"));
    for (const AfterCapture a : allAfterCaptures)
        m_afterCapture->addItem(qstr(label(a)));
    connect(m_afterCapture, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_refreshing && index >= 0)
            edit([index](QuandrelSettings& s) { s.afterCapture = allAfterCaptures[std::size_t(index)]; });
    });
    form->addRow(QStringLiteral("After taking a screenshot"), m_afterCapture);

    auto* folderRow = new QHBoxLayout;
    m_folder = new settingsui::ElidedLabel(after);
    m_folder->setForegroundRole(QPalette::PlaceholderText);
    m_folder->setAccessibleName(QStringLiteral("Screenshots folder"));
    m_chooseFolder = new QPushButton(QStringLiteral("Choose…"), after);
    m_chooseFolder->setAccessibleName(QStringLiteral("Choose the screenshots folder"));
    m_resetFolder = new QPushButton(QStringLiteral("Reset"), after);
    m_resetFolder->setAccessibleName(QStringLiteral("Reset the screenshots folder"));
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_chooseFolder);
    folderRow->addWidget(m_resetFolder);
    form->addRow(QStringLiteral("Screenshots folder"), folderRow);
    connect(m_chooseFolder, &QPushButton::clicked, this, &SettingsWindow::chooseFolder);
    connect(m_resetFolder, &QPushButton::clicked, this, [this] { edit([](QuandrelSettings& s) { s.saveFolderBookmark.reset(); }); });
    auto* show = new QPushButton(QStringLiteral("Show Screenshots Folder"), after);
    connect(show, &QPushButton::clicked, this, [this] {
        const QString folder = m_controller.store().screenshotsFolder();
        QDir().mkpath(folder); // may fail; opening is tried all the same
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    });
    form->addRow(QString(), show);
    layout->addWidget(after);

    auto* selecting = section(QStringLiteral("While Selecting"), page);
    auto* selectingLayout = new QVBoxLayout(selecting);
    selectingLayout->addWidget(secondaryLabel(QStringLiteral("Drag to select an area. Press Space to switch between area and window, and Esc "
                                                             "to cancel. In the editor, single keys pick tools: A arrow, R rectangle, T text, "
                                                             "B pixelate, C crop, V select."),
                                              selecting));
    layout->addWidget(selecting);
    layout->addStretch(1);
    return scrolling(page, this);
}

void SettingsWindow::chooseFolder()
{
    auto* dialog = new QFileDialog(this, QStringLiteral("Choose Screenshots Folder"), m_controller.store().screenshotsFolder());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& folder) {
        if (folder.isEmpty())
            return;
        const QByteArray path = QDir::cleanPath(QDir(folder).absolutePath()).toUtf8();
        edit([&](QuandrelSettings& s) { s.saveFolderBookmark = path; });
    });
    dialog->open();
}

// ---- Shared -----------------------------------------------------------------------------

QWidget* SettingsWindow::shortcutSection(const std::vector<std::pair<QString, Command>>& commands, QWidget* page)
{
    auto* box = section(QStringLiteral("Shortcuts"), page);
    auto* grid = new QGridLayout(box);
    grid->setColumnStretch(1, 1);
    int row = 0;
    for (const auto& [text, command] : commands) {
        auto* label = new QLabel(text, box);
        grid->addWidget(label, row, 0);
        ShortcutRecorder* recorder = addRecorder(command, text, box);
        label->setBuddy(recorder->button());
        grid->addWidget(recorder, row++, 1);
    }
    return box;
}

ShortcutRecorder* SettingsWindow::addRecorder(const Command& command, const QString& title, QWidget* parent)
{
    auto* recorder = new ShortcutRecorder(m_controller, title, parent);
    m_recorders[command] = recorder;
    connect(recorder, &ShortcutRecorder::shortcutEdited, this,
            [this, command](const std::optional<Shortcut>& shortcut) { setRecorded(command, shortcut); });
    return recorder;
}

ShortcutRecorder* SettingsWindow::recorder(const Command& command) const
{
    const auto it = m_recorders.find(command);
    return it == m_recorders.end() ? nullptr : it->second;
}

void SettingsWindow::setRecorded(const Command& command, const std::optional<Shortcut>& shortcut)
{
    edit([&](QuandrelSettings& s) {
        if (const auto* w = std::get_if<WindowCommand>(&command)) {
            if (shortcut)
                s.windowShortcuts[w->action] = *shortcut;
            else
                s.windowShortcuts.erase(w->action);
        } else if (const auto* c = std::get_if<CaptureCommand>(&command)) {
            if (shortcut)
                s.captureShortcuts[c->mode] = *shortcut;
            else
                s.captureShortcuts.erase(c->mode);
        } else if (const auto* a = std::get_if<AppCommand>(&command)) {
            for (AppBinding& b : s.appBindings) {
                if (b.desktopId == a->desktopId)
                    b.shortcut = shortcut;
            }
        }
    });
}

void SettingsWindow::edit(const std::function<void(QuandrelSettings&)>& change)
{
    // Always from the store's current record: a change made meanwhile by another program
    // stays, and only this one member is written over it.
    QuandrelSettings next = m_controller.store().settings();
    change(next);
    m_controller.store().setSettings(next);
}

void SettingsWindow::refresh()
{
    m_refreshing = true;
    const QuandrelSettings& s = m_controller.store().settings();

    m_login->setChecked(LoginItem::isEnabled());
    m_windowControl->setGranted(m_controller.permissions().windowControlAllowed());
    m_screenReading->setGranted(m_controller.permissions().screenReadingAllowed());

    rebuildAppRows();
    const auto lookupName = [this](const std::string& id) { return appName(id); };
    for (const auto& [command, recorder] : m_recorders) {
        recorder->setShortcut(shortcutIn(s, command));
        recorder->setConflict(conflictText(command, s, lookupName));
        recorder->setFailed(m_controller.failedActions().contains(command));
    }
    for (std::size_t i = 0; i < m_appRows.size(); ++i) {
        const auto at = std::find(allFrontmostBehaviors.begin(), allFrontmostBehaviors.end(), s.appBindings[i].whenFrontmost);
        m_appRows[i].whenInFront->setCurrentIndex(int(at - allFrontmostBehaviors.begin()));
    }

    const int gap = int(std::lround(std::clamp(s.gap, 0.0, double(maxGap))));
    m_gap->setValue(gap);
    m_gapLabel->setText(QStringLiteral("%1 pt").arg(gap));
    const auto repeat = std::find(allRepeatBehaviors.begin(), allRepeatBehaviors.end(), s.repeatBehavior);
    m_repeat->setCurrentIndex(int(repeat - allRepeatBehaviors.begin()));
    m_drag->setChecked(s.dragToSnap);
    m_restoreSize->setChecked(s.restoreSizeOnDrag);

    const auto after = std::find(allAfterCaptures.begin(), allAfterCaptures.end(), s.afterCapture);
    m_afterCapture->setCurrentIndex(int(after - allAfterCaptures.begin()));
    m_folder->setFullText(QDir::toNativeSeparators(m_controller.store().screenshotsFolder()));
    m_resetFolder->setEnabled(s.saveFolderBookmark.has_value());
    m_refreshing = false;
}

void SettingsWindow::updateSymbols()
{
    const QColor text = palette().color(QPalette::WindowText);
    for (int i = 0; i < m_tabs->count(); ++i)
        m_tabs->setTabIcon(i, ui::symbolIcon(QString::fromLatin1(tabInfo[i].symbol), text));
    const QColor secondary = settingsui::secondaryColor(palette());
    m_addApps->setIcon(ui::symbolIcon(QStringLiteral("plus"), text));
    m_tilingSymbol->setPixmap(ui::symbolPixmap(QStringLiteral("info.circle"), QSize(16, 16), secondary, devicePixelRatioF()));
    for (const AppRow& row : m_appRows)
        row.remove->setIcon(ui::symbolIcon(QStringLiteral("minus.circle.fill"), secondary));
}

void SettingsWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        updateSymbols();
    QWidget::changeEvent(event);
}

void SettingsWindow::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    // The widgets stay for the next opening; the window and its image buffer on the display
    // server go until then.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible())
            destroy(true, true);
    });
}

void SettingsWindow::showEvent(QShowEvent* event)
{
    // The chosen folder may have gone meanwhile; the line shows where the next save goes.
    refresh();
    QWidget::showEvent(event);
}

} // namespace quandrel
