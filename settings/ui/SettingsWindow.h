#pragma once

// "Quandrel Settings": four tabs over the settings record. Every control shows the store's
// current record and writes one changed member back at once (one change of the store per
// edit), so an outside edit of the file only ever meets whole, single changes; the window
// follows the store, the failed shortcuts and the permissions as they change.

#include "ApplicationCatalog.h"
#include "Command.h"
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
class AppController;
class ShortcutRecorder;
struct QuandrelSettings;

namespace settingsui {
class ElidedLabel;
class PermissionRow;
}

// Makes the content of a section of the General tab (the updater's "Updates").
using SettingsSectionFactory = std::function<QWidget*(QWidget* parent)>;

class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    SettingsWindow(AppController& controller, ApplicationCatalog& catalog, SettingsSectionFactory updates = {},
                   QWidget* parent = nullptr);
    ~SettingsWindow() override;

    QTabWidget* tabs() const { return m_tabs; }
    // The recorder of a window action, a capture mode or an app binding; none when absent.
    ShortcutRecorder* recorder(const Command& command) const;

    // General
    QCheckBox* loginSwitch() const { return m_login; }
    QLabel* versionLabel() const { return m_version; }
    // Windows
    QPushButton* restoreDefaultsButton() const { return m_restoreDefaults; }
    QSlider* gapSlider() const { return m_gap; }
    QLabel* gapLabel() const { return m_gapLabel; }
    QComboBox* repeatPicker() const { return m_repeat; }
    QCheckBox* dragSwitch() const { return m_drag; }
    QCheckBox* restoreSizeSwitch() const { return m_restoreSize; }
    QWidget* tilingNote() const { return m_tilingNote; }
    QLabel* tilingNoteText() const { return m_tilingText; }
    QPushButton* tilingButton() const { return m_tilingButton; }
    // Apps
    QToolButton* addAppsButton() const { return m_addApps; }
    // The open chooser of "+", if one is open.
    AppChooser* appChooser() const;
    // The row widgets of the app bindings, in order (icon, name, recorder, picker, remove).
    struct AppRow {
        std::string desktopId;
        QWidget* row = nullptr;
        QLabel* icon = nullptr;
        QLabel* name = nullptr;
        ShortcutRecorder* recorder = nullptr;
        QComboBox* whenInFront = nullptr;
        QToolButton* remove = nullptr;
    };
    const std::vector<AppRow>& appRows() const { return m_appRows; }
    // Screenshots
    QComboBox* afterCapturePicker() const { return m_afterCapture; }
    settingsui::ElidedLabel* folderLabel() const { return m_folder; }
    QPushButton* chooseFolderButton() const { return m_chooseFolder; }
    QPushButton* resetFolderButton() const { return m_resetFolder; }

    // Shows the store's current record, the failed shortcuts and the permissions.
    void refresh();
    // Reads the desktop's own edge tiling again.
    void readSystemTiling();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* generalTab(const SettingsSectionFactory& updates);
    QWidget* windowsTab();
    QWidget* appsTab();
    QWidget* screenshotsTab();
    // "Shortcuts": a titled recorder row per command, in order.
    QWidget* shortcutSection(const std::vector<std::pair<QString, Command>>& commands, QWidget* page);
    ShortcutRecorder* addRecorder(const Command& command, const QString& title, QWidget* parent);
    void edit(const std::function<void(QuandrelSettings&)>& change);
    void setRecorded(const Command& command, const std::optional<struct Shortcut>& shortcut);
    void rebuildAppRows();
    void openAppChooser();
    void chooseFolder();
    void updateSymbols();
    std::optional<std::string> appName(const std::string& desktopId) const;

    AppController& m_controller;
    ApplicationCatalog& m_catalog;
    bool m_refreshing = false;
    QTabWidget* m_tabs = nullptr;
    std::map<Command, ShortcutRecorder*> m_recorders;

    QCheckBox* m_login = nullptr;
    settingsui::PermissionRow* m_windowControl = nullptr;
    settingsui::PermissionRow* m_screenReading = nullptr;
    QLabel* m_version = nullptr;

    QPushButton* m_restoreDefaults = nullptr;
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
    settingsui::ElidedLabel* m_folder = nullptr;
    QPushButton* m_chooseFolder = nullptr;
    QPushButton* m_resetFolder = nullptr;
};

} // namespace quandrel
