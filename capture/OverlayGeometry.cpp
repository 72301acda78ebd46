#include "OverlayGeometry.h"

#include "ScreenSpace.h"

#include <QCoreApplication>

#include <algorithm>

#include <cmath>
#include <sys/mman.h>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quandrel::overlay {

Rect selectionRect(Point a, Point b)
{
    const double left = std::floor(std::min(a.x, b.x));
    const double bottom = std::floor(std::min(a.y, b.y));
    const double right = std::ceil(std::max(a.x, b.x));
    const double top = std::ceil(std::max(a.y, b.y));
    return {left, bottom, right - left, top - bottom};
}

bool acceptsSelection(const Rect& rect) { return rect.width >= minimumSelection && rect.height >= minimumSelection; }

Rect toGlobal(const Rect& local, const Rect& displayFrame)
{
    return {local.x + displayFrame.x, local.y + displayFrame.y, local.width, local.height};
}

Point clampToView(Point p, Size size)
{
    // NaN (a position the platform could not give) lands on the origin rather than spreading.
    const auto clamp = [](double v, double high) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, std::max(0.0, high)); };
    return {clamp(p.x, size.width), clamp(p.y, size.height)};
}

QString sizeLabelText(const Rect& selection, double scale)
{
    const auto pixels = [scale](double points) { return static_cast<long long>(std::trunc(points * scale)); };
    return QString::number(pixels(selection.width)) + QStringLiteral(" \u00d7 ") + QString::number(pixels(selection.height));
}

Point labelPillOrigin(const Rect& selection)
{
    const double below = selection.minY() - labelGapBelow;
    return {selection.minX(), below < 0 ? selection.maxY() + labelGapAbove : below};
}

Size pillSize(Size textSize) { return {textSize.width + pillPaddingX, textSize.height + pillPaddingY}; }

double guideLinePosition(double coordinate) { return roundHalfAway(coordinate) + 0.5; }

QRect loupeSource(Point pointer, double viewHeight, double scale)
{
    const double half = loupePixels / 2.0;
    const int x = int(roundHalfAway(scale * pointer.x - half));
    const int y = int(roundHalfAway(scale * (viewHeight - pointer.y) - half));
    return QRect(x, y, loupePixels, loupePixels);
}

Rect loupeFrame(Point pointer, Size view)
{
    double x = pointer.x + loupeOffset;
    double y = pointer.y - loupeReach;
    if (pointer.x + loupeReach > view.width)
        x = pointer.x - loupeReach;
    if (y < 0)
        y = pointer.y + loupeOffset;
    return {x, y, loupeSize, loupeSize};
}

QString hintText(bool windowMode)
{
    return windowMode ? QCoreApplication::translate("OverlayGeometry", "Click a window · Space for area · Esc to cancel")
                      : QCoreApplication::translate("OverlayGeometry", "Drag to select · Space for window · Esc to cancel");
}

Rect hintPill(Size view, Size textSize)
{
    const Size pill = pillSize(textSize);
    return {view.width / 2 - pill.width / 2, view.height - hintFromTop, pill.width, pill.height};
}

std::optional<PickableWindow> hoveredWindow(const std::vector<PickableWindow>& windows, Point pointer, bool windowMode)
{
    if (!windowMode)
        return std::nullopt;
    for (const PickableWindow& w : windows)
        if (containsPoint(w.frame, pointer))
            return w;
    return std::nullopt;
}

std::optional<FrozenDisplay> displayForWindow(const std::vector<FrozenDisplay>& displays, const PickableWindow& window)
{
    if (displays.empty())
        return std::nullopt;
    const Point centre{window.frame.midX(), window.frame.midY()};
    for (const FrozenDisplay& d : displays)
        if (containsPoint(d.screen.frame, centre))
            return d;
    return displays.front();
}

QString adjustHintText()
{
    return QCoreApplication::translate("Overlay", "Drag the corners or the area · arrow keys nudge · Return captures · Esc cancels");
}

