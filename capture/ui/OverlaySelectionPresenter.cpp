#include "OverlaySelectionPresenter.h"

#include "OwnWindows.h"
#include "ScreenSpace.h"
#include "SelectionOverlay.h"

#include <QCoroTimer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace quandrel {

namespace {

// Ends the open choice with none when one of Quandrel's windows shows application-modal
// (an update's message box, a dialog a command opened): Qt would throw away every key and
// click for the overlay from then on, and the grabs could never be left.
class ModalWindowWatch final : public QObject {
public:
    explicit ModalWindowWatch(SelectionOverlay& overlay) : m_overlay(overlay)
    {
        if (qGuiApp)
            qGuiApp->installEventFilter(this);
    }
    ~ModalWindowWatch() override
    {
        if (qGuiApp)
            qGuiApp->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && !m_overlay.finished()) {
            const auto* window = qobject_cast<QWindow*>(watched);
            if (window && window->modality() == Qt::ApplicationModal)
                m_overlay.finish(std::nullopt);
        }
        return false;
    }

private:
    SelectionOverlay& m_overlay;
};

} // namespace

OverlaySelectionPresenter::OverlaySelectionPresenter(OwnWindows& ownWindows, PanelScreens screens, QObject* parent)
    : QObject(parent)
    , m_ownWindows(ownWindows)
    , m_screens(std::move(screens))
{
    if (qGuiApp) {
        connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
            watchScreen(screen);
            displaysChanged();
        });
        connect(qGuiApp, &QGuiApplication::screenRemoved, this, &OverlaySelectionPresenter::displaysChanged);
        for (QScreen* screen : QGuiApplication::screens())
            watchScreen(screen);
    }
    m_bufferKeeping.setSingleShot(true);
    m_bufferKeeping.setInterval(std::chrono::seconds(60));
    connect(&m_bufferKeeping, &QTimer::timeout, this, &OverlaySelectionPresenter::releaseBuffers);
    prepare();
}

void OverlaySelectionPresenter::setBufferKeeping(std::chrono::milliseconds keeping) { m_bufferKeeping.setInterval(keeping); }

void OverlaySelectionPresenter::releaseBuffers()
{
    if (m_current)
        return;
    for (const auto& w : m_windows) {
        w->view()->releaseBuffers();
        w->releaseNativeWindow();
    }
}

OverlaySelectionPresenter::~OverlaySelectionPresenter()
{
    *m_alive = false;
    // The open choice ends with none (its coroutine resumes later without touching us), and
    // the grabs go with it.
    if (m_current)
        m_current->finish(std::nullopt);
    m_ownWindows.releaseInput();
}

void OverlaySelectionPresenter::watchScreen(QScreen* screen)
{
    connect(screen, &QScreen::geometryChanged, this, &OverlaySelectionPresenter::displaysChanged);
}

void OverlaySelectionPresenter::displaysChanged()
{
    // The frozen pictures no longer match the monitors: the open choice ends with none, and
    // the windows are fitted again before the next one.
    m_stale = true;
    if (m_current)
        m_current->finish(std::nullopt);
}

void OverlaySelectionPresenter::prepare()
{
    const std::vector<Display> displays = m_screens.currentDisplays();
    while (m_windows.size() < displays.size())
        m_windows.push_back(std::make_unique<OverlayWindow>());
    // Windows beyond the displays would only hold memory.
    if (m_windows.size() > displays.size() && !m_current)
        m_windows.resize(std::max<std::size_t>(displays.size(), 1));
    for (std::size_t i = 0; i < displays.size(); ++i) {
        OverlayWindow& w = *m_windows[i];
        const QRect frame = m_screens.toGlobal(displays[i].frame);
        if (w.geometry() != frame)
            w.setGeometry(frame);
        w.winId(); // the native window, made now rather than when the shortcut is pressed
    }
    m_stale = false;
}

