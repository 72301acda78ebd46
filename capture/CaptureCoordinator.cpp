#include "CaptureCoordinator.h"
#include "Command.h"
#include "ScreenSpace.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QLoggingCategory>
#include <QStringList>

#include <algorithm>
#include <coroutine>

Q_LOGGING_CATEGORY(lcCapture, "quandrel.capture")

namespace quandrel {

namespace {

const QString warningSymbol = QStringLiteral("exclamationmark.triangle.fill");
const QString checkmarkSymbol = QStringLiteral("checkmark.circle.fill");
const QString textSymbol = QStringLiteral("text.viewfinder");

// The frozen display showing `screen`, else the first one.
const FrozenDisplay& frozenShowing(const std::vector<FrozenDisplay>& frozen, const std::optional<Display>& screen)
{
    if (screen) {
        for (const FrozenDisplay& d : frozen) {
            if (d.screen == *screen)
                return d;
        }
    }
    return frozen.front();
}

} // namespace

QCoro::Task<SaveResult> CaptureViews::save(const CapturedImage& image, QString folder)
{
    co_return co_await saveImageInBackground(image.image, image.scale, folder);
}

CaptureCoordinator::CaptureCoordinator(CaptureSettings settings, Platform platform, SelectionPresenter& overlay,
                                       TextRecognizer& recognizer, CaptureViews& views)
    : m_settings(std::move(settings))
    , m_platform(std::move(platform))
    , m_overlay(overlay)
    , m_recognizer(recognizer)
    , m_views(views)
    , m_self(std::make_shared<CaptureCoordinator*>(this))
{
}

CaptureCoordinator::~CaptureCoordinator()
{
    *m_self = nullptr;
}

template <typename F>
auto CaptureCoordinator::weakly(F f)
{
    return [self = std::weak_ptr<CaptureCoordinator*>(m_self), f = std::move(f)](auto&&... args) {
        const auto strong = self.lock();
        if (strong && *strong)
            f(**strong, std::forward<decltype(args)>(args)...);
    };
}

QString CaptureCoordinator::copiedTextMessage(const QString& text)
{
    const qsizetype lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size();
    if (lines == 1)
        return QCoreApplication::translate("CaptureCoordinator", "Copied text");
    return QCoreApplication::translate("CaptureCoordinator", "Copied %1 lines of text").arg(lines);
}

bool CaptureCoordinator::startCapture(CaptureMode mode, std::optional<AfterCapture> after, int delaySeconds)
{
    if (m_isCapturing)
        return false;
    // Input for every other window is thrown away while an application-modal dialog is up,
    // so an overlay could neither be left nor used: the trigger is ignored.
    if (m_views.modalDialogShown()) {
        qCInfo(lcCapture, "capture %s ignored: a dialog is open", rawName(mode).data());
        return false;
    }
    if (!m_platform.trust.screenRecordingAllowed()) {
        m_views.explainScreenAccess();
        return false;
    }
    m_isCapturing = true;
    qCInfo(lcCapture, "capture %s started", rawName(mode).data());
    std::optional<ClientWindow> previous = m_platform.windows.focusedWindow();
    // The task runs on by itself; it ends the capture whatever happens inside.
    run(mode, after, delaySeconds, previous);
    return true;
}

namespace {

// Resumes after `ms` milliseconds on the scheduler.
struct Sleep {
    const Scheduler& schedule;
    int ms;
    bool await_ready() const noexcept { return ms <= 0; }
    void await_suspend(std::coroutine_handle<> waiting) const { schedule(ms, [waiting] { waiting.resume(); }); }
    void await_resume() const noexcept {}
};

// The countdown goes this long before the displays are read, so its window is off the
// screen in the image.
constexpr int countdownGoneMs = 250;

} // namespace

QCoro::Task<> CaptureCoordinator::countDown(int seconds)
{
    const Scheduler schedule = m_platform.schedule; // outlives the coordinator, if it goes meanwhile
    const auto self = std::weak_ptr<CaptureCoordinator*>(m_self);
    for (int left = seconds; left > 0; --left) {
        m_views.showCountdown(left);
        co_await Sleep{schedule, left > 1 ? 1000 : 1000 - countdownGoneMs};
        if (!self.lock() || !*self.lock())
            co_return;
    }
    m_views.showCountdown(0);
    co_await Sleep{schedule, countdownGoneMs};
}

QCoro::Task<> CaptureCoordinator::run(CaptureMode mode, std::optional<AfterCapture> after, int delaySeconds,
                                      std::optional<ClientWindow> previous)
{
    const auto self = std::weak_ptr<CaptureCoordinator*>(m_self);
    const auto alive = [&self] {
        const auto strong = self.lock();
        return strong && *strong;
    };
    m_views.dismissThumbnail();
    if (delaySeconds > 0) {
        co_await countDown(std::min(delaySeconds, CaptureCommand::maxDelaySeconds));
        if (!alive())
            co_return;
    }
    const Taken taken = co_await takeImage(mode);
    if (!alive())
        co_return; // the coordinator went while the capture waited
    m_platform.capturer.releaseBuffers();

    if (taken.failure) {
        qCWarning(lcCapture) << "capture failed:" << *taken.failure;
        m_views.showToast(QCoreApplication::translate("CaptureCoordinator", "Couldn't capture the screen"), warningSymbol);
        // A refused grab may already have moved the focus (the overlay was shown): back it goes.
        reactivate(previous);
    } else if (taken.cancelled) {
        reactivate(previous);
    } else if (taken.image) {
        if (mode == CaptureMode::text) {
            co_await deliverText(*taken.image);
            if (!alive())
                co_return;
            reactivate(previous);
        } else if (deliver(*taken.image, after)) {
            reactivate(previous);
        }
    }
    m_isCapturing = false;
    if (onCaptureEnded)
        onCaptureEnded();
}

QCoro::Task<CaptureCoordinator::Taken> CaptureCoordinator::takeImage(CaptureMode mode)
{
    switch (mode) {
    case CaptureMode::fullScreen: {
        auto frozen = co_await m_platform.capturer.freezeDisplays();
        if (auto* error = std::get_if<CaptureError>(&frozen))
            co_return Taken::failed(error->description());
        const auto& displays = std::get<std::vector<FrozenDisplay>>(frozen);
        co_return Taken::of(frozenShowing(displays, m_platform.capturer.screenUnderMouse()).image);
    }
    case CaptureMode::repeatArea: {
        if (!m_lastArea)
            co_return co_await select(CaptureMode::area);
        const Rect area = *m_lastArea;
        auto frozen = co_await m_platform.capturer.freezeDisplays();
        if (auto* error = std::get_if<CaptureError>(&frozen))
            co_return Taken::failed(error->description());
        for (const FrozenDisplay& d : std::get<std::vector<FrozenDisplay>>(frozen)) {
            if (containsPoint(d.screen.frame, {area.midX(), area.midY()}))
                co_return Taken::of(ScreenCapturer::crop(d, area));
        }
        co_return Taken{}; // the area's display is gone
    }
    case CaptureMode::allDisplays: {
        auto frozen = co_await m_platform.capturer.freezeDisplays();
        if (auto* error = std::get_if<CaptureError>(&frozen))
            co_return Taken::failed(error->description());
        auto image = ScreenCapturer::combined(std::get<std::vector<FrozenDisplay>>(frozen));
        if (!image)
            co_return Taken::failed(QStringLiteral("no memory for the image of every display"));
        co_return Taken::of(std::move(image));
    }
    case CaptureMode::area:
    case CaptureMode::window:
    case CaptureMode::text:
        co_return co_await select(mode);
    }
    co_return Taken{};
}

QCoro::Task<CaptureCoordinator::Taken> CaptureCoordinator::select(CaptureMode mode)
{
    if (mode == CaptureMode::text)
        m_recognizer.prepare();
    // One request: the window list is read while the displays are being frozen.
    auto frozen = co_await m_platform.capturer.freezeWithWindows();
    if (auto* error = std::get_if<CaptureError>(&frozen))
        co_return Taken::failed(error->description());
    auto screen = std::get<FrozenScreen>(std::move(frozen));
    std::vector<PickableWindow> windows;
    if (auto* list = std::get_if<std::vector<PickableWindow>>(&screen.windows))
        windows = std::move(*list);
    else
        qCInfo(lcCapture) << "no windows to pick:" << std::get<CaptureError>(screen.windows).description();

    auto displays = std::move(screen.displays);
    const bool windowMode = mode == CaptureMode::window;
    auto chosen = co_await m_overlay.select(std::move(displays), std::move(windows), windowMode);
    if (auto* error = std::get_if<CaptureError>(&chosen))
        co_return Taken::failed(error->description());
    auto& selection = std::get<std::optional<CaptureSelection>>(chosen);
    if (!selection) {
        Taken cancelled;
        cancelled.cancelled = true;
        co_return cancelled;
    }
    if (auto* area = std::get_if<AreaSelection>(&*selection)) {
        m_lastArea = area->rect;
        co_return Taken::of(ScreenCapturer::crop(area->display, area->rect));
    }
    const WindowSelection picked = std::get<WindowSelection>(std::move(*selection));
    auto alone = co_await m_platform.capturer.captureWindow(picked.window);
    if (auto* image = std::get_if<CapturedImage>(&alone))
        co_return Taken::of(std::move(*image));
    qCInfo(lcCapture) << "window image unavailable, cropping the display instead:"
                      << std::get<CaptureError>(alone).description();
    co_return Taken::of(ScreenCapturer::crop(picked.display, picked.window.frame));
}

QCoro::Task<> CaptureCoordinator::deliverText(CapturedImage image)
{
    const auto self = std::weak_ptr<CaptureCoordinator*>(m_self);
    TextRecognitionResult result = co_await m_recognizer.recognizeText(image.image);
    if (!self.lock() || !*self.lock())
        co_return;
    if (auto* error = std::get_if<TextRecognitionError>(&result)) {
        qCWarning(lcCapture) << "text recognition failed:" << error->message;
        m_views.showToast(QCoreApplication::translate("CaptureCoordinator", "Couldn't read text"), warningSymbol);
        co_return;
    }
    const QString& text = std::get<QString>(result);
    if (text.isEmpty()) {
        m_views.showToast(QCoreApplication::translate("CaptureCoordinator", "No text found"), textSymbol);
        co_return;
    }
    m_views.copyText(text);
    m_views.showToast(copiedTextMessage(text), textSymbol);
}

bool CaptureCoordinator::deliver(const CapturedImage& image, std::optional<AfterCapture> after)
{
    const AfterCapture choice = after ? *after : m_settings.afterCapture();
    switch (choice) {
    case AfterCapture::copyAndThumbnail:
        m_views.copyImage(image);
        showThumbnail(image);
        break;
    case AfterCapture::openEditor:
        openEditor(image);
        return false; // the editor keeps the focus
    case AfterCapture::pin:
        pinImage(image);
        break;
    case AfterCapture::copyOnly:
        m_views.copyImage(image);
        m_views.showToast(QCoreApplication::translate("CaptureCoordinator", "Screenshot copied"), checkmarkSymbol);
        break;
    case AfterCapture::save:
        saveToFolder(image);
        break;
    }
    return true;
}

void CaptureCoordinator::reactivate(const std::optional<ClientWindow>& window)
{
    if (window)
        m_platform.windows.raise(window->handle);
}

void CaptureCoordinator::saveToFolder(const CapturedImage& image)
{
    saveInBackground(image);
}

QCoro::Task<> CaptureCoordinator::saveInBackground(CapturedImage image)
{
    const auto self = std::weak_ptr<CaptureCoordinator*>(m_self);
    const SaveResult saved = co_await m_views.save(image, m_settings.saveFolder());
    if (!self.lock() || !*self.lock())
        co_return;
    if (const auto* path = std::get_if<QString>(&saved)) {
        m_views.showToast(QCoreApplication::translate("CaptureCoordinator", "Saved %1").arg(path->section(QLatin1Char('/'), -1)),
                          QStringLiteral("square.and.arrow.down.fill"));
    } else {
        qCWarning(lcCapture) << "saving failed:" << std::get<SaveError>(saved).message;
        m_views.showToast(QCoreApplication::translate("CaptureCoordinator", "Couldn't save the screenshot"), warningSymbol);
    }
}

void CaptureCoordinator::openEditor(const CapturedImage& image)
{
    auto folder = [self = std::weak_ptr<CaptureCoordinator*>(m_self)] {
        const auto strong = self.lock();
        return strong && *strong ? (*strong)->m_settings.saveFolder() : QString();
    };
    m_editors.push_back(m_views.openEditor(image, folder, weakly([](CaptureCoordinator& c, const CapturedImage& i) { c.pinImage(i); }),
                                           weakly([](CaptureCoordinator& c, const CapturedImage& i) { c.copyTextFrom(i); }),
                                           weakly([](CaptureCoordinator& c, CaptureWindow* w) { c.removeEditor(w); })));
}

void CaptureCoordinator::pinImage(const CapturedImage& image)
{
    auto folder = [self = std::weak_ptr<CaptureCoordinator*>(m_self)] {
        const auto strong = self.lock();
        return strong && *strong ? (*strong)->m_settings.saveFolder() : QString();
    };
    m_pins.push_back(m_views.pinImage(image, folder, weakly([](CaptureCoordinator& c, const CapturedImage& i) { c.openEditor(i); }),
                                      weakly([](CaptureCoordinator& c, const CapturedImage& i) { c.copyTextFrom(i); }),
                                      weakly([](CaptureCoordinator& c, CaptureWindow* w) { c.removePin(w); })));
    if (onPinsChanged)
        onPinsChanged();
}

void CaptureCoordinator::copyTextFrom(const CapturedImage& image)
{
    m_recognizer.prepare();
    deliverText(image);
}

void CaptureCoordinator::showThumbnail(const CapturedImage& image)
{
    CaptureViews::ThumbnailActions actions;
    actions.edit = weakly([image](CaptureCoordinator& c) { c.openEditor(image); });
    actions.pin = weakly([image](CaptureCoordinator& c) { c.pinImage(image); });
    actions.save = weakly([image](CaptureCoordinator& c) { c.saveToFolder(image); });
    actions.copy = weakly([image](CaptureCoordinator& c) {
        c.m_views.copyImage(image);
        c.m_views.showToast(QCoreApplication::translate("CaptureCoordinator", "Copied"), checkmarkSymbol);
    });
    m_views.showThumbnail(image, std::move(actions));
}

void CaptureCoordinator::closeAllPins()
{
    if (m_pins.empty())
        return;
    // Dropping a pin closes its window; its close callback then finds it gone from the list.
    auto pins = std::move(m_pins);
    m_pins.clear();
    pins.clear();
    if (onPinsChanged)
        onPinsChanged();
}

void CaptureCoordinator::removeEditor(CaptureWindow* window)
{
    std::erase_if(m_editors, [window](const auto& e) { return e.get() == window; });
}

void CaptureCoordinator::removePin(CaptureWindow* window)
{
    const auto before = m_pins.size();
    std::erase_if(m_pins, [window](const auto& p) { return p.get() == window; });
    if (m_pins.size() != before && onPinsChanged)
        onPinsChanged();
}

} // namespace quandrel
