#pragma once

// The selection overlay's geometry, without widgets: what one overlay view shows for a given
// state, and the rules behind it (the dragged rectangle, its acceptance, the size label, the
// guide lines, the loupe, the hint, the hovered window).
//
// Everything here is in screen space: global rectangles and points have their origin at the
// bottom-left of the primary display with y up; a view's local points have their origin at
// the bottom-left of its display. Only the loupe's source is in image pixels, counted from
// the image's top-left corner. Conversion to widget coordinates (y down) is the widgets' job
// (toWidget below).

#include "CapturedImage.h"

#include <QRect>
#include <QRectF>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace quandrel::overlay {

// Sizes of the overlay's parts, in points.
inline constexpr double minimumSelection = 3;    // both sides at least this to be taken
inline constexpr double labelGapBelow = 26;      // label origin below the selection's bottom edge
inline constexpr double labelGapAbove = 6;       // … or above its top edge
inline constexpr int loupePixels = 15;           // the loupe's source square, in image pixels
inline constexpr double loupeSize = 120;         // the loupe on screen
inline constexpr double loupeOffset = 24;        // between the pointer and the loupe
inline constexpr double loupeReach = loupeOffset + loupeSize; // 144: how far the loupe extends
inline constexpr double loupeCornerRadius = 10;
inline constexpr double hintFromTop = 60;        // the hint pill's bottom edge below the top
inline constexpr double pillPaddingX = 20;       // added to the text's width
inline constexpr double pillPaddingY = 8;        // added to the text's height
inline constexpr double textInsetX = 10;
inline constexpr double textInsetY = 4;
inline constexpr double dimAlpha = 0.35;
inline constexpr double pillAlpha = 0.7;
inline constexpr double guideAlpha = 0.6;
inline constexpr double accentAlpha = 0.18;

// The rectangle spanned by two drag points, widened to whole points: the smallest integral
// rectangle holding it.
Rect selectionRect(Point a, Point b);
// Whether a dragged rectangle is large enough to be taken (3 x 3 points or more).
bool acceptsSelection(const Rect& rect);
// A view's local rectangle in global coordinates: offset by its display's origin.
Rect toGlobal(const Rect& local, const Rect& displayFrame);
// A point clamped into a view of `size` (x into 0…width, y into 0…height).
Point clampToView(Point p, Size size);

// The selection's size in pixels, truncated: width, " × ", height.
QString sizeLabelText(const Rect& selection, double scale);
// The size label pill's origin: at the selection's min x and 26 points below it, or 6 points
// above it when that would leave the view at the bottom.
Point labelPillOrigin(const Rect& selection);
// A pill around a text of `textSize`.
Size pillSize(Size textSize);

// Where a guide line is drawn for a pointer coordinate: rounded (halves away from zero) to a
// whole point, plus half a point so that the 1-point line covers exactly one row of pixels.
double guideLinePosition(double coordinate);

// The loupe's 15 x 15 source square in image pixels (top-left origin) for a pointer at local
// `pointer` in a view `viewHeight` high; not yet cut to the image.
QRect loupeSource(Point pointer, double viewHeight, double scale);
// The loupe square: right of and below the pointer, flipped to the left when it would pass
// the view's right edge and above when it would pass the bottom.
Rect loupeFrame(Point pointer, Size viewSize);

QString hintText(bool windowMode);
// The hint while an area is being adjusted before it is taken.
QString adjustHintText();

// Adjusting an area before it is taken: its corners resize it, its inside moves it, the arrow
// keys nudge it; it never leaves its view.
enum class Grip { none, move, bottomLeft, bottomRight, topLeft, topRight };
inline constexpr double gripRadius = 8;  // points around a corner that grab it
inline constexpr double handleSize = 8;  // the drawn corner squares
// The corner within gripRadius of `local` (nearest first), else move when inside, else none.
Grip gripAt(const Rect& selection, Point local);
// `original` after its grip was dragged from `from` to `to`: moved whole, or resized with the
// opposite corner fixed; kept in a view of `view`.
Rect regripped(const Rect& original, Grip grip, Point from, Point to, Size view);
// Moved by (dx, dy) points, stopping at the view's edges.
Rect nudged(const Rect& selection, double dx, double dy, Size view);
// The hint pill: centred, its bottom edge 60 points below the view's top.
Rect hintPill(Size viewSize, Size textSize);

// The first window (frontmost first) whose frame holds the global point; none in area mode.
std::optional<PickableWindow> hoveredWindow(const std::vector<PickableWindow>& windows, Point globalPointer, bool windowMode);
// The display a picked window goes with: the first whose frame holds the window's centre,
// else the first display; none without displays.
std::optional<FrozenDisplay> displayForWindow(const std::vector<FrozenDisplay>& displays, const PickableWindow& window);

// What one view shows, as the person left it.
struct ViewState {
    Rect frame; // the display's frame (global)
    double scale = 1;
    std::optional<Point> dragStart; // local points
    std::optional<Point> dragCurrent;
    std::optional<Point> mouse;
    bool windowMode = false;
    std::optional<Rect> hoveredFrame; // global
    bool showsHint = false;            // the pointer's display
    bool adjusting = false;            // the dragged area waits to be taken
};

// The parts one view draws, local points. Parts that are not drawn are absent.
struct ViewScene {
    std::optional<Rect> highlight; // undimmed, outlined
    bool accentFill = false;       // window mode's tint over the highlight
    QString label;                 // the size label, when dragging
    std::optional<Rect> labelPill;
    std::optional<Point> guides; // x of the vertical, y of the horizontal line
    std::optional<Rect> loupe;
    QRect loupeSource; // image pixels, uncut
    QString hint;
    std::optional<Rect> hintPill;
    std::vector<Rect> handles; // an adjusted area's corner squares
    bool operator==(const ViewScene&) const = default;
};

// Measures a pill's text: its width and line height in points.
using TextMeasure = std::function<Size(const QString&)>;

ViewScene sceneFor(const ViewState& state, const TextMeasure& measure);

// A copy of a frozen image under black at `dimAlpha`, worked out in bands on every core.
// 32-bit images keep their format; others are converted to RGB32 first.
QImage dimmedImage(const QImage& image);
// The same into `target`, whose buffer is reused when it has the right size and format and
// is not shared.
void dimInto(const QImage& image, QImage& target);

// A local rectangle (y up) in the coordinates of a widget covering the view (y down).
QRectF toWidget(const Rect& local, double viewHeight);
// A widget position as a local point.
Point fromWidget(QPointF position, double viewHeight);

} // namespace quandrel::overlay