bool OverlaySelectionPresenter::grabbed() const { return m_current && m_ownWindows.inputGrabbed(); }

void OverlaySelectionPresenter::onViewPainted()
{
    auto* view = qobject_cast<OverlayView*>(sender());
    if (!m_current || !view || view->paintCount() != 1 || m_unpainted <= 0)
        return;
    if (--m_unpainted == 0)
        Q_EMIT painted();
}

QCoro::Task<CaptureResult<std::optional<CaptureSelection>>>
OverlaySelectionPresenter::select(std::vector<FrozenDisplay> displays, std::vector<PickableWindow> windows, bool windowMode)
{
    using Result = CaptureResult<std::optional<CaptureSelection>>;
    if (m_current || displays.empty())
        co_return Result{std::optional<CaptureSelection>{}};
    const std::shared_ptr<bool> alive = m_alive;
    m_bufferKeeping.stop();

    if (m_stale)
        prepare();
    // One window per frozen display, fitted to its frame.
    while (m_windows.size() < displays.size())
        m_windows.push_back(std::make_unique<OverlayWindow>());
    std::vector<OverlayWindow*> lent;
    for (std::size_t i = 0; i < displays.size(); ++i) {
        OverlayWindow* w = m_windows[i].get();
        const QRect frame = m_screens.toGlobal(displays[i].screen.frame);
        if (w->geometry() != frame)
            w->setGeometry(frame);
        w->winId();
        if (QWindow* native = w->windowHandle())
            m_ownWindows.markOverlay(*native);
        lent.push_back(w);
    }

    std::optional<Point> pointer;
    if (const auto p = m_screens.currentPointer())
        pointer = ScreenSpace::of(m_screens.currentDisplays()).fromWindow(*p);
    SelectionOverlay overlay(std::move(displays), std::move(windows), windowMode, pointer);
    overlay.onFinish = [this] { m_ownWindows.releaseInput(); };
    overlay.adjustBeforeCapturing = adjustBeforeCapturing && adjustBeforeCapturing();
    const ModalWindowWatch modalWatch(overlay);
    m_current = &overlay;
    m_unpainted = int(lent.size());
    std::vector<QMetaObject::Connection> connections;
    for (OverlayWindow* w : lent)
        connections.push_back(connect(w->view(), &OverlayView::painted, this, &OverlaySelectionPresenter::onViewPainted));
    const auto disconnectAll = [&connections] {
        for (const auto& c : connections)
            QObject::disconnect(c);
    };
    overlay.present(lent);

    // The grab is taken for the key window once it is on screen; a grab held elsewhere (the
    // capture shortcut still pressed, a menu open) is waited out for a moment.
    QElapsedTimer waited;
    waited.start();
    InputGrabError error = InputGrabError::none;
    while (!overlay.finished()) {
        OverlayWindow* key = overlay.keyWindow();
        QWindow* native = key ? key->windowHandle() : nullptr;
        error = native ? m_ownWindows.grabInput(*native) : InputGrabError::refused;
        if (error == InputGrabError::none || waited.elapsed() >= m_grabPatience.count())
            break;
        co_await QCoro::sleepFor(std::chrono::milliseconds(10));
        if (!*alive)
            co_return Result{std::optional<CaptureSelection>{}};
    }
    if (!overlay.finished() && error != InputGrabError::none) {
        overlay.finish(std::nullopt);
        disconnectAll();
        m_current = nullptr;
        m_bufferKeeping.start();
        co_return CaptureError::platform(std::string("Couldn't grab the keyboard and pointer: ") + describe(error));
    }
    if (!overlay.finished())
        Q_EMIT grabbedInput();

    std::optional<CaptureSelection> selection = co_await overlay.run();
    if (!*alive)
        co_return Result{std::move(selection)};
    disconnectAll();
    m_current = nullptr;
    m_ownWindows.releaseInput();
    m_bufferKeeping.start();
    co_return Result{std::move(selection)};
}

} // namespace quandrel
