#pragma once

// Turning a screenshot into the picture a text engine reads best: grey, dark text on white
// whatever the colours on screen, cut to the part that holds anything but background, and
// scaled up so that small screen text reaches the size the engine was trained on.

#include <QImage>
#include <QSize>
#include <QTransform>

namespace quandrel {

struct TextImageLimits {
    // Lines of text are scaled towards this height in pixels, as measured below (about the
    // height of capital letters), never down and at most by maxScale.
    double targetLineHeight = 30;
    double maxScale = 4;
    // The scale is lowered so that the prepared picture stays within this many pixels.
    qint64 maxPixels = 24'000'000;
};

struct PreparedTextImage {
    // Grayscale8, dark marks on white with a white margin; null when the image holds nothing
    // but its background, so that there is nothing to read.
    QImage image;
    // From the prepared picture's pixels to the original image's pixels (top-left origin).
    QTransform toSource;
    double scale = 1;
    // The height of a line of text in the original image's pixels: the median height of the
    // runs of rows with marks in narrow vertical strips; 0 when nothing was measured.
    double lineHeight = 0;
};

// The background is the most common colour; every pixel becomes as dark as it is far from that
// colour, so that light text on dark and coloured backgrounds reads like dark text on white.
PreparedTextImage prepareForTextRecognition(const QImage& image, const TextImageLimits& limits = {});

} // namespace quandrel
