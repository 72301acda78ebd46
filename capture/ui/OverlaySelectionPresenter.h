#pragma once

// Answers a capture's question on screen: the selection overlay on a pool of windows made
// ahead of time, one per display, reused from capture to capture and remade only when the
// displays change. While the overlay is up the keyboard and the pointer are grabbed, so that
// keys reach it whatever window had the focus; every way out lets them go, and one of
// Quandrel's own application-modal dialogs appearing (input to the overlay would be thrown
// away) is a way out too.

#include "CaptureSelection.h"
#include "PanelScreens.h"

#include <QObject>
#include <QTimer>

class QScreen;

#include <chrono>
#include <memory>
#include <vector>

namespace quandrel {

class OwnWindows;
class OverlayWindow;
class SelectionOverlay;

class OverlaySelectionPresenter : public QObject, public SelectionPresenter {
    Q_OBJECT
public:
    // `ownWindows` gives the overlay's windows their role and takes the input for them; it
    // outlives the presenter. The windows for the current displays are made here.
    OverlaySelectionPresenter(OwnWindows& ownWindows, PanelScreens screens, QObject* parent = nullptr);
    ~OverlaySelectionPresenter() override;

    // Makes (or re-sizes) one window per current display, ready to be shown.
    void prepare();

    // Whether dragged areas are adjusted before they are taken (SelectionOverlay), asked at
    // every capture.
    std::function<bool()> adjustBeforeCapturing;

    // Ends with none when another choice is still open or there is nothing to show; with an
    // error ("Couldn't grab …") when the keyboard and pointer stay taken by another program
    // for longer than the grab patience.
    QCoro::Task<CaptureResult<std::optional<CaptureSelection>>>
    select(std::vector<FrozenDisplay> displays, std::vector<PickableWindow> windows, bool windowMode) override;

    // How long a grab held elsewhere is waited for: a capture shortcut's own key holds the
    // keyboard until it is released.
    void setGrabPatience(std::chrono::milliseconds patience) { m_grabPatience = patience; }

    // How long the dimmed copies' buffers and the windows' picture memory are kept after a
    // choice for the next one (a minute by default: pages in place make the next overlay
    // appear in half the time); then they are given back, so an idle Quandrel stays small.
    void setBufferKeeping(std::chrono::milliseconds keeping);
    // Gives the buffers and the windows' picture memory back now.
    void releaseBuffers();

    // The open choice, if any, and whether the keyboard and pointer are ours (tests and
    // benchmarks wait for it before they send input).
    SelectionOverlay* current() const { return m_current; }
    bool grabbed() const;
    const std::vector<std::unique_ptr<OverlayWindow>>& windows() const { return m_windows; }

Q_SIGNALS:
    // Every window of the open choice has painted its first complete picture.
    void painted();
    // The keyboard and pointer were taken.
    void grabbedInput();

private:
    void displaysChanged();
    void watchScreen(QScreen* screen);
    void onViewPainted();

    OwnWindows& m_ownWindows;
    PanelScreens m_screens;
    std::vector<std::unique_ptr<OverlayWindow>> m_windows;
    SelectionOverlay* m_current = nullptr;
    bool m_stale = false;
    int m_unpainted = 0;
    std::chrono::milliseconds m_grabPatience{1000};
    QTimer m_bufferKeeping;
    // Cleared when the presenter goes, for a choice whose coroutine outlives it.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace quandrel
