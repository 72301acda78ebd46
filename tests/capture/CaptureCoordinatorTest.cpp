// The capture coordinator against an in-memory desktop, a scripted overlay, a scripted text
// recogniser and recording views: the guard against overlapping captures, every mode, the
// remembered area, the after-capture choices, toasts, focus and the windows it keeps.

#include "CaptureCoordinator.h"
#include "CaptureTestSupport.h"
#include "FakeDesktop.h"

#include <QCoreApplication>
#include <QCoroTimer>

#include <gtest/gtest.h>

namespace quandrel {

namespace {

using namespace std::chrono_literals;

struct ScriptedOverlay final : SelectionPresenter {
    // The next answer: none cancels.
    CaptureResult<std::optional<CaptureSelection>> answer = std::optional<CaptureSelection>{};
    // While set, select() waits until it is cleared.
    bool holding = false;
    int calls = 0;
    std::size_t displaysShown = 0, windowsShown = 0;
    bool windowMode = false;

    QCoro::Task<CaptureResult<std::optional<CaptureSelection>>>
    select(std::vector<FrozenDisplay> displays, std::vector<PickableWindow> windows, bool mode) override
    {
        ++calls;
        displaysShown = displays.size();
        windowsShown = windows.size();
        windowMode = mode;
        while (holding)
            co_await QCoro::sleepFor(1ms);
        // A copy: QCoro moves from an lvalue given to co_return.
        co_return CaptureResult<std::optional<CaptureSelection>>(answer);
    }
};

struct ScriptedRecognizer final : TextRecognizer {
    TextRecognitionResult answer = QString();
    int prepared = 0;
    QImage lastImage;
    void prepare() override { ++prepared; }
    QCoro::Task<TextRecognitionResult> recognizeText(QImage image) override
    {
        lastImage = image;
        co_return TextRecognitionResult(answer);
    }
};

struct Views final : CaptureViews {
    struct Window final : CaptureWindow {
        Window(CapturedImage image, ImageAction action, Closed onClose) : image(std::move(image)), action(std::move(action)), onClose(std::move(onClose)) {}
        CapturedImage image;
        ImageAction action; // the editor's Pin, the pin's Edit
        Closed onClose;
    };
    std::vector<std::pair<QString, QString>> toasts;
    std::vector<CapturedImage> copiedImages, thumbnails;
    std::vector<QString> copiedTexts, savedTo;
    std::vector<Window*> editors, pins;
    std::vector<int> countdown; // every countdown shown, 0 for taken away
    ThumbnailActions thumbnailActions;
    ImageAction readText; // the last window's Copy Text
    int dismissals = 0, explanations = 0;
    bool modalDialog = false;
    SaveResult saveAnswer = QStringLiteral("/pictures/Quandrel 2026-12-07 at 10.00.00.png");

    std::unique_ptr<CaptureWindow> open(std::vector<Window*>& list, const CapturedImage& image, ImageAction action, ImageAction text, Closed onClose)
    {
        readText = std::move(text);
        auto w = std::make_unique<Window>(image, std::move(action), std::move(onClose));
        list.push_back(w.get());
        return w;
    }
    std::unique_ptr<CaptureWindow> openEditor(const CapturedImage& image, Folder, ImageAction pin, ImageAction text, Closed onClose) override
    {
        return open(editors, image, std::move(pin), std::move(text), std::move(onClose));
    }
    std::unique_ptr<CaptureWindow> pinImage(const CapturedImage& image, Folder, ImageAction edit, ImageAction text, Closed onClose) override
    {
        return open(pins, image, std::move(edit), std::move(text), std::move(onClose));
    }
    void showToast(const QString& message, const QString& symbol) override { toasts.emplace_back(message, symbol); }
    void showThumbnail(const CapturedImage& image, ThumbnailActions actions) override
    {
        thumbnails.push_back(image);
        thumbnailActions = std::move(actions);
    }
    void dismissThumbnail() override { ++dismissals; }
    void copyImage(const CapturedImage& image) override { copiedImages.push_back(image); }
    void showCountdown(int secondsLeft) override { countdown.push_back(secondsLeft); }
    void copyText(const QString& text) override { copiedTexts.push_back(text); }
    void explainScreenAccess() override { ++explanations; }
    bool modalDialogShown() const override { return modalDialog; }
    QCoro::Task<SaveResult> save(const CapturedImage&, QString folder) override
    {
        savedTo.push_back(folder);
        co_return SaveResult(saveAnswer);
    }
};

class CaptureCoordinatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Two displays side by side; the second is at scale 2.
        desktop.setDisplays({{"left", {0, 0, 800, 600}, {0, 0, 800, 576}, 1}, {"right", {800, 0, 400, 300}, {800, 0, 400, 300}, 2}});
        desktop.screen.pixelAt = [](int x, int y) { return std::uint32_t((x << 12) | y); };
        desktop.addApplication(42, "org.example.Editor");
        previous = desktop.addWindow(42, {100, 100, 300, 200});
        desktop.setFrontmost(42);
    }

