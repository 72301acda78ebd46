#include "GnomeOwnWindows.h"

#include "GnomeShell.h"

#include <QTimer>
#include <QWindow>

namespace quandrel::gnome {

QString windowMark(unsigned n)
{
    // U+2060 (word joiner) opens the mark, U+200B and U+200C are its bits.
    QString mark(QChar(0x2060));
    do {
        mark += QChar(n & 1 ? 0x200C : 0x200B);
        n >>= 1;
    } while (n);
    return mark + QChar(0x2060);
}

GnomeOwnWindows::GnomeOwnWindows(GnomeShell& shell)
    : m_shell(shell)
    , m_context(std::make_unique<QObject>())
{
}

GnomeOwnWindows::~GnomeOwnWindows() = default;

void GnomeOwnWindows::markFloatingPanel(QWindow& window) { mark(window, "panel"); }

void GnomeOwnWindows::markOverlay(QWindow& window)
{
    mark(window, "overlay");
    // Shown again for each capture: placed and activated again.
    queue(&window);
}

InputGrabError GnomeOwnWindows::grabInput(QWindow& window)
{
    return window.isActive() ? InputGrabError::none : InputGrabError::windowNotViewable;
}

void GnomeOwnWindows::mark(QWindow& window, const std::string& role)
{
    auto found = m_marked.find(&window);
    if (found != m_marked.end()) {
        found->second.role = role;
        return;
    }
    Marked& marked = m_marked[&window];
    marked.window = &window;
    marked.role = role;
    marked.mark = windowMark(m_next++);
    QWindow* w = &window;
    const auto titled = [this, w] {
        const auto it = m_marked.find(w);
        if (it != m_marked.end() && !w->title().endsWith(it->second.mark))
            w->setTitle(w->title() + it->second.mark);
    };
    titled();
    QObject::connect(w, &QWindow::windowTitleChanged, m_context.get(), titled);
    for (auto changed : {&QWindow::xChanged, &QWindow::yChanged, &QWindow::widthChanged, &QWindow::heightChanged})
        QObject::connect(w, changed, m_context.get(), [this, w] { queue(w); });
    QObject::connect(w, &QWindow::visibleChanged, m_context.get(), [this, w](bool visible) {
        if (visible)
            queue(w);
    });
    QObject::connect(w, &QObject::destroyed, m_context.get(), [this, w] { m_marked.erase(w); });
    queue(w);
}

void GnomeOwnWindows::queue(QWindow* window)
{
    const auto it = m_marked.find(window);
    if (it == m_marked.end() || it->second.queued)
        return;
    it->second.queued = true;
    // One request for the changes of one turn of the event loop.
    QTimer::singleShot(0, m_context.get(), [this, window] {
        const auto found = m_marked.find(window);
        if (found == m_marked.end())
            return;
        found->second.queued = false;
        if (found->second.window && found->second.window->isVisible())
            arrange(found->second);
    });
}

void GnomeOwnWindows::arrange(Marked& marked)
{
    const QRect frame = marked.window->geometry();
    m_shell.arrangeOwnWindow(marked.mark.toStdString(), marked.role, Rect{double(frame.x()), double(frame.y()), double(frame.width()),
                                                                           double(frame.height())});
}

} // namespace quandrel::gnome
