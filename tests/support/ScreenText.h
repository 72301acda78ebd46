#pragma once

// Screen-like text drawn with QPainter, for tests and benchmarks of text recognition: lines,
// two columns and indented code, in the colours of light and dark desktops, together with the
// text a reader should get back.

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

namespace quandrel::test {

struct TextColours {
    QColor text;
    QColor background;
};

inline const TextColours darkOnLight{QColor(0x1e, 0x1e, 0x1e), QColor(0xff, 0xff, 0xff)};
inline const TextColours lightOnDark{QColor(0xd4, 0xd4, 0xd4), QColor(0x1e, 0x1e, 0x1e)};

struct TextStyle {
    QString family = QStringLiteral("DejaVu Sans");
    int pixelSize = 13;
    TextColours colours = darkOnLight;
    double lineSpacing = 1.5; // baseline to baseline, in pixel sizes
};

struct ScreenText {
    QString name;
    QImage image;
    // Rows from top to bottom, each row's pieces from left to right joined by one space.
    QString expected;
};

// Lines drawn one under the other, left-aligned; leading spaces indent (they are not part of
// the expected text, which has each line trimmed).
ScreenText drawLines(const QStringList& lines, const TextStyle& style = {}, int padding = 12);

// Two columns side by side, `gap` pixels apart; expected row by row.
ScreenText drawColumns(const QStringList& left, const QStringList& right, const TextStyle& style = {}, int gap = 80);

// The same text on a larger plain canvas at (x, y).
QImage placedOn(const QImage& text, QSize canvas, QPoint at, QColor background);

// Recognition accuracy corpus: several fonts and sizes from 9 to 16 pixels, dark on light,
// light on dark, coloured backgrounds, columns and code.
std::vector<ScreenText> screenTextCorpus();

// The character error rate of `read` against `expected`: edits (Levenshtein) over the length
// of `expected`, after both are normalised (lines trimmed, blank lines dropped, runs of spaces
// made one).
double characterErrorRate(const QString& read, const QString& expected);
int editDistance(const QString& a, const QString& b);
QString normalisedText(const QString& text);

} // namespace quandrel::test
