#include "SwayOwnWindows.h"

#include "SwayIpc.h"
#include "SwayTree.h"

#include <QEvent>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <unistd.h>

namespace quandrel::sway {

namespace {

constexpr auto placingInterval = std::chrono::milliseconds(15);
constexpr int placingRounds = 200; // three seconds for sway to show a panel

bool isVisible(const QPointer<QWindow>& w) { return w && w->isVisible(); }

std::string con(std::uint64_t id) { return "[con_id=" + std::to_string(id) + "] "; }

} // namespace

SwayOwnWindows::SwayOwnWindows(SwayIpc& ipc)
    : m_ipc(ipc)
{
    m_placing.setInterval(placingInterval);
    connect(&m_placing, &QTimer::timeout, this, &SwayOwnWindows::placePanels);
}

std::optional<std::vector<SwayWindow>> SwayOwnWindows::ownWindows()
{
    const IpcReply tree = m_ipc.request(MessageType::getTree);
    return tree ? windowsFromTree(tree.document) : std::nullopt;
}

void SwayOwnWindows::markFloatingPanel(QWindow& window)
{
    // Qt on Wayland forgets a window's position once it is shown: kept from before.
    m_requested[&window] = window.position();
    window.removeEventFilter(this);
    window.installEventFilter(this);
}

void SwayOwnWindows::markOverlay(QWindow& window)
{
    // Full screen on the window's own screen: sway puts it there when it maps, above everything.
    window.setWindowStates(Qt::WindowFullScreen);
    if (std::find(m_overlays.begin(), m_overlays.end(), &window) == m_overlays.end()) {
        m_overlays.erase(std::remove(m_overlays.begin(), m_overlays.end(), nullptr), m_overlays.end());
        m_overlays.emplace_back(&window);
        window.installEventFilter(this);
    }
}

bool SwayOwnWindows::eventFilter(QObject* watched, QEvent* event)
{
    auto* window = qobject_cast<QWindow*>(watched);
    if (!window)
        return false;
    const bool overlay = std::find(m_overlays.begin(), m_overlays.end(), window) != m_overlays.end();
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Expose:
        if (overlay || !window->isVisible() || m_containers.count(window))
            break;
        if (std::find(m_unplaced.begin(), m_unplaced.end(), window) == m_unplaced.end()) {
            m_unplaced.emplace_back(window);
            m_placingRounds = 0;
            m_placing.start();
        }
        break;
    case QEvent::Hide:
        m_containers.erase(window);
        m_requested.erase(window); // asked again before the panel shows again
        if (overlay && m_returnFocus && !m_grabbed && std::none_of(m_overlays.begin(), m_overlays.end(), isVisible))
            QTimer::singleShot(0, this, &SwayOwnWindows::returnFocus);
        break;
    default:
        break;
    }
    return false;
}

void SwayOwnWindows::placePanels()
{
    m_unplaced.erase(std::remove_if(m_unplaced.begin(), m_unplaced.end(), [](const QPointer<QWindow>& w) { return !isVisible(w); }),
                     m_unplaced.end());
    if (m_unplaced.empty() || ++m_placingRounds > placingRounds) {
        m_unplaced.clear();
        m_placing.stop();
        return;
    }
    const auto windows = ownWindows();
    if (!windows)
        return;
    const pid_t self = getpid();
    for (auto it = m_unplaced.begin(); it != m_unplaced.end();) {
        QWindow* window = *it;
        // The newest of this process's windows with the panel's title that is no other panel.
        const SwayWindow* found = nullptr;
        for (const SwayWindow& w : *windows) {
            const bool taken = std::any_of(m_containers.begin(), m_containers.end(),
                                           [&](const auto& placed) { return placed.second == w.id.value(); });
            if (w.pid == self && !taken && w.title == window->title().toStdString() && (!found || w.id.value() > found->id.value()))
                found = &w;
        }
        if (!found) {
            ++it;
            continue;
        }
        m_containers[window] = found->id.value();
        const auto requested = m_requested.find(window);
        const QPoint at = requested != m_requested.end() ? requested->second : window->position();
        m_ipc.run(QString::fromStdString(con(found->id.value()) + "floating enable, sticky enable, border none, move absolute position "
                                         + std::to_string(at.x()) + " px " + std::to_string(at.y()) + " px"));
        // sway focuses a window that maps unless a rule says otherwise: a panel that takes no
        // focus hands it back to the window that had it.
        if (found->focused && (window->flags() & Qt::WindowDoesNotAcceptFocus)) {
            const auto before = std::find_if(windows->begin(), windows->end(),
                                             [&](const SwayWindow& w) { return w.pid != self && w.visible && !w.inScratchpad(); });
            if (before != windows->end())
                m_ipc.run(QString::fromStdString(con(before->id.value()) + "focus"));
        }
        it = m_unplaced.erase(it);
    }
}

InputGrabError SwayOwnWindows::grabInput(QWindow& window)
{
    const auto windows = ownWindows();
    if (!windows)
        return InputGrabError::refused;
    const pid_t self = getpid();
    const std::string title = window.title().toStdString();
    const bool overlay = std::find(m_overlays.begin(), m_overlays.end(), &window) != m_overlays.end();
    const std::string output = overlay && window.screen() ? window.screen()->name().toStdString() : std::string();
    const SwayWindow* target = nullptr;
    int shownOverlays = 0;
    for (const SwayWindow& w : *windows) {
        if (w.pid != self || w.title != title)
            continue;
        ++shownOverlays;
        if (output.empty() || w.output == output)
            target = &w;
    }
    // Every overlay window shown first: one that maps later would take the focus.
    if (!target || (overlay && shownOverlays < std::count_if(m_overlays.begin(), m_overlays.end(), isVisible)))
        return InputGrabError::windowNotViewable;
    if (!m_grabbed) {
        const auto before = std::find_if(windows->begin(), windows->end(),
                                         [&](const SwayWindow& w) { return w.pid != self && w.visible && !w.inScratchpad(); });
        m_focusBefore = before != windows->end() ? before->id.value() : 0;
    }
    if (!m_ipc.run(QString::fromStdString(con(target->id.value()) + "focus")))
        return InputGrabError::refused;
    m_grabbed = true;
    m_returnFocus = overlay;
    return InputGrabError::none;
}

void SwayOwnWindows::releaseInput()
{
    if (!m_grabbed)
        return;
    m_grabbed = false;
    if (m_returnFocus && std::none_of(m_overlays.begin(), m_overlays.end(), isVisible))
        returnFocus();
}

void SwayOwnWindows::returnFocus()
{
    if (!m_returnFocus || m_grabbed)
        return;
    m_returnFocus = false;
    // A window that has gone meanwhile is no failure: sway focuses what it would anyway.
    if (m_focusBefore)
        m_ipc.run(QString::fromStdString(con(m_focusBefore) + "focus"));
    m_focusBefore = 0;
}

} // namespace quandrel::sway
