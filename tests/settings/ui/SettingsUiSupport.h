#pragma once

// A controller on the in-memory desktop for the settings widgets, with a catalogue of
// installed applications and key presses as X delivers them (X keycode and state).

#include "AppController.h"
#include "ApplicationCatalog.h"
#include "FakeDesktop.h"
#include "ManualClock.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QTemporaryDir>

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
    bool startCapture(CaptureMode, std::optional<AfterCapture>) override { return true; }
    void closeAllPins() override {}
};

struct CountingPresenter final : SettingsPresenter {
    int settingsShown = 0, onboardingShown = 0, onboardingClosed = 0;
    void showSettings() override { ++settingsShown; }
    void showOnboarding() override { ++onboardingShown; }
    void closeOnboarding() override { ++onboardingClosed; }
};

// X keycodes (evdev + 8) of the keys the tests press.
namespace xkey {
inline constexpr quint32 a = 38, left = 113, right = 114, f6 = 72, backspace = 22, del = 119, escape = 9, shiftL = 50, controlL = 37;
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

class ControllerFixture {
public:
    explicit ControllerFixture(std::optional<QuandrelSettings> initial = std::nullopt, const KeyboardLayout* layout = nullptr)
    {
        desktop.keyboardLayout = layout;
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