Grip gripAt(const Rect& selection, Point local)
{
    const struct {
        Grip grip;
        Point corner;
    } corners[] = {{Grip::bottomLeft, {selection.minX(), selection.minY()}},
                   {Grip::bottomRight, {selection.maxX(), selection.minY()}},
                   {Grip::topLeft, {selection.minX(), selection.maxY()}},
                   {Grip::topRight, {selection.maxX(), selection.maxY()}}};
    Grip nearest = Grip::none;
    double best = gripRadius;
    for (const auto& c : corners) {
        const double d = std::hypot(local.x - c.corner.x, local.y - c.corner.y);
        if (d <= best) {
            best = d;
            nearest = c.grip;
        }
    }
    if (nearest != Grip::none)
        return nearest;
    return containsPoint(selection, local) ? Grip::move : Grip::none;
}

Rect nudged(const Rect& r, double dx, double dy, Size view)
{
    const double x = std::clamp(r.x + dx, 0.0, std::max(0.0, view.width - r.width));
    const double y = std::clamp(r.y + dy, 0.0, std::max(0.0, view.height - r.height));
    return {x, y, r.width, r.height};
}

Rect regripped(const Rect& original, Grip grip, Point from, Point to, Size view)
{
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    if (grip == Grip::move)
        return nudged(original, dx, dy, view);
    if (grip == Grip::none)
        return original;
    // The dragged corner follows the pointer; the opposite one stays.
    const bool left = grip == Grip::bottomLeft || grip == Grip::topLeft;
    const bool bottom = grip == Grip::bottomLeft || grip == Grip::bottomRight;
    const Point fixed{left ? original.maxX() : original.minX(), bottom ? original.maxY() : original.minY()};
    const Point moved = clampToView({(left ? original.minX() : original.maxX()) + dx, (bottom ? original.minY() : original.maxY()) + dy}, view);
    return selectionRect(fixed, moved);
}

ViewScene sceneFor(const ViewState& state, const TextMeasure& measure)
{
    ViewScene scene;
    const Size view = state.frame.size();
    const bool dragging = state.dragStart && state.dragCurrent;
    if (state.windowMode) {
        if (state.hoveredFrame) {
            const Rect& f = *state.hoveredFrame;
            scene.highlight = Rect{f.x - state.frame.x, f.y - state.frame.y, f.width, f.height};
            scene.accentFill = true;
        }
    } else if (dragging) {
        const Rect selection = selectionRect(*state.dragStart, *state.dragCurrent);
        scene.highlight = selection;
        scene.label = sizeLabelText(selection, state.scale);
        const Size pill = pillSize(measure(scene.label));
        const Point origin = labelPillOrigin(selection);
        scene.labelPill = Rect{origin.x, origin.y, pill.width, pill.height};
        if (state.adjusting) {
            for (const Point c : {Point{selection.minX(), selection.minY()}, Point{selection.maxX(), selection.minY()},
                                  Point{selection.minX(), selection.maxY()}, Point{selection.maxX(), selection.maxY()}})
                scene.handles.push_back({c.x - handleSize / 2, c.y - handleSize / 2, handleSize, handleSize});
        }
    }
    if (!state.windowMode && state.mouse) {
        // Screen space puts the pointer on the top edge of its pixel row (ScreenSpace.h), so
        // the row the pointer is on is the one just below its rounded y.
        if (!state.dragStart)
            scene.guides = Point{guideLinePosition(state.mouse->x), guideLinePosition(state.mouse->y) - 1};
        scene.loupe = loupeFrame(*state.mouse, view);
        scene.loupeSource = loupeSource(*state.mouse, view.height, state.scale);
    }
    if (state.showsHint) {
        scene.hint = state.adjusting ? adjustHintText() : hintText(state.windowMode);
        scene.hintPill = hintPill(view, measure(scene.hint));
    }
    return scene;
}

namespace {

// One row of pixels times keep / 256, rounded, alpha kept.
void dimRow(const std::uint32_t* in, std::uint32_t* out, int width, std::uint32_t keep)
{
    int x = 0;
#if defined(__SSE2__)
    // Four pixels at a time: bytes widened to 16 bits, multiplied, rounded, narrowed again.
    const __m128i zero = _mm_setzero_si128();
    const __m128i factor = _mm_set1_epi16(std::int16_t(keep));
    const __m128i half = _mm_set1_epi16(128);
    const __m128i alpha = _mm_set1_epi32(std::int32_t(0xff000000u));
    for (; x + 4 <= width; x += 4) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
        __m128i lo = _mm_unpacklo_epi8(p, zero);
        __m128i hi = _mm_unpackhi_epi8(p, zero);
        lo = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(lo, factor), half), 8);
        hi = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(hi, factor), half), 8);
        const __m128i dimmed = _mm_packus_epi16(lo, hi);
        const __m128i result = _mm_or_si128(_mm_andnot_si128(alpha, dimmed), _mm_and_si128(p, alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), result);
    }