    void start(CaptureMode mode, std::optional<AfterCapture> after = std::nullopt) { coordinator.startCapture(mode, after); }
    void capture(CaptureMode mode, std::optional<AfterCapture> after = std::nullopt)
    {
        start(mode, after);
        finish();
    }

    // Runs the event loop until the capture has ended; a stuck capture fails the test.
    void finish()
    {
        ASSERT_TRUE(test::spinUntil([this] { return !coordinator.isCapturing(); })) << "the capture did not end";
        QCoreApplication::processEvents();
    }

    FrozenDisplay frozenDisplay(int index)
    {
        const Display d = desktop.displays()[std::size_t(index)];
        QImage image(int(d.frame.width * d.scale), int(d.frame.height * d.scale), QImage::Format_RGB32);
        image.fill(Qt::gray);
        return {d, {image, d.scale}};
    }

    bool reactivatedPrevious() const { return !desktop.raised.empty() && desktop.raised.back() == previous; }

    FakeDesktop desktop;
    WindowHandle previous = 0;
    ScreenCapturer capturer{desktop.screen, desktop};
    ScriptedOverlay overlay;
    ScriptedRecognizer recognizer;
    Views views;
    AfterCapture setting = AfterCapture::copyAndThumbnail;
    QString folder = QStringLiteral("/shots");
    std::vector<std::pair<int, std::function<void()>>> timers; // the coordinator's waits, run by hand
    CaptureCoordinator coordinator{{[this] { return setting; }, [this] { return folder; }},
                                   {capturer, desktop, desktop,
                                    [this](int ms, std::function<void()> run) { timers.push_back({ms, std::move(run)}); }},
                                   overlay,
                                   recognizer,
                                   views};
};

} // namespace

TEST_F(CaptureCoordinatorTest, DropsEveryTriggerWhileACaptureRuns)
{
    overlay.holding = true;
    start(CaptureMode::area);
    for (int i = 0; i < 30; ++i)
        start(i % 2 ? CaptureMode::fullScreen : CaptureMode::window);
    QCoreApplication::processEvents();
    EXPECT_TRUE(coordinator.isCapturing());
    overlay.holding = false;
    finish();
    EXPECT_EQ(overlay.calls, 1);
    EXPECT_EQ(views.dismissals, 1);
    EXPECT_EQ(desktop.screen.releases, 1);
    // The guard is down again once the capture ended.
    capture(CaptureMode::fullScreen);
    EXPECT_EQ(views.thumbnails.size(), 1u);
}

TEST_F(CaptureCoordinatorTest, ATriggerUnderAModalDialogOrWithoutScreenAccessTakesNothing)
{
    views.modalDialog = true;
    for (CaptureMode mode : allCaptureModes)
        EXPECT_FALSE(coordinator.startCapture(mode));
    EXPECT_FALSE(coordinator.isCapturing());
    views.modalDialog = false;
    desktop.setScreenRecordingAllowed(false);
    start(CaptureMode::fullScreen);
    EXPECT_FALSE(coordinator.isCapturing());
    EXPECT_EQ(views.explanations, 1); // explained instead
    EXPECT_EQ(overlay.calls + views.dismissals, 0);
    EXPECT_TRUE(desktop.screen.grabs.empty());
    EXPECT_TRUE(views.toasts.empty());
    desktop.setScreenRecordingAllowed(true);
    EXPECT_TRUE(coordinator.startCapture(CaptureMode::area));
    finish();
    EXPECT_EQ(overlay.calls, 1);
}

TEST_F(CaptureCoordinatorTest, AreaSelectionIsCroppedRememberedAndDelivered)
{
    overlay.answer = std::optional<CaptureSelection>(AreaSelection{{850, 100, 100, 50}, frozenDisplay(1)});
    capture(CaptureMode::area);
    ASSERT_EQ(views.copiedImages.size(), 1u);
    EXPECT_EQ(views.copiedImages[0].image.size(), QSize(200, 100)); // scale 2
    EXPECT_EQ(views.copiedImages[0].scale, 2);
    EXPECT_EQ(views.thumbnails.size(), 1u);
    EXPECT_EQ(coordinator.lastArea(), (Rect{850, 100, 100, 50}));
    EXPECT_FALSE(overlay.windowMode);
    EXPECT_EQ(overlay.displaysShown, 2u);
    EXPECT_TRUE(reactivatedPrevious());
}

