#pragma once

// Quandrel's side of the GNOME Shell extension (gnome/extension): its D-Bus interface on the
// session bus as plain calls and values. The extension runs inside the Shell, so everything
// here is in the Shell's layout coordinates (window space: y down, logical pixels).

#include "Geometry.h"
#include "ScreenCapture.h"

#include <QCoroTask>

#include <QDBusConnection>
#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QJsonDocument;

namespace quandrel::gnome {

// The version of the extension's interface this Quandrel speaks.
inline constexpr std::uint32_t shellInterfaceVersion = 2;

struct ShellWindow {
    std::uint64_t id = 0;
    std::int32_t pid = 0;
    std::string appId; // the Shell's application id, the desktop entry's file name
    std::string wmClass;
    std::string wmClassInstance;
    std::string sandboxedAppId;
    std::string gtkAppId;
    Rect frame; // the frame the user sees, without client-side shadows
    bool focused = false;
    bool minimized = false;
    bool normal = false;
    bool dialog = false;
    bool visible = false; // on the active workspace and not minimized
};

struct ShellScreenshot {
    std::vector<std::string> files; // PNG files in the extension's private folder, one per area
    std::optional<Point> pointer;
};

struct ShellDisplay {
    bool primary = false;
    Rect frame;
    Rect workArea;
    double scale = 1;
};

// What a window command reads before it places: the focused window (none when nothing has
// the focus) and every monitor; after a placement also the placed window as it is then.
struct ShellFocus {
    std::optional<ShellWindow> focused;
    std::vector<ShellDisplay> displays;
    std::optional<ShellWindow> window;
};

// The windows and the focus the extension lists; none for a document of another shape.
std::optional<std::vector<ShellWindow>> windowsFromJson(const QJsonDocument& document);
std::optional<ShellFocus> focusFromJson(const QJsonDocument& document);

// How far the extension answers.
enum class ShellState {
    ready,
    missing,           // no extension on the bus: not installed, not enabled, or not yet active
    refused,           // it does not let this program call it
    quandrelOutdated,  // it speaks a newer interface
    extensionOutdated, // it speaks an older interface
};

class GnomeShell {
public:
    explicit GnomeShell(QDBusConnection bus = QDBusConnection::sessionBus());
    ~GnomeShell();
    GnomeShell(const GnomeShell&) = delete;
    GnomeShell& operator=(const GnomeShell&) = delete;

    // Asks the extension again when it was not ready.
    ShellState state();
    // What state() found, as a sentence for the user.
    std::string problem() const { return m_problem; }

    // None when the extension does not answer. What the Shell answers is kept until the event
    // loop turns or Quandrel changes a window, so the reads of one command ask once.
    std::optional<std::vector<ShellWindow>> windows();
    std::optional<ShellFocus> focus();
    // A window as this turn's answers already have it; none when they do not name it.
    std::optional<ShellWindow> knownWindow(std::uint64_t id) const;
    // Places a window's frame; `done` learns the window as it is then, none when it is gone
    // or the extension did not answer. Called once, later, from the event loop.
    void place(std::uint64_t id, const Rect& frame, std::function<void(std::optional<ShellWindow>)> done);
    bool activate(std::uint64_t id);
    bool minimize(std::uint64_t id);

    // Each area of the screen (window-space pixels) as a file, Quandrel's own windows out of
    // sight, and the pointer; or why not.
    QCoro::Task<GrabResult<ShellScreenshot>> screenshot(std::vector<Rect> areas);
    // One window by itself, as a file.
    QCoro::Task<GrabResult<std::string>> windowScreenshot(std::uint64_t id);
    std::optional<Point> pointer();

    // Gives one of Quandrel's own windows, known by the mark at the end of its title, its role
    // ("panel" or "overlay") and frame; the extension applies it once the window is there.
    void arrangeOwnWindow(const std::string& mark, const std::string& role, const Rect& frame);

    // What the extension answers for each shortcut it is asked to bind.
    enum class ShortcutStatus { bound, taken, unsupported };
    using ShortcutStatuses = std::map<std::uint32_t, ShortcutStatus>;
    // Replaces every shortcut of this program by `shortcuts` (id → GTK accelerator); `done`
    // learns each one's status, or none when the extension did not answer. Called later,
    // from the event loop.
    void setShortcuts(const std::map<std::uint32_t, std::string>& shortcuts, std::function<void(std::optional<ShortcutStatuses>)> done);
    // Called with the id of each press of a bound shortcut.
    std::function<void(std::uint32_t id)> onShortcutPressed;

private:
    // Keeps an answer for the rest of this turn of the event loop.
    void keepForThisTurn();
    void forget();

    QDBusConnection m_bus;
    std::optional<std::vector<ShellWindow>> m_windows; // this turn's answers
    std::optional<ShellFocus> m_focus;
    bool m_forgetQueued = false;
    std::unique_ptr<QObject> m_context; // pending answers die with it
    std::unique_ptr<QObject> m_presses; // receives the extension's signal
    ShellState m_state = ShellState::missing;
    bool m_asked = false;
    std::string m_problem;
};

// Shell coordinates for a frame coordinate: rounded and kept within a range the Shell takes;
// not-a-number is 0. Sizes are at least 1.
int shellCoordinate(double value);
int shellSize(double value);

} // namespace quandrel::gnome
