#pragma once

// The application's controller on the in-memory desktop (one 1440 × 900 display), with
// recording stand-ins for the features it hands commands to and a private settings file.

#include "AppController.h"
#include "FakeDesktop.h"
#include "ManualClock.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <tuple>
#include <vector>

namespace quandrel::test {

struct RecordingCapture final : CaptureService {
    std::vector<std::pair<CaptureMode, std::optional<AfterCapture>>> captures;
    int pinClosings = 0;
    bool refuses = false; // as while another capture runs
    bool startCapture(CaptureMode mode, std::optional<AfterCapture> then, int) override
    {
        if (!refuses)
            captures.push_back({mode, then});
        return !refuses;
    }
    void closeAllPins() override { ++pinClosings; }
};

struct RecordingSettings final : SettingsPresenter {
    int shown = 0;
    void showSettings() override { ++shown; }
};

struct RecordingNotifier final : DesktopNotifier {
    std::vector<std::tuple<QString, QString, std::uint32_t>> shown; // summary, body, replaced id
    std::vector<std::function<void()>> questions;                   // the confirm action of each question
    bool serviceRuns = true;
    std::uint32_t notify(const QString& summary, const QString& body, std::uint32_t replaces) override
    {
        shown.emplace_back(summary, body, replaces);
        return std::uint32_t(shown.size()) + 6;
    }
    std::uint32_t ask(const QString& summary, const QString& body, const QString&, std::function<void()> onConfirm) override
    {
        if (!serviceRuns)
            return 0;
        questions.push_back(std::move(onConfirm));
        return notify(summary, body, 0);
    }
    QString body(std::size_t i) const { return std::get<1>(shown.at(i)); }
};

struct AppFixture {
    AppFixture() { desktop.addDisplay({0, 0, 1440, 900}, {0, 0, 1440, 875}); }

    // `adjust` changes the services before the controller gets them.
    std::unique_ptr<AppController> makeController(const std::function<void(AppServices&)>& adjust = {})
    {
        AppServices services{capture, settingsWindow, nullptr, &notifier};
        if (adjust)
            adjust(services);
        return std::make_unique<AppController>(desktop.services(), std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("config/settings.json"))),
                                               services, clock.scheduler());
    }

    QTemporaryDir dir;
    FakeDesktop desktop;
    RecordingCapture capture;
    RecordingSettings settingsWindow;
    RecordingNotifier notifier;
    ManualClock clock;
};

} // namespace quandrel::test
