#include "AnnotationRenderer.h"

#include "EditorGeometry.h"
#include "Shadow.h"
#include "TextMeasure.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace quandrel {

using Type = Annotation::Kind::Type;

namespace {

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

// Draws text whose box has its bottom-left corner at `origin`, one line under the other; the
// painter is in a y-up space, so the text is turned upright around the origin first.
void drawTextUpright(QPainter& painter, const QString& text, QPointF origin, double pixelSize, FontWeight weight,
                     const QColor& color)
{
    const TextMetrics metrics = textMetrics(text, pixelSize, weight);
    painter.save();
    painter.translate(origin);
    painter.scale(1, -1);
    painter.setFont(fontForDevice(pixelSize, weight, painter.device()));
    painter.setPen(color);
    double baseline = metrics.ascent - metrics.height;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        painter.drawText(QPointF(0, baseline), line);
        baseline += metrics.lineSpacing;
    }
    painter.restore();
}

// A freehand stroke through its points, smoothed: quadratic curves through the midpoints of
// successive points, so the corners between mouse samples round off.
QPainterPath smoothedStroke(const QList<QPointF>& points)
{
    QPainterPath path;
    if (points.isEmpty())
        return path;
    path.moveTo(points.front());
    if (points.size() == 1) {
        path.lineTo(points.front()); // a dot, drawn by the round cap
        return path;
    }
    for (qsizetype i = 1; i + 1 < points.size(); ++i)
        path.quadTo(points[i], (points[i] + points[i + 1]) / 2);
    path.lineTo(points.back());
    return path;
}

void drawFreehand(QPainter& painter, const Annotation& a)
{
    QColor color = a.color.toColor();
    if (a.kind.is(Type::marker)) {
        // One path in one stroke, so where the marker crosses itself it is no darker.
        color.setAlphaF(float(rendering::highlightAlpha * a.color.alpha));
        painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    }
    painter.setPen(QPen(color, a.strokeWidth(), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(smoothedStroke(a.strokePoints()));
}

// One pass of a box filter of 2r + 1 pixels along each row, clamping at the row's ends.
void boxRows(const QRgb* in, QRgb* out, int width, int height, qsizetype stride, int r)
{
    const quint32 window = quint32(2 * r + 1);
    for (int y = 0; y < height; ++y) {
        const QRgb* src = in + y * stride;
        QRgb* dst = out + y * stride;
        const auto at = [&](int i) { return src[std::clamp(i, 0, width - 1)]; };
        quint32 a = 0, rr = 0, g = 0, b = 0;
        for (int i = -r; i <= r; ++i) {
            const QRgb p = at(i);
            a += quint32(qAlpha(p));
            rr += quint32(qRed(p));
            g += quint32(qGreen(p));
            b += quint32(qBlue(p));
        }
        for (int x = 0; x < width; ++x) {
            dst[x] = qRgba(int((rr + window / 2) / window), int((g + window / 2) / window), int((b + window / 2) / window),
                           int((a + window / 2) / window));
            const QRgb add = at(x + r + 1);
            const QRgb remove = at(x - r);
            a += quint32(qAlpha(add)) - quint32(qAlpha(remove));
            rr += quint32(qRed(add)) - quint32(qRed(remove));
            g += quint32(qGreen(add)) - quint32(qGreen(remove));
            b += quint32(qBlue(add)) - quint32(qBlue(remove));
        }
    }
}

// The same down each column, kept row by row (one running sum per column), so the pixels are
// read in the order they lie in memory.
void boxColumns(const QRgb* in, QRgb* out, int width, int height, qsizetype stride, int r)
{
    const quint32 window = quint32(2 * r + 1);
    std::vector<quint32> sums(size_t(width) * 4, 0);
    const auto row = [&](int y) { return in + std::clamp(y, 0, height - 1) * stride; };
    for (int i = -r; i <= r; ++i) {
        const QRgb* src = row(i);
        for (int x = 0; x < width; ++x) {
            quint32* s = &sums[size_t(x) * 4];
            s[0] += quint32(qAlpha(src[x]));
            s[1] += quint32(qRed(src[x]));
            s[2] += quint32(qGreen(src[x]));
            s[3] += quint32(qBlue(src[x]));
        }
    }
    for (int y = 0; y < height; ++y) {
        QRgb* dst = out + y * stride;
        const QRgb* add = row(y + r + 1);
        const QRgb* remove = row(y - r);
        for (int x = 0; x < width; ++x) {
            quint32* s = &sums[size_t(x) * 4];
            dst[x] = qRgba(int((s[1] + window / 2) / window), int((s[2] + window / 2) / window),
                           int((s[3] + window / 2) / window), int((s[0] + window / 2) / window));
            s[0] += quint32(qAlpha(add[x])) - quint32(qAlpha(remove[x]));
            s[1] += quint32(qRed(add[x])) - quint32(qRed(remove[x]));
            s[2] += quint32(qGreen(add[x])) - quint32(qGreen(remove[x]));
            s[3] += quint32(qBlue(add[x])) - quint32(qBlue(remove[x]));
        }
    }
}

void drawArrow(QPainter& painter, const Annotation& a)
{
    const QPointF d = a.end - a.start;
    const double angle = std::atan2(d.y(), d.x());
    const double length = std::hypot(d.x(), d.y());
    const double head = std::min(length * 0.6, std::max(a.lineWidth * 4, 12.0));
    const double width = head * 0.9;
    const QPointF direction(std::cos(angle), std::sin(angle));

    painter.drawLine(a.start, a.end - 0.8 * head * direction);

    const QPointF base = a.end - head * direction;
    const double left = angle + std::numbers::pi / 2;
    const double right = angle - std::numbers::pi / 2;
    const QPolygonF triangle({a.end, base + width / 2 * QPointF(std::cos(left), std::sin(left)),
                              base + width / 2 * QPointF(std::cos(right), std::sin(right))});
    // Filled, not stroked, so the head stays H long whatever the line width.
    painter.setPen(Qt::NoPen);
    painter.drawPolygon(triangle, Qt::WindingFill);
}

void drawStep(QPainter& painter, const Annotation& a)
{
    const double r = a.stepRadius();
    const QPointF centre = a.start;
    const QColor fill = a.color.toColor();
    const auto drawBadge = [&](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawEllipse(centre, r, r);
    };
    paintShadow(painter, {withAlpha(Qt::black, rendering::badgeShadowAlpha), {0, -1}, r * 0.25},
                QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), drawBadge);
    drawBadge(painter);

    // The number itself casts no shadow; the badge's shadow is enough.
    const QString number = QString::number(a.kind.stepNumber());
    const double size = r * rendering::numberFontFactor;
    const TextMetrics metrics = textMetrics(number, size, FontWeight::bold);
    const QColor ink = a.color.luminance() > rendering::numberLuminanceThreshold ? Qt::black : Qt::white;
    drawTextUpright(painter, number, {centre.x() - metrics.width / 2, centre.y() - metrics.height / 2}, size,
                    FontWeight::bold, ink);
}

void drawText(QPainter& painter, const Annotation& a)
{
    const QString& text = a.kind.text();
    const double size = a.textFontSize();
    const QColor color = a.color.toColor();
    const TextMetrics metrics = textMetrics(text, size, FontWeight::semibold);
    const auto draw = [&](QPainter& p) { drawTextUpright(p, text, a.start, size, FontWeight::semibold, color); };
    paintShadow(painter, {withAlpha(Qt::black, rendering::textShadowAlpha), {0, -size / 20}, size * 0.125},
                QRectF(a.start, QSizeF(metrics.width, metrics.height)), draw);
    draw(painter);
}

} // namespace

