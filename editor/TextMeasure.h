#pragma once

// The one place where annotation text is measured. Bounds, handles, hit tests, resizing and
// drawing all go through these functions, so what is drawn is exactly what is hit.
//
// Sizes are in image pixels. Fonts are the desktop's sans-serif system font
// (QFontDatabase::GeneralFont). Qt fonts are sized in points relative to the paint device's
// logical DPI, and QImage reports exactly 72 DPI, so measuring happens against a 72-DPI
// reference image (points = pixels), and fontForDevice() converts for devices with another
// DPI (a widget at 96 DPI), so that the same pixel size comes out everywhere.

#include <QFont>
#include <QSizeF>
#include <QString>

class QPaintDevice;

namespace quandrel {

enum class FontWeight {
    semibold, // annotation text
    bold,     // step badge numbers
};

struct TextMetrics {
    double width = 0;       // typographic advance of the longest line
    double height = 0;      // ascent + descent, and a line spacing for each further line
    double descent = 0;     // from the last baseline down to the bottom of the box
    double ascent = 0;      // from the top of the box down to the first baseline
    double lineSpacing = 0; // from one baseline to the next
};

// The unrounded metrics of text at the given pixel size; '\n' separates its lines.
TextMetrics textMetrics(const QString& text, double pixelSize, FontWeight weight);

// The size of the text, each of width and height rounded up to a whole number.
QSizeF measureText(const QString& text, double pixelSize, FontWeight weight);

// The font that renders at pixelSize user units on the given paint device.
QFont fontForDevice(double pixelSize, FontWeight weight, const QPaintDevice* device);

} // namespace quandrel
