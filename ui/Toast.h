#pragma once

// Toasts: a short message with a symbol, shown for 1.6 seconds at the bottom centre of a
// screen's visible area. They never take the focus and let clicks through to the window
// below. A new toast replaces the one on screen, which then goes at once.
//
//     showToast(QStringLiteral("Copied"), QStringLiteral("checkmark.circle.fill"), area);
//
// `visibleFrame` is the visible area (without docks and panels) of the screen to show on, in
// global coordinates, for example QWidget::screen()->availableGeometry() of the window the
// message is about. An empty frame, or one that is on no screen any more (unplugged), shows
// the toast on the primary screen. Main thread only; needs a QApplication.

#include "Scheduler.h"

#include <QRect>
#include <QString>

#include <functional>
#include <memory>

namespace quandrel::ui {

class FloatingPanel;

void showToast(const QString& text, const QString& symbol, const QRect& visibleFrame = {});
// Takes the toast on screen away at once.
void dismissToast();

// The one toast slot behind showToast; tests make their own with a scheduler they control.
class ToastPresenter {
public:
    static constexpr int durationMs = 1600;
    static constexpr int bottomOffset = 80;
    static constexpr int fontPixelSize = 14;
    static constexpr int paddingX = 18;
    static constexpr int paddingY = 10;

    explicit ToastPresenter(Scheduler schedule = {});
    ~ToastPresenter();
    ToastPresenter(const ToastPresenter&) = delete;
    ToastPresenter& operator=(const ToastPresenter&) = delete;

    void show(const QString& text, const QString& symbol, const QRect& visibleFrame);
    void dismiss();
    // The toast on screen, or null.
    FloatingPanel* current() const { return m_current; }
    QString currentText() const;

    static ToastPresenter& shared();

private:

    Scheduler m_schedule;
    FloatingPanel* m_current = nullptr;
    unsigned m_generation = 0;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0); // pending runs check it
};

} // namespace quandrel::ui
