#pragma once

// The borderless window under the thumbnail, the toasts and the pins: frameless, above
// other windows, on every desktop, out of the task bar and pager. A panel that never takes
// the focus (thumbnail, toast) leaves the user's active window active when it is shown or
// clicked; a click-through panel (toast) lets clicks reach the window below it: it has an
// empty input shape and no window-manager frame (which would catch the clicks), so it is
// stacked above others by being raised when shown. A panel that takes the focus on click
// (pin) can receive keys.
//
// Rounded corners are translucent where a compositing manager runs; without one the panel
// is shaped to its outline (applyRoundedOutline), and shadows are left to the compositor.

#include <QRect>
#include <QWidget>

#include <optional>

namespace quandrel {
class OwnWindows;
}

namespace quandrel::ui {

class FloatingPanel : public QWidget {
    Q_OBJECT
public:
    enum class Focus { never, onClick };
    enum class Input { clicks, clickThrough };

    // `frame` in global (root window) coordinates.
    explicit FloatingPanel(const QRect& frame, Focus focus = Focus::never, Input input = Input::clicks);

    // Shows the panel without activating it and in front of other windows.
    void showPanel();

    // Whether translucency is available (a compositing manager ran when the panel was
    // made). Tests may force an answer.
    bool compositing() const { return m_compositing; }
    static void setCompositingOverride(std::optional<bool> value);

    // The session's roles for Quandrel's own windows, set once by the composition (and by
    // tests on a desktop); without it panels rely on Qt's window flags alone. Not owned.
    static void useOwnWindows(OwnWindows* windows);

protected:
    // Shapes the panel to a rounded rectangle of `radius` when there is no compositor;
    // subclasses call it when their size changes.
    void applyRoundedOutline(qreal radius);

    // Asks the window manager to keep width : height when the user resizes the panel. Moving
    // or resizing the panel from code drops the request, so call it again after each.
    void keepAspectRatio(QSize ratio);

private:
    bool m_compositing;
};

// Whether the session composites translucent windows (false where it cannot say).
bool compositingManagerRuns();

} // namespace quandrel::ui
