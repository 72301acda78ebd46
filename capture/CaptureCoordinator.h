#pragma once

// Carries one screenshot from its trigger to its result: freezes the displays, lets the person
// choose on the frozen images when the mode needs it, cuts the image out, then recognises its
// text or does what the settings (or the request) say with it, and gives the focus back to
// the window that was active when the capture began. Toasts report every outcome.
//
// Everything runs on the main thread. A capture is one coroutine whose waits (the displays,
// the window list, the overlay, text recognition) let the event loop run; `isCapturing` is
// the one guard against overlapping captures.

#include "AfterCapture.h"
#include "CaptureMode.h"
#include "CaptureSelection.h"
#include "ImageExport.h"
#include "ScreenCapturer.h"
#include "TextRecognizer.h"
#include "FrontmostApplication.h"
#include "Scheduler.h"

#include <QByteArray>
#include <QCoroTask>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quandrel {

// An editor or a pinned screenshot the coordinator keeps. Dropping it closes the window
// (later than the drop, when the drop happens inside the window's own close handling).
class CaptureWindow {
public:
    virtual ~CaptureWindow() = default;
};

// The windows, toasts and clipboard a capture ends in; the UI supplies them.
class CaptureViews {
public:
    virtual ~CaptureViews() = default;

    using Folder = std::function<QString()>; // the screenshots folder, when asked
    using ImageAction = std::function<void(const CapturedImage&)>;
    using Closed = std::function<void(CaptureWindow*)>;

    struct ThumbnailActions {
        std::function<void()> edit;
        std::function<void()> pin;
        std::function<void()> save;
        std::function<void()> copy;
    };

    virtual void showToast(const QString& message, const QString& symbol) = 0;
    virtual void showThumbnail(const CapturedImage& image, ThumbnailActions actions) = 0;
    virtual void dismissThumbnail() = 0;
    // Shown, made active and brought to the front. `pin` pins what the editor shows;
    // `readText` copies the text in what it shows.
    virtual std::unique_ptr<CaptureWindow> openEditor(const CapturedImage& image, Folder folder, ImageAction pin,
                                                      ImageAction readText, Closed onClose) = 0;
    // Shown where the pin places itself. `edit` opens the pinned image in an editor;
    // `readText` copies the text in it.
    virtual std::unique_ptr<CaptureWindow> pinImage(const CapturedImage& image, Folder folder, ImageAction edit,
                                                    ImageAction readText, Closed onClose) = 0;
    virtual void copyImage(const CapturedImage& image) = 0;
    // The countdown of a delayed capture: the seconds left, or 0 to take it away at once.
    virtual void showCountdown(int secondsLeft) = 0;
    // Replaces the clipboard's contents with the text alone.
    virtual void copyText(const QString& text) = 0;
    // The session does not let Quandrel read the screen: say so, and where the desktop
    // grants it when it can be granted.
    virtual void explainScreenAccess() = 0;
    // Whether one of Quandrel's dialogs is up that blocks input to every other window (a
    // Save As, a colour dialog, a message box); no capture starts then.
    virtual bool modalDialogShown() const = 0;
    // Saves into the screenshots folder away from the event loop.
    virtual QCoro::Task<SaveResult> save(const CapturedImage& image, QString folder);
};

// What the coordinator reads from the settings, at the moment it needs it.
struct CaptureSettings {
    std::function<AfterCapture()> afterCapture;
    std::function<QString()> saveFolder; // the screenshots folder
};

class CaptureCoordinator {
public:
    struct Platform {
        ScreenCapturer& capturer;
        WindowAccess& windows;
        AccessTrust& trust;
        Scheduler schedule = qtScheduler(); // the delays before a delayed capture
    };

    CaptureCoordinator(CaptureSettings settings, Platform platform, SelectionPresenter& overlay,
                       TextRecognizer& recognizer, CaptureViews& views);
    ~CaptureCoordinator();
    CaptureCoordinator(const CaptureCoordinator&) = delete;
    CaptureCoordinator& operator=(const CaptureCoordinator&) = delete;

    // Drops the request while a capture runs or a modal dialog is up. `after` overrides the after-capture setting.
    // With a delay, a countdown shows for that many seconds (and is gone before the displays
    // are read); the capture counts as running meanwhile. Answers whether the capture started.
    bool startCapture(CaptureMode mode, std::optional<AfterCapture> after = std::nullopt, int delaySeconds = 0);
    void closeAllPins();

    void saveToFolder(const CapturedImage& image);
    void openEditor(const CapturedImage& image);
    void pinImage(const CapturedImage& image);
    void showThumbnail(const CapturedImage& image);
    // Recognises the text in an image on screen (a pin, an editor) and copies it, with the
    // text capture's toasts.
    void copyTextFrom(const CapturedImage& image);

    bool isCapturing() const { return m_isCapturing; }
    const std::optional<Rect>& lastArea() const { return m_lastArea; }
    std::size_t editorCount() const { return m_editors.size(); }
    std::size_t pinCount() const { return m_pins.size(); }

    // Called whenever a pin comes or goes, so menus can follow.
    std::function<void()> onPinsChanged;
    // Called when a capture has fully ended (tests and benchmarks wait for it).
    std::function<void()> onCaptureEnded;

    // The toast text for recognised text that was copied: "Copied text" for one non-empty
    // line, "Copied N lines of text" for more.
    static QString copiedTextMessage(const QString& text);

private:
    // What the capture steps produced: an image, nothing (a crop that came out empty, a
    // repeated area on no display), a cancel, or a failure in words for the log.
    struct Taken {
        std::optional<CapturedImage> image;
        bool cancelled = false;
        std::optional<QString> failure;
        static Taken of(std::optional<CapturedImage> image)
        {
            Taken t;
            t.image = std::move(image);
            return t;
        }
        static Taken failed(QString why)
        {
            Taken t;
            t.failure = std::move(why);
            return t;
        }
    };

    QCoro::Task<> run(CaptureMode mode, std::optional<AfterCapture> after, int delaySeconds,
                      std::optional<ClientWindow> previous);
    QCoro::Task<> countDown(int seconds);
    QCoro::Task<Taken> takeImage(CaptureMode mode);
    QCoro::Task<Taken> select(CaptureMode mode);
    QCoro::Task<> deliverText(CapturedImage image);
    QCoro::Task<> saveInBackground(CapturedImage image);
    // Answers whether the focus goes back to the window that was active before.
    bool deliver(const CapturedImage& image, std::optional<AfterCapture> after);
    void reactivate(const std::optional<ClientWindow>& window);
    void removeEditor(CaptureWindow* window);
    void removePin(CaptureWindow* window);
    // Callbacks handed to windows hold the coordinator weakly through this token.
    template <typename F>
    auto weakly(F f);

    CaptureSettings m_settings;
    Platform m_platform;
    SelectionPresenter& m_overlay;
    TextRecognizer& m_recognizer;
    CaptureViews& m_views;

    std::vector<std::unique_ptr<CaptureWindow>> m_editors;
    std::vector<std::unique_ptr<CaptureWindow>> m_pins;
    bool m_isCapturing = false;
    std::optional<Rect> m_lastArea;
    std::shared_ptr<CaptureCoordinator*> m_self;
};

} // namespace quandrel
