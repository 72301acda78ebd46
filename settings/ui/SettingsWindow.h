#pragma once

// "Quandrel Settings": four tabs over the settings record. Every control shows the store's
// current record and writes one changed member back at once (one change of the store per
// edit; the gap slider applies each step and writes once), so an outside edit of the file
// only ever meets whole, single changes; the window follows the store, the failed shortcuts
// and the permissions as they change, and says so in one line while settings cannot be saved.

#include "ApplicationCatalog.h"
#include "Command.h"
#include "SettingsContext.h"
#include "SystemTiling.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QTabWidget;
class QToolButton;
class QVBoxLayout;

namespace quandrel {

class AppChooser;
class ShortcutRecorder;

namespace settingsui {
class ElidedLabel;
class PermissionRow;
}

// Makes the content of a section of the General tab (the updater's "Updates").
using SettingsSectionFactory = std::function<QWidget*(QWidget* parent)>;

// Tests and tools find the controls by object name: "tabs"; "saveNotice"; "loginSwitch",
// "version"; "restoreDefaults", "gapSlider", "gapLabel", "repeatPicker", "dragSwitch",
// "restoreSizeSwitch", "tilingNote", "tilingNoteText", "tilingButton"; "appRows" (one
// "appRow:<desktop id>" each, with "icon", "name", "whenInFront", "remove"), "addApps";
// "afterCapturePicker", "folder", "chooseFolder", "resetFolder"; and each recorder as
// "recorder:" followed by its command's URL (recorderName).
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    SettingsWindow(SettingsContext context, ApplicationCatalog& catalog, SettingsSectionFactory updates = {},
                   QWidget* parent = nullptr);
    ~SettingsWindow() override;

    static QString recorderName(const Command& command);

    // Shows the store's current record, the failed shortcuts and the permissions.
    void refresh();
    // Reads the desktop's own edge tiling again.
    void readSystemTiling();
    void showTab(SettingsTab tab);

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct AppRow {
        std::string desktopId;
        QWidget* row = nullptr;
        QLabel* name = nullptr;
        QComboBox* whenInFront = nullptr;
        QToolButton* remove = nullptr;
    };

    // One tab each (SettingsGeneralTab.cpp, SettingsWindowsTab.cpp, SettingsAppsTab.cpp,
    // SettingsScreenshotsTab.cpp): made once, then shown from the record by its refresh.
    QWidget* generalTab(const SettingsSectionFactory& updates);
    void refreshGeneral();
    QWidget* windowsTab();
    void refreshWindows(const QuandrelSettings& settings);
    QWidget* appsTab();
    void refreshApps(const QuandrelSettings& settings);
    void rebuildAppRows(const std::vector<AppBinding>& bindings);
    void openAppChooser();
    std::optional<std::string> appName(const std::string& desktopId) const;
    QWidget* screenshotsTab();
    void refreshScreenshots(const QuandrelSettings& settings);
    void chooseFolder();

    // Shared by the tabs.
    QWidget* saveNotice();
    void refreshSaveNotice();
    // "Shortcuts": a titled recorder row per command, in order.
    QWidget* shortcutSection(const std::vector<std::pair<QString, Command>>& commands, QWidget* page);
    ShortcutRecorder* addRecorder(const Command& command, const QString& title, QWidget* parent);
    // One change of the store, made on its current record.
    void edit(const std::function<void(QuandrelSettings&)>& change, SettingsStore::Saving saving = SettingsStore::Saving::now);
    void setRecorded(const Command& command, const std::optional<Shortcut>& shortcut);
    void updateSymbols();

    SettingsContext m_context;
    ApplicationCatalog& m_catalog;
    bool m_refreshing = false;
    QTabWidget* m_tabs = nullptr;
    std::map<Command, ShortcutRecorder*> m_recorders;

    QWidget* m_saveNotice = nullptr;
    QLabel* m_saveSymbol = nullptr;
    settingsui::ElidedLabel* m_saveText = nullptr;

    QCheckBox* m_login = nullptr;
    settingsui::PermissionRow* m_windowControl = nullptr;
    settingsui::PermissionRow* m_screenReading = nullptr;

    QSlider* m_gap = nullptr;
    QLabel* m_gapLabel = nullptr;
    QComboBox* m_repeat = nullptr;
    QCheckBox* m_drag = nullptr;
    QCheckBox* m_restoreSize = nullptr;
    QWidget* m_tilingNote = nullptr;
    QLabel* m_tilingSymbol = nullptr;
    QLabel* m_tilingText = nullptr;
    QPushButton* m_tilingButton = nullptr;
    std::optional<TilingSettingsPage> m_tilingPage;

    QVBoxLayout* m_appRowsLayout = nullptr;
    std::vector<AppRow> m_appRows;
    QToolButton* m_addApps = nullptr;
    QPointer<AppChooser> m_chooser; // gone when closed
    mutable std::map<std::string, std::optional<InstalledApplication>> m_installed; // looked up once per window

    QComboBox* m_afterCapture = nullptr;
    QCheckBox* m_includePointer = nullptr;
    QCheckBox* m_adjustFirst = nullptr;
    settingsui::ElidedLabel* m_folder = nullptr;
    QPushButton* m_resetFolder = nullptr;
};

} // namespace quandrel
