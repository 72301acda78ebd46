#pragma once

// Screenshots through the desktop portal (org.freedesktop.portal.Screenshot), for sessions
// whose compositor will not hand Quandrel the screen itself: GNOME without Quandrel's Shell
// extension, KWin when it refuses its screenshot interface. The portal gives one image of the
// whole desktop as a file it writes (GNOME and KDE put it in the Pictures folder or the home
// folder); Quandrel reads that file, and only the file the portal's answer names, then
// removes it. The frozen displays are cut from the one image.

#include "Display.h"
#include "ScreenFreezer.h"

#include <QDBusConnection>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quandrel::freedesktop {

// How a portal request ended.
enum class PortalOutcome {
    taken,       // the file was read (and removed)
    cancelled,   // the person or the portal said no (response 1 or 2), or no answer came
    unavailable, // no portal on the bus, or it refused the call
    unreadable,  // the answer named no file Quandrel would read, or the file held no image
};

struct PortalShot {
    PortalOutcome outcome = PortalOutcome::unavailable;
    PixelBuffer pixels; // when taken: 0xffRRGGBB, the whole desktop
    std::string message; // otherwise: why, in words fit for a log
};

// The local file a portal's answer names, when Quandrel may read it: a file:// URI of an
// absolute path to a regular file (not a link) of this user, written no earlier than
// `requested`. None otherwise, with `why` set.
std::optional<QString> portalFile(const QString& uri, std::chrono::system_clock::time_point requested, std::string* why = nullptr);

// Reads the file the portal wrote and removes it; a file that cannot be read as an image is
// left where it is, so nothing the person may want is lost.
PortalShot takePortalFile(const QString& path);

class PortalScreenshot {
public:
    explicit PortalScreenshot(QDBusConnection bus = QDBusConnection::sessionBus());

    // Whether a desktop portal can be reached on the bus (running, or started on demand).
    bool available();

    // One image of the whole desktop, without the portal's own dialog. The first request may
    // make the desktop ask the person whether Quandrel may take screenshots; the answer is
    // awaited for up to `patience`.
    QCoro::Task<PortalShot> take(std::chrono::milliseconds patience = std::chrono::minutes(2));

private:
    QDBusConnection m_bus;
    unsigned m_requests = 0;
};

// The images of the requested areas (pixelArea of each display, in the displays' order) cut
// from one image of the whole desktop. The whole image spans the displays' bounding box in
// window space; its own scale (pixels per point) is measured from its width, and each cut is
// scaled to its display's pixel size where the two differ. Black where the image has nothing.
std::vector<PixelBuffer> cutDisplays(const PixelBuffer& whole, const std::vector<Display>& displays, const std::vector<Rect>& areas);

// A ScreenFreezer over the portal: every freeze is one portal screenshot cut per display.
// Windows come from `windows` where the session can still list them (their images are then
// cut from the frozen display); `noWindows` says otherwise what window mode can do.
class PortalScreenFreezer final : public ScreenFreezer {
public:
    PortalScreenFreezer(PortalScreenshot& portal, DisplayProvider& displays);

    std::function<std::optional<std::vector<ScreenWindow>>()> windows;
    std::string noWindows = "This session lists no windows to pick; capture an area or the whole display instead.";
    std::function<std::optional<Point>()> pointer;
    // Runs once, before the first request (which may make the desktop ask for permission).
    std::function<void()> beforeFirstRequest;

    QCoro::Task<GrabResult<FrozenScreens>> freeze(FreezeRequest request) override;
    QCoro::Task<GrabResult<PixelBuffer>> windowImage(WindowHandle window) override;
    std::optional<Point> pointerPosition() override { return pointer ? pointer() : std::nullopt; }

private:
    PortalScreenshot& m_portal;
    DisplayProvider& m_displays;
    bool m_asked = false;
};

} // namespace quandrel::freedesktop
