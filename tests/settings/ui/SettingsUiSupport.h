#pragma once

// A controller on the in-memory desktop for the settings widgets, with a catalogue of
// installed applications, key presses as X delivers them (X keycode and state), and the
// settings window's controls found by their object names.

#include "AppChooser.h"
#include "AppController.h"
#include "ApplicationCatalog.h"
#include "FakeDesktop.h"
#include "ManualClock.h"
#include "SettingsWidgets.h"
#include "SettingsWindow.h"
#include "ShortcutRecorder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWidget>

#include <memory>

namespace quandrel::test {

struct FakeCatalog final : ApplicationCatalog {
    std::vector<InstalledApplication> apps;
    std::vector<InstalledApplication> installedApplications() override { return apps; }
    std::optional<InstalledApplication> findApplication(const std::string& id) override
    {
        for (const auto& app : apps) {
            if (app.desktopId == id)
                return app;
        }
        return std::nullopt;
    }
};

struct NoCapture final : CaptureService {
    bool startCapture(CaptureMode, std::optional<AfterCapture>, int) override { return true; }
    void closeAllPins() override {}
};

struct CountingPresenter final : SettingsPresenter {
    int settingsShown = 0, onboardingShown = 0, onboardingClosed = 0;
    std::vector<SettingsTab> tabsShown;
    void showSettings() override { ++settingsShown; }
    void showSettingsTab(SettingsTab tab) override { tabsShown.push_back(tab); }
    void showOnboarding() override { ++onboardingShown; }
    void closeOnboarding() override { ++onboardingClosed; }
};

// X keycodes (evdev + 8) of the keys the tests press.
namespace xkey {
inline constexpr quint32 a = 38, left = 113, right = 114, f6 = 72, backspace = 22, del = 119, escape = 9, shiftL = 50, controlL = 37,
                         print = 107, scrollLock = 78;
}
inline constexpr quint32 xLock = 0x2;

// Sends a key press to the widget with focus (or `to`), as the xcb platform builds it.
inline void pressKey(QWidget* to, int key, Qt::KeyboardModifiers modifiers, quint32 xKeycode, quint32 nativeModifiers = 0)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, xKeycode, 0, nativeModifiers);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, xKeycode, 0, nativeModifiers);
    QApplication::sendEvent(to, &release);
}

// The settings window's controls, as a person sees them.
struct SettingsWindowParts {
    QWidget* window;

    template <typename T>
    T* find(const QString& name) const
    {
        T* found = window->findChild<T*>(name);
        if (!found)
            qFatal("The settings window has no %s", qUtf8Printable(name));
        return found;
    }
    QTabWidget* tabs() const { return find<QTabWidget>(QStringLiteral("tabs")); }
    ShortcutRecorder* recorder(const Command& command) const { return window->findChild<ShortcutRecorder*>(SettingsWindow::recorderName(command)); }
    QWidget* saveNotice() const { return find<QWidget>(QStringLiteral("saveNotice")); }
    QCheckBox* loginSwitch() const { return find<QCheckBox>(QStringLiteral("loginSwitch")); }
    QPushButton* restoreDefaultsButton() const { return find<QPushButton>(QStringLiteral("restoreDefaults")); }
    QSlider* gapSlider() const { return find<QSlider>(QStringLiteral("gapSlider")); }
    QLabel* gapLabel() const { return find<QLabel>(QStringLiteral("gapLabel")); }
    QComboBox* repeatPicker() const { return find<QComboBox>(QStringLiteral("repeatPicker")); }
    QCheckBox* dragSwitch() const { return find<QCheckBox>(QStringLiteral("dragSwitch")); }
    QCheckBox* restoreSizeSwitch() const { return find<QCheckBox>(QStringLiteral("restoreSizeSwitch")); }
    QWidget* tilingNote() const { return find<QWidget>(QStringLiteral("tilingNote")); }
    QLabel* tilingNoteText() const { return find<QLabel>(QStringLiteral("tilingNoteText")); }
    QPushButton* tilingButton() const { return find<QPushButton>(QStringLiteral("tilingButton")); }
    QToolButton* addAppsButton() const { return find<QToolButton>(QStringLiteral("addApps")); }
    AppChooser* appChooser() const { return window->findChild<AppChooser*>(); }
    QComboBox* afterCapturePicker() const { return find<QComboBox>(QStringLiteral("afterCapturePicker")); }
    settingsui::ElidedLabel* folderLabel() const { return find<settingsui::ElidedLabel>(QStringLiteral("folder")); }
    QPushButton* resetFolderButton() const { return find<QPushButton>(QStringLiteral("resetFolder")); }

    // The rows of the app bindings, in the order shown.
    struct AppRow {
        QLabel* icon = nullptr;
        QLabel* name = nullptr;
        ShortcutRecorder* recorder = nullptr;
        QComboBox* whenInFront = nullptr;
        QToolButton* remove = nullptr;
    };
    std::vector<AppRow> appRows() const
    {
        std::vector<AppRow> rows;
        QLayout* layout = find<QWidget>(QStringLiteral("appRows"))->layout();
        for (int i = 0; i < layout->count(); ++i) {
            QWidget* row = layout->itemAt(i)->widget();
            if (!row)
                continue;
            const auto direct = Qt::FindDirectChildrenOnly;
            rows.push_back({row->findChild<QLabel*>(QStringLiteral("icon"), direct), row->findChild<QLabel*>(QStringLiteral("name"), direct),
                            row->findChild<ShortcutRecorder*>(QString(), direct), row->findChild<QComboBox*>(QStringLiteral("whenInFront"), direct),
                            row->findChild<QToolButton*>(QStringLiteral("remove"), direct)});
        }
        return rows;
    }
};

class ControllerFixture {
public:
    explicit ControllerFixture(std::optional<QuandrelSettings> initial = std::nullopt, const KeyboardLayout* layout = nullptr,
                               bool trusted = true)
    {
        desktop.keyboardLayout = layout;
        desktop.setTrusted(trusted);
        desktop.addDisplay({0, 0, 1440, 900}, {0, 0, 1440, 875});
        auto store = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.json")));
        if (initial)
            store->setSettings(*initial);
        controller = std::make_unique<AppController>(desktop.services(), std::move(store), AppServices{capture, presenter, nullptr},
                                                     clock.scheduler());
        controller->start();
    }
    QuandrelSettings settings() const { return controller->store().settings(); }
    void change(const std::function<void(QuandrelSettings&)>& edit)
    {
        QuandrelSettings next = settings();
        edit(next);
        controller->store().setSettings(next);
    }

    QTemporaryDir dir;
    FakeDesktop desktop;
    NoCapture capture;
    CountingPresenter presenter;
    FakeCatalog catalog;
    ManualClock clock;
    std::unique_ptr<AppController> controller;
};

} // namespace quandrel::test
