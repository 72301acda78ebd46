#pragma once

// An in-memory desktop for tests of the logic above the platform: displays, applications
// with windows, a frontmost application, and windows that refuse or adjust frames the way
// real applications do (minimum sizes). Everything is deterministic and synchronous, unless
// frame writes are deferred (defersFrames) to play a window manager that answers later.

#include "Applications.h"
#include "ClipboardWriter.h"
#include "Display.h"
#include "FakeScreenCapture.h"
#include "GrabbingScreenFreezer.h"
#include "GlobalHotKeys.h"
#include "FakeOwnWindows.h"
#include "PlatformServices.h"
#include "PointerMonitor.h"
#include "ScreenSpace.h"
#include "SystemTiling.h"
#include "WindowAccess.h"
#include "FrontmostApplication.h"

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quandrel {

class FakeDesktop final : public DisplayProvider,
                          public WindowAccess,
                          public FrontmostApplication,
                          public AccessTrust,
                          public SystemSound,
                          public GlobalHotKeys,
                          public ApplicationService,
                          public PointerMonitor,
                          public SystemTilingSource {
public:
    struct Window {
        WindowHandle id;
        std::int32_t pid = 0;
        Rect frame; // window space
        bool standard = true;
        bool readable = true;    // false: reads fail as for a window that vanished
        bool ignoresFrames = false; // true: every write is ignored
        Size minimumSize;        // writes smaller than this are enlarged
        Size maximumSize;        // writes larger than this are reduced (0: no limit)
        bool hidesLimits = false; // true: fittedSize does not know the limits
        bool minimized = false;
    };

    struct HotKey {
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        auto operator<=>(const HotKey&) const = default;
    };

    struct Application {
        std::int32_t pid = 0;
        std::string desktopId;
        WindowHandle focusedWindow;
        bool installed = true;
        bool hidden = false;
        bool launchFails = false;
    };

    // Setup. Displays are given in screen space, primary first.
    void setDisplays(std::vector<Display> displays) { m_displays = std::move(displays); }
    void addDisplay(const Rect& frame, const Rect& visibleFrame, const std::string& name = {});
    void addApplication(std::int32_t pid, std::string desktopId);
    // An application that is installed but not running; launching it starts it as `pid`.
    void addInstalledApplication(std::string desktopId) { m_installedOnly.insert(std::move(desktopId)); }
    // Adds a window with a frame in screen space; it becomes its application's focused window.
    WindowHandle addWindow(std::int32_t pid, const Rect& screenFrame);
    Window& window(WindowHandle id) { return m_windows.at(id); }
    void removeWindow(WindowHandle id) { m_windows.erase(id); }
    void setFrontmost(std::int32_t pid) { m_frontmost = pid; }
    void setTrusted(bool trusted) { m_trusted = trusted; }
    void setOwnPid(std::int32_t pid) { m_ownPid = pid; }

    // Inspection.
    Rect screenFrame(WindowHandle id) const;
    int beeps() const { return m_beeps; }
    int trustPrompts() const { return m_prompts; }
    int frameWrites() const { return m_frameWrites; }
    PlatformServices services()
    {
        return {this, this, this, this, this, this, this, this, this, &freezer, &ownWindows, keyboardLayout, &clipboard};
    }

    // The screen (frozen through `freezer`) and own windows that services() hands out, and the
    // keyboard layout (none: no key has a symbol).
    FakeScreenCapture screen;
    GrabbingScreenFreezer freezer{screen};
    FakeOwnWindows ownWindows;
    const KeyboardLayout* keyboardLayout = nullptr;
    PlainClipboard clipboard;

    // Pointer: moves change the location; events reach the monitor only while monitoring.
    void movePointer(Point screenPoint) { m_pointer = screenPoint; }
    void sendPointer(PointerEvent event)
    {
        if (m_monitoring && onEvent)
            onEvent(event);
    }
    void setSystemTiling(SystemTiling tiling) { m_tiling = tiling; }
    void setOwnsDragSnapping(bool owns) { m_ownsDragSnapping = owns; }
    bool ownsDragSnapping() override { return m_ownsDragSnapping; }
    int tilingReads() const { return m_tilingReads; }

    // Hot keys: combinations held by other programs are refused. With deferred answers a
    // bind is answered only by answerHotKeys(), as a desktop over D-Bus answers later.
    // `holder`: how the desktop names the other program's use of it (holderOf).
    void takeByOtherProgram(HotKey combination, std::string holder = {})
    {
        m_foreignHotKeys.insert(combination);
        m_foreignHolders[combination] = std::move(holder);
    }
    void releaseByOtherProgram(HotKey combination) { m_foreignHotKeys.erase(combination); }
    bool defersHotKeyAnswers = false;
    void answerHotKeys();
    const std::vector<HotKeyRequest>& lastHotKeySet() const { return m_lastHotKeySet; }
    const std::map<std::uint32_t, HotKey>& grabbedHotKeys() const { return m_hotKeys; }
    // Simulates a press; answers whether a registered hot key took it.
    bool press(HotKey combination);

    // Frames: with deferred frames a write changes nothing until applyFrames(), as a window
    // manager asked over D-Bus answers later; until then reads see the old frame.
    bool defersFrames = false;
    // Applies the writes in order and calls their completions, also the writes those make.
    void applyFrames();
    std::size_t pendingFrames() const { return m_pendingFrames.size(); }
    std::vector<std::string> interactiveMoves; // "stop 100", "resume 100", in order

    // Applications.
    Application& application(std::int32_t pid) { return m_apps.at(pid); }
    std::vector<std::string> launches; // desktop IDs launched, in order
    int raises() const { return m_raises; }
    std::vector<WindowHandle> raised;

    // DisplayProvider
    std::vector<Display> displays() override { return m_displays; }

    // WindowAccess
    std::optional<ClientWindow> focusedWindow() override;
    WindowAccessError focusedWindowError() override;
    std::optional<Rect> readFrame(WindowHandle window) override;
    using WindowAccess::setFrame;
    void setFrame(WindowHandle window, std::int32_t pid, const Rect& frame, FrameApplied applied) override;
    std::optional<Size> fittedSize(WindowHandle window, const Size& size) override;
    std::optional<ClientWindow> windowAtPoint(Point screenPoint) override;
    std::vector<ClientWindow> windowsOfApplication(std::int32_t pid) override;
    std::vector<ClientWindow> windowsOfProcesses(const std::vector<std::int32_t>& pids) override;
    std::optional<bool> isStandardWindow(WindowHandle window) override;
    std::optional<bool> isMinimized(WindowHandle window) override;
    void raise(WindowHandle window) override;
    void stopInteractiveMove(WindowHandle window) override { interactiveMoves.push_back("stop " + std::to_string(window.value())); }
    void resumeInteractiveMove(WindowHandle window, Point) override { interactiveMoves.push_back("resume " + std::to_string(window.value())); }

    // GlobalHotKeys
    void bind(std::vector<HotKeyRequest> set, std::function<void(HotKeyStatuses)> answered) override;
    std::string holderOf(std::uint32_t id) const override
    {
        const auto holder = m_holders.find(id);
        return holder == m_holders.end() ? std::string() : holder->second;
    }

    // PointerMonitor
    void setMonitoring(bool on) override { m_monitoring = on; }
    bool isMonitoring() const override { return m_monitoring; }
    Point pointerLocation() override { return m_pointer; }

    // SystemTilingSource
    SystemTiling read() override
    {
        ++m_tilingReads;
        return m_tiling;
    }

    // ApplicationService
    std::vector<RunningApplication> runningApplications(const std::string& desktopId) override;
    bool isInstalled(const std::string& desktopId) override;
    void hide(std::int32_t pid) override;
    void unhide(std::int32_t pid) override;
    void openAndActivate(const std::string& desktopId, std::function<void(bool ok)> done) override;

    // FrontmostApplication
    std::optional<RunningApplication> frontmostApplication() override;

    // AccessTrust
    bool canControlWindows() override { return m_trusted; }
    void showTrustPrompt() override { ++m_prompts; }
    bool screenRecordingAllowed() override { return m_screenAllowed; }
    void setScreenRecordingAllowed(bool allowed) { m_screenAllowed = allowed; }
    // A setup the session offers; performing it grants window control and answers `outcome`.
    void offerSetup(std::optional<Setup> setup, std::string outcome = {})
    {
        m_setup = std::move(setup);
        m_setupOutcome = std::move(outcome);
    }
    std::optional<Setup> setup() override { return m_setup; }
    std::string performSetup() override
    {
        m_trusted = true;
        return m_setupOutcome;
    }

    // SystemSound
    void beep() override { ++m_beeps; }

private:
    ScreenSpace space() const { return ScreenSpace::of(m_displays); }

    std::vector<Display> m_displays;
    std::map<std::int32_t, Application> m_apps;
    std::map<WindowHandle, Window> m_windows;
    std::vector<WindowHandle> m_stacking; // bottom to top
    std::uint64_t m_nextId = 100;
    std::int32_t m_frontmost = 0;
    std::int32_t m_ownPid = -1;
    bool m_trusted = true;
    bool m_screenAllowed = true;
    bool m_ownsDragSnapping = false;
    std::optional<Setup> m_setup;
    std::string m_setupOutcome;
    int m_beeps = 0;
    int m_prompts = 0;
    int m_frameWrites = 0;
    int m_raises = 0;
    Point m_pointer;
    bool m_monitoring = false;
    SystemTiling m_tiling;
    int m_tilingReads = 0;
    std::map<std::uint32_t, HotKey> m_hotKeys;
    std::set<HotKey> m_foreignHotKeys;
    std::map<HotKey, std::string> m_foreignHolders;
    std::map<std::uint32_t, std::string> m_holders; // of the latest set's taken ids
    std::vector<HotKeyRequest> m_lastHotKeySet;
    std::function<void(HotKeyStatuses)> m_pendingAnswer;
    HotKeyStatuses m_pendingStatuses;
    std::set<std::string> m_installedOnly; // installed, not running
    struct PendingFrame {
        WindowHandle window;
        Rect frame;
        FrameApplied applied;
    };
    std::deque<PendingFrame> m_pendingFrames;
    void place(WindowHandle window, const Rect& frame);
};

} // namespace quandrel
