#pragma once

// The selection overlay's window for one display (SelectionOverlay.h).

#include <QWidget>

namespace quandrel {

class OverlayView;

// A top-level window covering one monitor exactly, bypassing the window manager, above
// everything else, with the crosshair cursor. Made ahead of time and reused.
class OverlayWindow : public QWidget {
    Q_OBJECT
public:
    OverlayWindow();
    OverlayView* view() const { return m_view; }
    // Gives the window's picture memory back (a 4K window holds 32 MB) along with its native
    // window; the next show makes both again.
    void releaseNativeWindow();

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Keys the window gets itself (no focus widget yet) go to the overlay too.
    void keyPressEvent(QKeyEvent* event) override;

private:
    OverlayView* m_view;
};

} // namespace quandrel
