// Recognised pieces of text put into rows and read from left to right.

#include "TextAssembly.h"

#include <gtest/gtest.h>

using namespace quandrel;

namespace {

// A piece by the mid y, height and left edge of its box (normalised, y up).
RecognizedPiece piece(const char* text, double midY, double height, double minX, double width = 0.2)
{
    return {QString::fromUtf8(text), QRectF(minX, midY - height / 2, width, height)};
}

} // namespace

TEST(TextAssembly, RowsAreGroupedAgainstTheirFirstPiece)
{
    // A is higher, so it is sorted first and starts the row; B joins it (0.02 < 0.05).
    EXPECT_EQ(assembleLines({piece("B", 0.50, 0.10, 0.6), piece("A", 0.52, 0.10, 0.1)}), QStringLiteral("A B"));
    // C is 0.045 below B but 0.065 below A, the row's first piece: a new row.
    EXPECT_EQ(assembleLines({piece("B", 0.50, 0.10, 0.6), piece("A", 0.52, 0.10, 0.1), piece("C", 0.455, 0.10, 0.3)}),
              QStringLiteral("A B\nC"));
}

TEST(TextAssembly, HalfTheSmallerHeightDecides)
{
    // A heading 0.2 high and a caption 0.04 high whose middles are 0.03 apart: within half
    // the heading's height, but not within half the caption's.
    EXPECT_EQ(assembleLines({piece("Heading", 0.60, 0.20, 0.1), piece("caption", 0.57, 0.04, 0.5)}), QStringLiteral("Heading\ncaption"));
    EXPECT_EQ(assembleLines({piece("Heading", 0.60, 0.20, 0.1), piece("caption", 0.59, 0.04, 0.5)}), QStringLiteral("Heading caption"));
    // Exactly half apart is not less than half: a new row.
    EXPECT_EQ(assembleLines({piece("one", 0.5, 0.25, 0.1), piece("two", 0.375, 0.25, 0.5)}), QStringLiteral("one\ntwo"));
}

TEST(TextAssembly, ColumnsAreReadRowByRowFromLeftToRight)
{
    // The engine reports a column at a time, the right column first; rows sit slightly
    // askew, as lines of two columns do.
    EXPECT_EQ(assembleLines({
                  piece("Modified", 0.801, 0.05, 0.55),
                  piece("Yesterday", 0.701, 0.05, 0.55),
                  piece("Today", 0.601, 0.05, 0.55),
                  piece("Name", 0.80, 0.05, 0.05),
                  piece("Timer", 0.70, 0.05, 0.05),
                  piece("Report", 0.60, 0.05, 0.05),
              }),
              QStringLiteral("Name Modified\nTimer Yesterday\nReport Today"));
}

TEST(TextAssembly, EqualPlacesKeepTheEnginesOrder)
{
    EXPECT_EQ(assembleLines({piece("first", 0.5, 0.1, 0.2), piece("second", 0.5, 0.1, 0.2), piece("third", 0.5, 0.1, 0.2)}),
              QStringLiteral("first second third"));
    EXPECT_EQ(assembleLines({piece("upper", 0.5, 0.1, 0.2), piece("lower", 0.3, 0.1, 0.2), piece("also upper", 0.5, 0.1, 0.6)}),
              QStringLiteral("upper also upper\nlower"));
}

TEST(TextAssembly, NothingGivesTheEmptyText)
{
    EXPECT_EQ(assembleLines({}), QString());
    EXPECT_EQ(assembleLines({piece("only", 0.5, 0.1, 0.1)}), QStringLiteral("only"));
}
