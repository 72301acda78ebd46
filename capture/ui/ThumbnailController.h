#pragma once

// The floating thumbnail shown after a capture: in the bottom-right corner of the screen
// under the pointer, 20 points in from the edges of its visible area, for 8 seconds or as
// long as the pointer rests on it. On hover it offers Edit, Pin, Save and Copy and a close
// button; a double click edits; the image can be dragged out as a PNG. One at a time.

#include "CapturedImage.h"
#include "DismissTimer.h"
#include "FloatingPanel.h"
#include "PanelScreens.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

namespace quandrel {

class ThumbnailView;

class ThumbnailController : public QObject {
    Q_OBJECT
public:
    // What the buttons do. Each is wrapped so that it first dismisses the thumbnail.
    struct Actions {
        std::function<void()> edit;
        std::function<void()> pin;
        std::function<void()> save;
        std::function<void()> copy;
    };

    explicit ThumbnailController(PanelScreens screens, Scheduler schedule = {});
    ~ThumbnailController() override;

    // Replaces any thumbnail on screen with one of `image`.
    void show(const CapturedImage& image, Actions actions);
    // Removes the thumbnail, if any, and stops its timer. Idempotent.
    void dismiss();

    ui::FloatingPanel* panel() const { return m_panel; }
    ThumbnailView* view() const;
    bool isDismissPending() const { return m_dismissTimer.isPending(); }

private:
    void hoverChanged(bool hovering);

    PanelScreens m_screens;
    QPointer<ui::FloatingPanel> m_panel;
    DismissTimer m_dismissTimer;
};

} // namespace quandrel
