#pragma once

// Quandrel's own windows on GNOME. A Wayland client can neither place its windows nor keep
// them above others, so the extension does it: each marked window carries an invisible mark
// at the end of its title (zero-width characters the Shell finds it by), and its role and the
// frame Quandrel gives it go to the extension whenever they change. Panels stay above and on
// every workspace where Quandrel puts them; an overlay window covers its display, above
// everything, with the focus, so its keys reach it.

#include "OwnWindows.h"

#include <QObject>
#include <QPointer>

#include <map>
#include <memory>

class QWindow;

namespace quandrel::gnome {

class GnomeShell;

class GnomeOwnWindows final : public OwnWindows {
public:
    explicit GnomeOwnWindows(GnomeShell& shell);
    ~GnomeOwnWindows() override;

    void markFloatingPanel(QWindow& window) override;
    void keepAspectRatio(QWindow&, int, int) override {}
    bool compositing() override { return true; }
    void markOverlay(QWindow& window) override;
    // No grab: the keys reach the overlay once the extension has given its window the focus.
    InputGrabError grabInput(QWindow& window) override;
    void releaseInput() override {}
    bool inputGrabbed() const override { return false; }

private:
    struct Marked {
        QPointer<QWindow> window;
        std::string role;
        QString mark;
        bool queued = false;
    };
    void mark(QWindow& window, const std::string& role);
    void arrange(Marked& marked);
    void queue(QWindow* window);

    GnomeShell& m_shell;
    std::unique_ptr<QObject> m_context;
    std::map<QWindow*, Marked> m_marked;
    unsigned m_next = 0;
};

// The invisible mark of the n-th window: zero-width characters spelling n in binary.
QString windowMark(unsigned n);

} // namespace quandrel::gnome
