#include "EditorTestSupport.h"

#include "AnnotationRenderer.h"

#include <QPainter>

#include <cmath>
#include <cstdlib>

namespace quandrel {

QImage filledImage(int width, int height, const QColor& color)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

QColor pixelAt(const QImage& image, double x, double y)
{
    const int column = int(std::floor(x));
    const int row = image.height() - 1 - int(std::floor(y));
    return image.pixelColor(column, row);
}

QImage rendered(const QImage& source, const QList<Annotation>& annotations)
{
    QImage target(source.size(), QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::transparent);
    QPainter painter(&target);
    painter.setTransform(imagePixelSpace(source.height()));
    renderScene(painter, annotations, source);
    painter.end();
    return target;
}

bool near(const QColor& actual, const QColor& expected, int tolerance)
{
    return std::abs(actual.red() - expected.red()) <= tolerance
        && std::abs(actual.green() - expected.green()) <= tolerance
        && std::abs(actual.blue() - expected.blue()) <= tolerance
        && std::abs(actual.alpha() - expected.alpha()) <= tolerance;
}

} // namespace quandrel

void PrintTo(const QColor& color, std::ostream* out)
{
    *out << "rgba(" << color.red() << ", " << color.green() << ", " << color.blue() << ", " << color.alpha() << ")";
}

void PrintTo(const QPointF& point, std::ostream* out) { *out << "(" << point.x() << ", " << point.y() << ")"; }

void PrintTo(const QRectF& rect, std::ostream* out)
{
    *out << "(" << rect.x() << ", " << rect.y() << ", " << rect.width() << ", " << rect.height() << ")";
}

