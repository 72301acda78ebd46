#pragma once

// Quandrel's own windows on sway. A Wayland client can neither place its windows nor take the
// keyboard, so the roles are given over IPC once sway shows a window: floating panels float,
// sticky and borderless, where Qt was asked to put them (a pin then moves as sway moves it),
// and give the focus back when they must not take it; the overlay's windows ask for full
// screen on their own output, and taking the input for one of them focuses it (every output
// is covered, so the pointer is the overlay's too). When the last overlay window goes, the
// focus returns to the window that had it. The windows are found in sway's tree by process,
// title and, for the overlay, output.

#include "OwnWindows.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace quandrel::sway {

class SwayIpc;
struct SwayWindow;

class SwayOwnWindows final : public QObject, public OwnWindows {
public:
    explicit SwayOwnWindows(SwayIpc& ipc);

    void markFloatingPanel(QWindow& window) override;
    void keepAspectRatio(QWindow&, int, int) override {}
    bool compositing() override { return true; }
    void markOverlay(QWindow& window) override;
    InputGrabError grabInput(QWindow& window) override;
    void releaseInput() override;
    bool inputGrabbed() const override { return m_grabbed; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::optional<std::vector<SwayWindow>> ownWindows();
    void placePanels();
    void returnFocus();

    SwayIpc& m_ipc;
    std::vector<QPointer<QWindow>> m_overlays;
    // Panels waiting to be placed, and the container each shown panel was found as.
    std::vector<QPointer<QWindow>> m_unplaced;
    std::map<QWindow*, std::uint64_t> m_containers;
    std::map<QWindow*, QPoint> m_requested; // where each panel was asked to show
    QTimer m_placing;
    int m_placingRounds = 0;
    bool m_grabbed = false;
    std::uint64_t m_focusBefore = 0; // the window that had the focus before a grab
    bool m_returnFocus = false;
};

} // namespace quandrel::sway