#endif
    // Two channels at a time; neither carries into the other (255 * 256 + 128 < 65536).
    for (; x < width; ++x) {
        const std::uint32_t p = in[x];
        const std::uint32_t redBlue = (((p & 0x00ff00ffu) * keep + 0x00800080u) >> 8) & 0x00ff00ffu;
        const std::uint32_t green = (((p & 0x0000ff00u) * keep + 0x00008000u) >> 8) & 0x0000ff00u;
        out[x] = (p & 0xff000000u) | redBlue | green;
    }
}

// An image on pages of its own, faulted in at once and given back to the system when the
// image goes. From the heap, a buffer this large would stay in the process after it is freed
// (the allocator's mmap threshold adapts upwards to just such sizes).
QImage pageBackedImage(QSize size, QImage::Format format)
{
    const qsizetype bytesPerLine = qsizetype(size.width()) * 4;
    const std::size_t bytes = std::size_t(bytesPerLine) * std::size_t(size.height());
    if (bytes == 0)
        return {};
    void* pages = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
        return QImage(size, format);
    struct Mapping {
        void* pages;
        std::size_t bytes;
    };
    return QImage(
        static_cast<uchar*>(pages), size.width(), size.height(), bytesPerLine, format,
        [](void* info) {
            auto* mapping = static_cast<Mapping*>(info);
            ::munmap(mapping->pages, mapping->bytes);
            delete mapping;
        },
        new Mapping{pages, bytes});
}

} // namespace

QImage dimmedImage(const QImage& source)
{
    QImage result;
    dimInto(source, result);
    return result;
}

void dimInto(const QImage& source, QImage& target)
{
    QImage image = source;
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        break;
    default:
        image = image.convertToFormat(QImage::Format_RGB32);
    }
    if (image.isNull()) {
        target = QImage();
        return;
    }
    // The buffer is reused when it fits and nothing else shares it; its pages are then in
    // place already, which saves more time than the dimming itself takes.
    if (target.size() != image.size() || target.format() != image.format() || !target.isDetached())
        target = pageBackedImage(image.size(), image.format());
    if (target.isNull())
        return;
    target.setDevicePixelRatio(source.devicePixelRatio());
    // Black at alpha a over c is c * (1 - a), in 8-bit fixed point with rounding.
    const std::uint32_t keep = std::uint32_t(std::lround((1 - dimAlpha) * 256));
    const int width = image.width();
    // Row addresses are taken once: scanLine() of a writable image is not for several threads.
    uchar* out = target.bits();
    const qsizetype outStride = target.bytesPerLine();
    const uchar* in = image.constBits();
    const qsizetype inStride = image.bytesPerLine();
    const auto band = [&](int first, int last) {
        for (int y = first; y < last; ++y)
            dimRow(reinterpret_cast<const std::uint32_t*>(in + y * inStride), reinterpret_cast<std::uint32_t*>(out + y * outStride),
                   width, keep);
    };
    const int rows = image.height();
    const int threads = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
    // Small images are not worth a thread.
    if (threads == 1 || std::int64_t(rows) * width < 256 * 1024) {
        band(0, rows);
        return;
    }
    std::vector<std::thread> workers;
    const int step = (rows + threads - 1) / threads;
    for (int t = 1; t < threads; ++t) {
        const int first = std::min(rows, t * step);
        const int last = std::min(rows, first + step);
        if (first < last)
            workers.emplace_back(band, first, last);
    }
    band(0, std::min(rows, step));
    for (auto& w : workers)
        w.join();
}

QRectF toWidget(const Rect& local, double viewHeight)
{
    return QRectF(local.x, viewHeight - (local.y + local.height), local.width, local.height);
}

Point fromWidget(QPointF position, double viewHeight) { return {position.x(), viewHeight - position.y()}; }

} // namespace quandrel::overlay
