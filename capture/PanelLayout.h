#pragma once

// The geometry and input rules of the floating panels (thumbnail, toast, pin), free of
// widgets so that they can be checked on their own. Sizes and frames are in points; frames
// in screen space unless a name says otherwise.

#include "Display.h"
#include "Geometry.h"

#include <QString>

#include <optional>
#include <vector>

namespace quandrel {

namespace panel {
inline constexpr double thumbnailLongSide = 220;
inline constexpr double thumbnailMinWidth = 80;
inline constexpr double thumbnailMinHeight = 60;
inline constexpr double thumbnailMargin = 20;   // from the right and bottom of the visible frame
inline constexpr int thumbnailDismissMs = 8000; // and restarted in full when the pointer leaves
inline constexpr double toastBottomOffset = 80;
inline constexpr int toastDurationMs = 1600;
inline constexpr double pinScreenShare = 0.8; // a new pin fills at most this share of the visible frame
inline constexpr double minZoom = 0.1;
inline constexpr double maxZoom = 8.0;
inline constexpr double minOpacity = 0.2;
inline constexpr double maxOpacity = 1.0;
inline constexpr double preciseWheelDivisor = 200; // touchpads and high-resolution wheels
inline constexpr double notchWheelDivisor = 20;
} // namespace panel

// An image's size in points; a scale that is not a positive number counts as 1.
Size pointSize(int pixelWidth, int pixelHeight, double scale);

// The thumbnail's size for an image of `image` points: the long side 220, the short side
// following the aspect ratio but at least 80 wide or 60 high (the image is cropped then).
Size thumbnailSize(Size image);

// Where a panel of `size` goes on a visible frame: the thumbnail 20 points in from the right
// and bottom edges, the toast centred 80 points above the bottom edge.
Point thumbnailOrigin(const Rect& visibleFrame, Size size);
Point toastOrigin(const Rect& visibleFrame, Size size);

// The visible frame a panel should use: that of the display under the pointer (window-space
// point), else that of the primary display; none without displays. A pointer off every
// display (its screen just unplugged) gives the primary display, never a vanished one.
std::optional<Rect> panelVisibleFrame(const std::vector<Display>& displays, std::optional<Point> windowPointer);

// A requested visible frame that no longer overlaps any display is replaced by the primary
// display's; none without displays.
std::optional<Rect> onScreenVisibleFrame(const std::vector<Display>& displays, const Rect& requested);

// The factor a new pin of `image` points is shown at: small enough to fit 80 % of the visible
// frame, never above 1.
double pinFitFactor(Size image, const Rect& visibleFrame);

// A new pin's frame: the image at its fit factor, centred on the visible frame.
Rect pinFrame(Size image, const Rect& visibleFrame);

// X11 windows are at most 32767 pixels on a side; a zoom never makes a pin larger.
inline constexpr double maxWindowExtent = 32767;

// The zoom clamped to 0.1 ... 8, and below what would exceed the largest window for an
// image of `image` points (when given).
double clampZoom(double zoom, std::optional<Size> image = std::nullopt);
double clampOpacity(double opacity);

// The frame of a pin showing `image` at `zoom` (clamped), keeping the centre of `current`.
Rect zoomedFrame(const Rect& current, Size image, double zoom);

// The wheel's step: a precise (pixel) delta over 200, a notch count over 20.
double wheelStep(double delta, bool precise);

enum class PinCommand { none, close, copy, save, edit, actualSize, copyText };

// What a key does on a pin. `characters` are the key's characters with Shift applied but no
// other modifier ("w", "W", "0"); `command` is the Ctrl key. Escape closes with any
// modifiers; Ctrl+w/c/s/e close, copy, save and edit; "0" without Ctrl is actual size.
// Ctrl+Shift+C ("C") copies the text in the image. Characters must match exactly, so
// Ctrl+Shift+W does not close.
PinCommand pinCommandForKey(bool escape, const QString& characters, bool command);

} // namespace quandrel
