#include "SettingsWindow.h"

#include "SettingsModel.h"
#include "SettingsWidgets.h"
#include "ShortcutRecorder.h"
#include "Symbols.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace quandrel {

using settingsui::section;

namespace {

struct TabInfo {
    const char* title;
    const char* symbol;
};
constexpr TabInfo tabInfo[] = {
    {QT_TRANSLATE_NOOP("quandrel::SettingsWindow", "General"), "gearshape"},
    {QT_TRANSLATE_NOOP("quandrel::SettingsWindow", "Windows"), "rectangle.split.2x1"},
    {QT_TRANSLATE_NOOP("quandrel::SettingsWindow", "Apps"), "square.grid.2x2"},
    {QT_TRANSLATE_NOOP("quandrel::SettingsWindow", "Screenshots"), "camera.viewfinder"},
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

SettingsWindow::SettingsWindow(SettingsContext context, ApplicationCatalog& catalog, SettingsSectionFactory updates, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_context(std::move(context))
    , m_catalog(catalog)
    , m_tabs(new QTabWidget(this))
{
    setWindowTitle(tr("Quandrel Settings"));
    setWindowIcon(ui::applicationIcon());
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(saveNotice());
    layout->addWidget(m_tabs);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    m_tabs->setAccessibleName(tr("Settings sections"));
    m_tabs->addTab(generalTab(updates), QString());
    m_tabs->addTab(windowsTab(), QString());
    m_tabs->addTab(appsTab(), QString());
    m_tabs->addTab(screenshotsTab(), QString());
    for (int i = 0; i < m_tabs->count(); ++i)
        m_tabs->setTabText(i, tr(tabInfo[i].title));
    updateSymbols();

    connect(&m_context.store, &SettingsStore::settingsChanged, this, &SettingsWindow::refresh);
    connect(&m_context.store, &SettingsStore::saveFailureChanged, this, &SettingsWindow::refreshSaveNotice);
    connect(&m_context.failed, &FailedShortcuts::changed, this, &SettingsWindow::refresh);
    connect(&m_context.permissions, &PermissionMonitor::changed, this, &SettingsWindow::refresh);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            readSystemTiling();
    });
    readSystemTiling();
    refresh();
    // Wide enough for the longest rows (an app's, in German) without scrolling sideways.
    resize(680, 620);
}

SettingsWindow::~SettingsWindow()
{
    // A recorder that records gives the hot keys back while the window is still whole: the
    // answer may change the failed shortcuts, which this window shows.
    for (const auto& [command, recorder] : m_recorders)
        recorder->stopRecording();
}

QString SettingsWindow::recorderName(const Command& command) { return QStringLiteral("recorder:") + commandURL(command); }

void SettingsWindow::showTab(SettingsTab tab) { m_tabs->setCurrentIndex(int(tab)); }

void SettingsWindow::refresh()
{
    m_refreshing = true;
    const QuandrelSettings& s = m_context.store.settings();
    refreshGeneral();
    refreshApps(s);
    const auto lookupName = [this](const std::string& id) { return appName(id); };
    for (const auto& [command, recorder] : m_recorders) {
        recorder->setShortcut(shortcutIn(s, command));
        recorder->setConflict(conflictText(command, s, lookupName));
        recorder->setFailed(m_context.failed.contains(command), m_context.failed.holderOf(command));
    }
    refreshWindows(s);
    refreshScreenshots(s);
    refreshSaveNotice();
    m_refreshing = false;
}

// ---- The line that says settings are not saved ------------------------------------------

QWidget* SettingsWindow::saveNotice()
{
    m_saveNotice = new QWidget(this);
    m_saveNotice->setObjectName(QStringLiteral("saveNotice"));
    auto* row = new QHBoxLayout(m_saveNotice);
    row->setContentsMargins(2, 0, 2, 4);
    m_saveSymbol = new QLabel(m_saveNotice);
    m_saveSymbol->setFixedSize(16, 16);
    row->addWidget(m_saveSymbol);
    m_saveText = new settingsui::ElidedLabel(m_saveNotice);
    row->addWidget(m_saveText, 1);
    m_saveNotice->hide();
    return m_saveNotice;
}

void SettingsWindow::refreshSaveNotice()
{
    const auto& failure = m_context.store.saveFailure();
    if (failure) {
        m_saveText->setFullText(tr("Settings couldn't be saved (%1). They stay in use and are saved at the next change.")
                                    .arg(*failure));
        m_saveText->setToolTip(QDir::toNativeSeparators(m_context.store.path()));
    }
    m_saveNotice->setVisible(failure.has_value());
}

// ---- Shortcuts --------------------------------------------------------------------------

QWidget* SettingsWindow::shortcutSection(const std::vector<std::pair<QString, Command>>& commands, QWidget* page)
{
    auto* box = section(tr("Shortcuts"), page);
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
    auto* recorder = new ShortcutRecorder(m_context, title, parent);
    recorder->setObjectName(recorderName(command));
    m_recorders[command] = recorder;
    connect(recorder, &ShortcutRecorder::shortcutEdited, this,
            [this, command](const std::optional<Shortcut>& shortcut) { setRecorded(command, shortcut); });
    return recorder;
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

void SettingsWindow::edit(const std::function<void(QuandrelSettings&)>& change, SettingsStore::Saving saving)
{
    // Always from the store's current record: a change made meanwhile by another program
    // stays, and only this one member is written over it.
    QuandrelSettings next = m_context.store.settings();
    change(next);
    m_context.store.setSettings(next, saving);
}

// ---- The window -------------------------------------------------------------------------

void SettingsWindow::updateSymbols()
{
    const QColor text = palette().color(QPalette::WindowText);
    for (int i = 0; i < m_tabs->count(); ++i)
        m_tabs->setTabIcon(i, ui::symbolIcon(QString::fromLatin1(tabInfo[i].symbol), text));
    const QColor secondary = settingsui::secondaryColor(palette());
    m_saveSymbol->setPixmap(ui::symbolPixmap(QStringLiteral("exclamationmark.triangle"), QSize(16, 16), settingsui::orange, devicePixelRatioF()));
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
    // A gap still being settled is written now; the widgets stay for the next opening, the
    // window and its image buffer on the display server go until then.
    m_context.store.saveNow();
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