QTransform imagePixelSpace(double imageHeight) { return QTransform(1, 0, 0, -1, 0, imageHeight); }

void drawImageUpright(QPainter& painter, const QRectF& target, const QImage& image)
{
    painter.save();
    painter.translate(minX(target), maxY(target));
    painter.scale(1, -1);
    painter.drawImage(QRectF(0, 0, target.width(), target.height()), image);
    painter.restore();
}

void drawAnnotation(QPainter& painter, const Annotation& a, const QImage& source)
{
    painter.save();
    const QColor color = a.color.toColor();
    painter.setPen(QPen(color, a.lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(color);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF r = a.normalizedRect();
    switch (a.kind.type()) {
    case Type::arrow:
        drawArrow(painter, a);
        break;
    case Type::line:
        painter.drawLine(a.start, a.end);
        break;
    case Type::rectangle:
        if (a.kind.fill() == Annotation::Kind::Fill::outline)
            painter.setBrush(Qt::NoBrush);
        painter.drawRect(r);
        break;
    case Type::ellipse:
        if (a.kind.fill() == Annotation::Kind::Fill::outline)
            painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(r);
        break;
    case Type::pen:
    case Type::marker:
        drawFreehand(painter, a);
        break;
    case Type::blur:
        if (const auto pixels = blurredRegion(source, r, a.blurRadius()))
            drawImageUpright(painter, integralRect(r), *pixels);
        break;
    case Type::highlight:
        painter.setCompositionMode(QPainter::CompositionMode_Multiply);
        painter.fillRect(r, withAlpha(color, rendering::highlightAlpha));
        break;
    case Type::pixelate:
        if (const auto pixels = pixelatedRegion(source, r, std::max(a.lineWidth * 3, rendering::minimumPixelateCell)))
            drawImageUpright(painter, integralRect(r), *pixels);
        break;
    case Type::step:
        drawStep(painter, a);
        break;
    case Type::text:
        drawText(painter, a);
        break;
    }
    painter.restore();
}

void renderScene(QPainter& painter, const QList<Annotation>& annotations, const QImage& source)
{
    drawImageUpright(painter, QRectF(0, 0, source.width(), source.height()), source);
    for (const Annotation& annotation : annotations)
        drawAnnotation(painter, annotation, source);
}

std::optional<QImage> blurredRegion(const QImage& source, const QRectF& rect, double radius)
{
    const QRectF bounds(0, 0, source.width(), source.height());
    const QRectF area = intersection(integralRect(rect), bounds);
    if (area.width() < 1 || area.height() < 1)
        return std::nullopt;
    // Three box passes each way approximate a Gaussian of standard deviation `radius`; the
    // pixels around the area are read as well, so its edges blend into what surrounds it.
    const double sigma = std::max(radius, 0.5);
    const int box = std::max(1, int(std::lround((std::sqrt(12 * sigma * sigma / 3 + 1) - 1) / 2)));
    const int margin = 3 * box;
    const QRectF padded = intersection(grown(area, margin), bounds);
    const QRect rows(int(minX(padded)), source.height() - int(maxY(padded)), int(padded.width()), int(padded.height()));
    QImage pixels = source.copy(rows).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage scratch(pixels.size(), QImage::Format_ARGB32_Premultiplied);
    if (pixels.isNull() || scratch.isNull())
        return std::nullopt;
    const int w = pixels.width();
    const int h = pixels.height();
    const qsizetype stride = pixels.bytesPerLine() / 4;
    Q_ASSERT(scratch.bytesPerLine() / 4 == stride);
    auto* a = reinterpret_cast<QRgb*>(pixels.bits());
    auto* b = reinterpret_cast<QRgb*>(scratch.bits());
    for (int pass = 0; pass < 3; ++pass) {
        boxRows(a, b, w, h, stride, box);
        boxColumns(b, a, w, h, stride, box);
    }
    // Back to the area itself, in top-down rows.
    const QRect inner(int(minX(area) - minX(padded)), int(maxY(padded) - maxY(area)), int(area.width()),
                      int(area.height()));
    return pixels.copy(inner);
}

std::optional<QImage> pixelatedRegion(const QImage& source, const QRectF& rect, double cell)
{
    const QRectF area = intersection(integralRect(rect), QRectF(0, 0, source.width(), source.height()));
    if (area.width() < 1 || area.height() < 1)
        return std::nullopt;
    const int width = int(area.width());
    const int height = int(area.height());
    // The area in the QImage's top-down rows.
    const QRect rows(int(minX(area)), source.height() - int(maxY(area)), width, height);
    QImage pixels = source.copy(rows).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (pixels.isNull())
        return std::nullopt;
    cell = std::max(cell, 1.0);

    // Cells are counted from the area's left edge and from its bottom edge (the minimum
    // corner in image space), so a partial cell, if any, sits at the right and at the top.
    // A pixel belongs to the cell that contains its centre.
    std::vector<int> column(size_t(width), 0);
    for (int x = 0; x < width; ++x)
        column[size_t(x)] = int(std::floor((x + 0.5) / cell));
    std::vector<int> row(size_t(height), 0);
    for (int y = 0; y < height; ++y)
        row[size_t(y)] = int(std::floor((height - 1 - y + 0.5) / cell));
    const int columns = column.back() + 1;
    const int cellRows = row.front() + 1;

    struct Sum {
        quint64 a = 0, r = 0, g = 0, b = 0, count = 0;
    };
    std::vector<Sum> sums(size_t(columns) * size_t(cellRows));
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        Sum* sumRow = sums.data() + size_t(row[size_t(y)]) * size_t(columns);
        for (int x = 0; x < width; ++x) {
            Sum& s = sumRow[column[size_t(x)]];
            const QRgb p = line[x];
            s.a += qAlpha(p);
            s.r += qRed(p);
            s.g += qGreen(p);
            s.b += qBlue(p);
            ++s.count;
        }
    }
    std::vector<QRgb> average(sums.size());
    for (size_t i = 0; i < sums.size(); ++i) {
        const Sum& s = sums[i];
        const auto mean = [&](quint64 v) { return int((v + s.count / 2) / std::max<quint64>(s.count, 1)); };
        average[i] = qRgba(mean(s.r), mean(s.g), mean(s.b), mean(s.a));
    }
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(pixels.scanLine(y));
        const QRgb* averageRow = average.data() + size_t(row[size_t(y)]) * size_t(columns);
        for (int x = 0; x < width; ++x)
            line[x] = averageRow[column[size_t(x)]];
    }
    return pixels;
}

} // namespace quandrel
