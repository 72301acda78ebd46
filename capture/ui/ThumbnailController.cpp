#include "ThumbnailController.h"

#include "FloatingPanel.h"
#include "PanelLayout.h"
#include "ThumbnailView.h"

#include <cmath>

namespace quandrel {

namespace {

class ThumbnailPanel final : public ui::FloatingPanel {
public:
    explicit ThumbnailPanel(const QRect& frame) : FloatingPanel(frame, Focus::never, Input::clicks)
    {
        setWindowTitle(QStringLiteral("Quandrel thumbnail"));
    }

    void setView(ThumbnailView* view)
    {
        m_view = view;
        view->setGeometry(rect());
        applyRoundedOutline(ThumbnailView::cornerRadius);
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        FloatingPanel::resizeEvent(event);
        if (m_view)
            m_view->setGeometry(rect());
        applyRoundedOutline(ThumbnailView::cornerRadius);
    }

private:
    ThumbnailView* m_view = nullptr;
};

} // namespace

ThumbnailController::ThumbnailController(PanelScreens screens, Scheduler schedule)
    : m_screens(std::move(screens))
    , m_dismissTimer(panel::thumbnailDismissMs, std::move(schedule), [this] { dismiss(); })
{
}

ThumbnailController::~ThumbnailController()
{
    m_dismissTimer.cancel();
    delete m_panel.data();
}

ThumbnailView* ThumbnailController::view() const { return m_panel ? m_panel->findChild<ThumbnailView*>() : nullptr; }

void ThumbnailController::show(const CapturedImage& image, Actions actions)
{
    dismiss();

    // Every button first removes the thumbnail, then acts; an action that is not set only
    // dismisses.
    QPointer<ThumbnailController> self(this);
    auto wrap = [self](std::function<void()> action) {
        return [self, action = std::move(action)] {
            if (self)
                self->dismiss();
            if (action)
                action();
        };
    };
    Actions wrapped{wrap(std::move(actions.edit)), wrap(std::move(actions.pin)), wrap(std::move(actions.save)), wrap(std::move(actions.copy))};

    const Size size = thumbnailSize(pointSize(image.image.width(), image.image.height(), image.scale));
    const QSize pixels(int(std::lround(size.width)), int(std::lround(size.height)));
    QRect frame(QPoint(0, 0), pixels);
    if (const auto visible = m_screens.visibleFrame()) {
        const Point origin = thumbnailOrigin(*visible, size);
        frame = m_screens.toGlobal(Rect{origin.x, origin.y, size.width, size.height});
        frame.setSize(pixels);
    }

    auto* panel = new ThumbnailPanel(frame);
    auto* view = new ThumbnailView(
        image, std::move(wrapped), [self](bool hovering) { if (self) self->hoverChanged(hovering); },
        [self] { if (self) self->dismiss(); }, panel);
    panel->setView(view);
    m_panel = panel;
    panel->showPanel();
    m_dismissTimer.start();
}

void ThumbnailController::dismiss()
{
    m_dismissTimer.cancel();
    if (!m_panel)
        return;
    ui::FloatingPanel* panel = m_panel;
    m_panel = nullptr;
    panel->hide();
    // Later: a button of the panel may be what asked for the dismissal.
    panel->deleteLater();
}

void ThumbnailController::hoverChanged(bool hovering)
{
    if (!m_panel)
        return;
    if (hovering)
        m_dismissTimer.cancel();
    else
        m_dismissTimer.start();
}

} // namespace quandrel
