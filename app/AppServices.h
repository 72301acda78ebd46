#pragma once

// The features the controller hands commands to. main() composes the real ones; tests hand
// in recording doubles.

#include "AfterCapture.h"
#include "CaptureMode.h"
#include "DesktopNotifier.h"
#include "DragSnapper.h"
#include "SettingsContext.h"
#include "Updater.h"

#include <functional>
#include <memory>
#include <optional>

namespace quandrel {

// Screenshots and the pinned screenshots they leave behind.
class CaptureService {
public:
    virtual ~CaptureService() = default;
    // `then` overrides the after-capture choice of the settings. Answers whether the capture
    // started (not while another one runs, or without access to the screen).
    virtual bool startCapture(CaptureMode mode, std::optional<AfterCapture> then, int delaySeconds) = 0;
    virtual void closeAllPins() = 0;
    virtual bool hasPins() const { return false; }
};

// Makes the preview window of drag snapping; called once, when drag snapping is first used.
using SnapPreviewFactory = std::function<std::unique_ptr<SnapPreviewSurface>()>;

// The self-updater's side of the composition.
struct UpdaterServices {
    ostry::UpdatePresenting* presenter = nullptr;   // none: updates are shown nowhere
    std::optional<ostry::AppBundle> runningBundle;  // none: not running from a bundle, so no updates
    std::function<ostry::UpdaterParts()> makeParts; // none: the real feed, downloader, verifier, installer
    ostry::UpdaterHooks hooks;
};

struct AppServices {
    CaptureService& capture;
    SettingsPresenter& settings;
    SnapPreviewFactory makeSnapPreview; // none: drags snap without a preview
    DesktopNotifier* notifier = nullptr; // none: no notifications
    UpdaterServices updates = {};
};

} // namespace quandrel
