// Recognised pieces of text put into rows and read from left to right.

#include "TextAssembly.h"

#include <gtest/gtest.h>

using namespace quandrel;

namespace {

// A piece by the mid y, height and left edge of its box (normalised, y up).
RecognizedPiece piece(const char* text, double midY, double height, double minX)
{
    return {QString::fromUtf8(text), QRectF(minX, midY - height / 2, 0.2, height)};
}

} // namespace

TEST(TextAssembly, RowsByHalfTheSmallerHeightFromTheirFirstPieceThenLeftToRight)
{
    const struct {
        const char* what;
        std::vector<RecognizedPiece> pieces;
        const char* text;
    } rows[] = {
        {"nothing", {}, ""},
        {"higher first, then joined", {piece("B", 0.50, 0.10, 0.6), piece("A", 0.52, 0.10, 0.1)}, "A B"},
        // C is 0.045 below B but 0.065 below A, the row's first piece: a new row.
        {"against the first", {piece("B", 0.50, 0.10, 0.6), piece("A", 0.52, 0.10, 0.1), piece("C", 0.455, 0.10, 0.3)}, "A B\nC"},
        // Middles 0.03 apart: within half the heading's height, not half the caption's.
        {"smaller height decides", {piece("Heading", 0.60, 0.20, 0.1), piece("caption", 0.57, 0.04, 0.5)}, "Heading\ncaption"},
        {"within half", {piece("Heading", 0.60, 0.20, 0.1), piece("caption", 0.59, 0.04, 0.5)}, "Heading caption"},
        {"exactly half is a new row", {piece("one", 0.5, 0.25, 0.1), piece("two", 0.375, 0.25, 0.5)}, "one\ntwo"},
        // The engine reports a column at a time, the right one first, rows slightly askew.
        {"columns", {piece("Modified", 0.801, 0.05, 0.55), piece("Yesterday", 0.701, 0.05, 0.55), piece("Today", 0.601, 0.05, 0.55),
                     piece("Name", 0.80, 0.05, 0.05), piece("Timer", 0.70, 0.05, 0.05), piece("Report", 0.60, 0.05, 0.05)},
         "Name Modified\nTimer Yesterday\nReport Today"},
        {"equal places keep the engine's order", {piece("first", 0.5, 0.1, 0.2), piece("second", 0.5, 0.1, 0.2)}, "first second"},
        {"rows of equal places", {piece("upper", 0.5, 0.1, 0.2), piece("lower", 0.3, 0.1, 0.2), piece("also upper", 0.5, 0.1, 0.6)},
         "upper also upper\nlower"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(assembleLines(row.pieces), QString::fromUtf8(row.text)) << row.what;
}