// However a capture ends without a picture, the window that was active before gets the focus
// back, the guard is down and at most one toast says so.
TEST_F(CaptureCoordinatorTest, CancelledOrFailedCapturesGiveTheFocusBackWithOneToast)
{
    const CaptureError grabbed = CaptureError::platform("the keyboard is grabbed by another program");
    const struct {
        const char* what;
        int failingGrab;
        CaptureResult<std::optional<CaptureSelection>> overlayAnswer;
        bool toast;
        int overlayCalls;
    } rows[] = {
        {"cancelled", -1, std::optional<CaptureSelection>{}, false, 1},
        {"freezing the second display fails", 1, std::optional<CaptureSelection>{}, true, 0},
        {"the overlay cannot take the keyboard", -1, grabbed, true, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        desktop.raised.clear();
        views.toasts.clear();
        overlay.calls = 0;
        desktop.screen.grabs.clear();
        desktop.screen.failingGrab = row.failingGrab;
        overlay.answer = row.overlayAnswer;
        capture(CaptureMode::area);
        EXPECT_EQ(overlay.calls, row.overlayCalls);
        EXPECT_TRUE(reactivatedPrevious());
        EXPECT_EQ(views.toasts.size(), row.toast ? 1u : 0u);
        if (row.toast) {
            EXPECT_EQ(views.toasts[0], std::make_pair(QStringLiteral("Couldn't capture the screen"), QStringLiteral("exclamationmark.triangle.fill")));
        }
    }
    EXPECT_TRUE(views.copiedImages.empty());
    EXPECT_FALSE(coordinator.lastArea());

    // A window list that fails leaves window mode with nothing to pick, and the capture goes on.
    desktop.screen.failingGrab = -1;
    overlay.answer = std::optional<CaptureSelection>{};
    desktop.screen.windowListFailure = "BadWindow";
    capture(CaptureMode::window);
    EXPECT_TRUE(overlay.windowMode);
    EXPECT_EQ(overlay.windowsShown, 0u);
    EXPECT_EQ(views.toasts.size(), 1u);
}

TEST_F(CaptureCoordinatorTest, WindowSelectionUsesTheWindowImageElseTheDisplayCropAndKeepsTheLastArea)
{
    overlay.answer = std::optional<CaptureSelection>(AreaSelection{{10, 10, 30, 30}, frozenDisplay(0)});
    capture(CaptureMode::area);
    const PickableWindow window{7, {100, 100, 300, 200}};
    desktop.screen.windowImages[7] = {{100, 300, 300, 200}, false, false};
    overlay.answer = std::optional<CaptureSelection>(WindowSelection{window, frozenDisplay(0)});
    capture(CaptureMode::window);
    ASSERT_EQ(views.copiedImages.size(), 2u);
    EXPECT_EQ(desktop.screen.windowReads, 1);
    EXPECT_EQ(views.copiedImages[1].image.size(), QSize(300, 200));

    desktop.screen.windowImages[7].fails = true;
    capture(CaptureMode::window);
    ASSERT_EQ(views.copiedImages.size(), 3u);
    EXPECT_EQ(views.copiedImages[2].image.size(), QSize(300, 200)); // the crop of the frozen display
    EXPECT_EQ(coordinator.lastArea(), (Rect{10, 10, 30, 30}));
}

TEST_F(CaptureCoordinatorTest, FullScreenTakesTheDisplayUnderThePointerAllDisplaysTakesThemAll)
{
    desktop.screen.pointer = Point{1000, 100}; // window space: on the right display
    capture(CaptureMode::fullScreen, AfterCapture::copyOnly);
    ASSERT_EQ(views.copiedImages.size(), 1u);
    EXPECT_EQ(views.copiedImages[0].image.size(), QSize(800, 600));
    EXPECT_EQ(views.toasts.back(), std::make_pair(QStringLiteral("Screenshot copied"), QStringLiteral("checkmark.circle.fill")));

    desktop.screen.pointer = Point{5000, 5000}; // on no display: the primary one
    capture(CaptureMode::fullScreen, AfterCapture::copyOnly);
    EXPECT_EQ(views.copiedImages[1].image.size(), QSize(800, 600));

    // All displays are one image placed as the displays are: 1200 × 600 points at the higher
    // scale, 2; the right display is 300 high, so the part above it is a gap.
    capture(CaptureMode::allDisplays, AfterCapture::copyOnly);
    ASSERT_EQ(views.copiedImages.size(), 3u);
    const CapturedImage& all = views.copiedImages[2];
    EXPECT_EQ(all.scale, 2);
    ASSERT_EQ(all.image.size(), QSize(2400, 1200));
    EXPECT_EQ(qAlpha(all.image.pixel(2000, 100)), 0);
    EXPECT_EQ(qAlpha(all.image.pixel(2000, 1100)), 255);
    EXPECT_EQ(qAlpha(all.image.pixel(10, 10)), 255);
    EXPECT_EQ(overlay.calls, 0);
    EXPECT_FALSE(coordinator.lastArea());
}

TEST_F(CaptureCoordinatorTest, RepeatAreaFollowsTheRememberedRectangle)
{
    // Before any area it is an area capture, and sets the area.
    overlay.answer = std::optional<CaptureSelection>(AreaSelection{{650, 500, 200, 100}, frozenDisplay(0)});
    capture(CaptureMode::repeatArea);
    EXPECT_EQ(overlay.calls, 1);
    EXPECT_EQ(coordinator.lastArea(), (Rect{650, 500, 200, 100}));
    // The area reaches past its display's right edge: only the part on it is taken.
    ASSERT_EQ(views.copiedImages.size(), 1u);
    EXPECT_EQ(views.copiedImages[0].image.size(), QSize(150, 100));

    capture(CaptureMode::repeatArea);
    EXPECT_EQ(overlay.calls, 1);
    ASSERT_EQ(views.copiedImages.size(), 2u);
    EXPECT_EQ(views.copiedImages[1].image.size(), QSize(150, 100));

    // Its display is gone: nothing happens and nothing is said.
    desktop.setDisplays({{"left", {0, 0, 600, 400}, {0, 0, 600, 400}, 1}});
    capture(CaptureMode::repeatArea);
    EXPECT_EQ(views.copiedImages.size(), 2u);
    EXPECT_EQ(views.toasts.size(), 0u);
}

TEST_F(CaptureCoordinatorTest, TextIsRecognisedWithoutTheAfterCaptureChoice)
{
    setting = AfterCapture::save;
    overlay.answer = std::optional<CaptureSelection>(AreaSelection{{10, 10, 100, 40}, frozenDisplay(0)});
    recognizer.answer = QStringLiteral("first\n\nsecond");
    capture(CaptureMode::text);
    EXPECT_EQ(recognizer.prepared, 1);
    EXPECT_EQ(recognizer.lastImage.size(), QSize(100, 40));
    ASSERT_EQ(views.copiedTexts.size(), 1u);
    EXPECT_EQ(views.copiedTexts[0], QStringLiteral("first\n\nsecond"));
    EXPECT_EQ(views.toasts.back(), std::make_pair(QStringLiteral("Copied 2 lines of text"), QStringLiteral("text.viewfinder")));
    EXPECT_TRUE(views.savedTo.empty());
    EXPECT_EQ(coordinator.lastArea(), (Rect{10, 10, 100, 40}));
    EXPECT_TRUE(reactivatedPrevious());

    for (const auto& [answer, toast, symbol] : {std::tuple{TextRecognitionResult(QString()), "No text found", "text.viewfinder"},
                                                {TextRecognitionResult(TextRecognitionError{"no language data"}), "Couldn't read text", "exclamationmark.triangle.fill"}}) {
        recognizer.answer = answer;
        capture(CaptureMode::text);
        EXPECT_EQ(views.toasts.back(), std::make_pair(QString::fromUtf8(toast), QString::fromUtf8(symbol)));
    }
    EXPECT_EQ(views.copiedTexts.size(), 1u); // the clipboard kept the first text

    // A pin's (and an editor's) Copy Text reads its own image the same way.
    const CapturedImage pinned{QImage(30, 20, QImage::Format_RGB32), 1};
    coordinator.pinImage(pinned);
    ASSERT_TRUE(views.readText);
    recognizer.answer = QStringLiteral("pinned");
    views.readText(pinned);
    EXPECT_EQ(recognizer.lastImage.size(), QSize(30, 20));
    EXPECT_EQ(views.copiedTexts.back(), QStringLiteral("pinned"));
    EXPECT_EQ(views.toasts.back(), std::make_pair(QStringLiteral("Copied text"), QStringLiteral("text.viewfinder")));
}

TEST_F(CaptureCoordinatorTest, AfterCaptureChoicesAndTheWindowsTheyLeave)
{
    overlay.answer = std::optional<CaptureSelection>(AreaSelection{{10, 10, 50, 50}, frozenDisplay(0)});
    int pinChanges = 0;
    coordinator.onPinsChanged = [&] { ++pinChanges; };

    capture(CaptureMode::area, AfterCapture::openEditor);
    ASSERT_EQ(views.editors.size(), 1u);
    EXPECT_FALSE(reactivatedPrevious()); // the editor keeps the focus

    // The editor's pin command pins; the pin's edit command opens another editor.
    views.editors[0]->action(views.editors[0]->image);
    ASSERT_EQ(views.pins.size(), 1u);
    views.pins[0]->action(views.pins[0]->image);
    EXPECT_EQ(coordinator.editorCount(), 2u);
    EXPECT_EQ(coordinator.pinCount(), 1u);

    // Closing one editor drops that one only.
    views.editors[0]->onClose(views.editors[0]);
    EXPECT_EQ(coordinator.editorCount(), 1u);

    capture(CaptureMode::area, AfterCapture::pin);
    EXPECT_EQ(coordinator.pinCount(), 2u);
    EXPECT_TRUE(reactivatedPrevious());
    coordinator.closeAllPins();
    EXPECT_EQ(coordinator.pinCount(), 0u);
    EXPECT_EQ(pinChanges, 3);

    folder = QStringLiteral("/elsewhere");
    capture(CaptureMode::area, AfterCapture::save);
    ASSERT_EQ(views.savedTo.size(), 1u);
    EXPECT_EQ(views.savedTo[0], QStringLiteral("/elsewhere"));
    EXPECT_EQ(views.toasts.back(), std::make_pair(QStringLiteral("Saved Quandrel 2026-12-07 at 10.00.00.png"), QStringLiteral("square.and.arrow.down.fill")));
    views.saveAnswer = SaveError{QStringLiteral("read-only")};
    capture(CaptureMode::area, AfterCapture::save);
    EXPECT_EQ(views.toasts.back().first, QStringLiteral("Couldn't save the screenshot"));
}

TEST_F(CaptureCoordinatorTest, ThumbnailButtonsOutliveNothing)
{
    overlay.answer = std::optional<CaptureSelection>(AreaSelection{{10, 10, 50, 50}, frozenDisplay(0)});
    capture(CaptureMode::area);
    views.thumbnailActions.copy();
    EXPECT_EQ(views.toasts.back(), std::make_pair(QStringLiteral("Copied"), QStringLiteral("checkmark.circle.fill")));
    views.thumbnailActions.pin();
    EXPECT_EQ(coordinator.pinCount(), 1u);

    // Callbacks held by windows do nothing once the coordinator is gone.
    CaptureViews::ThumbnailActions actions = views.thumbnailActions;
    {
        auto gone = std::make_unique<CaptureCoordinator>(CaptureSettings{[] { return AfterCapture::copyAndThumbnail; }, [] { return QString(); }},
                                                         CaptureCoordinator::Platform{capturer, desktop, desktop}, overlay, recognizer, views);
        gone->showThumbnail(frozenDisplay(0).image);
        actions = views.thumbnailActions;
    }
    const auto pinsBefore = views.pins.size();
    actions.pin();
    actions.edit();
    EXPECT_EQ(views.pins.size(), pinsBefore);
}

TEST_F(CaptureCoordinatorTest, ADelayedCaptureCountsDownAndTakesAwayItsCountdownFirst)
{
    capture(CaptureMode::fullScreen, AfterCapture::copyOnly); // without a delay, no wait at all
    EXPECT_TRUE(timers.empty());
    const struct {
        int seconds;
        std::vector<int> countdown, waits; // gone a quarter second before the capture
    } rows[] = {{3, {3, 2, 1, 0}, {1000, 1000, 750, 250}}, {1, {1, 0}, {750, 250}}};
    for (const auto& row : rows) {
        views.countdown.clear();
        const std::size_t before = views.copiedImages.size();
        coordinator.startCapture(CaptureMode::fullScreen, AfterCapture::copyOnly, row.seconds);
        EXPECT_FALSE(coordinator.startCapture(CaptureMode::area)); // counting down counts as capturing
        std::vector<int> waits;
        while (!timers.empty()) {
            auto [ms, run] = std::move(timers.front());
            timers.erase(timers.begin());
            waits.push_back(ms);
            EXPECT_EQ(views.copiedImages.size(), before) << "taken before the countdown ended";
            run();
        }
        finish();
        EXPECT_EQ(views.countdown, row.countdown);
        EXPECT_EQ(waits, row.waits);
        EXPECT_EQ(views.copiedImages.size(), before + 1);
    }
}

} // namespace quandrel
