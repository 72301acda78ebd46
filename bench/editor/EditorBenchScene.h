#pragma once

// The scene the editor benchmarks measure: a 3840 × 2160 screenshot-like image and 100
// annotations of every kind spread over it.

#include "Annotation.h"
#include "RGBA.h"

#include <QImage>
#include <QList>
#include <QRandomGenerator>

namespace quandrel::bench {

using Kind = Annotation::Kind;

inline constexpr int width = 3840;
inline constexpr int height = 2160;
// Something like a screenshot: smooth gradients with text-like noise, so that pixelation
// averages real variation.
inline QImage screenshot()
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(42);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = int(random.bounded(24));
            row[x] = qRgb((x * 255 / width + noise) & 255, (y * 255 / height + noise) & 255, (x + y) & 255);
        }
    }
    return image;
}

// 10 pixelate areas, 10 badges and 80 arrows, lines, rectangles, ellipses, highlights and texts.
inline QList<Annotation> sceneAnnotations()
{
    QList<Annotation> list;
    QRandomGenerator random(7);
    const auto point = [&] { return QPointF(random.bounded(100, width - 500), random.bounded(100, height - 400)); };
    const RGBA colours[] = {editorPalette[0], editorPalette[2], editorPalette[4], editorPalette[6]};
    for (int i = 0; i < 10; ++i) {
        const QPointF p = point();
        list.append(Annotation::create(Kind::pixelate(), p, p + QPointF(400, 300), editorPalette[0], 8));
    }
    for (int i = 0; i < 80; ++i) {
        const RGBA colour = colours[i % 4];
        const QPointF p = point();
        switch (i % 6) {
        case 0: list.append(Annotation::create(Kind::arrow(), p, p + QPointF(300, -120), colour, 8)); break;
        case 1: list.append(Annotation::create(Kind::line(), p, p + QPointF(-200, 250), colour, 8)); break;
        case 2: list.append(Annotation::create(Kind::rectangle(), p, p + QPointF(360, 220), colour, 8)); break;
        case 3: list.append(Annotation::create(Kind::ellipse(), p, p + QPointF(280, 180), colour, 8)); break;
        case 4: list.append(Annotation::create(Kind::highlight(), p, p + QPointF(420, 60), editorPalette[2], 8)); break;
        case 5:
            list.append(Annotation::create(Kind::text(QStringLiteral("Click here to continue %1").arg(i)), p, p, colour, 8));
            break;
        }
    }
    for (int i = 0; i < 10; ++i) {
        const QPointF p = point();
        list.append(Annotation::create(Kind::step(i + 1), p, p, colours[i % 4], 8));
    }
    return list;
}

} // namespace quandrel::bench
