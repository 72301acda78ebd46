#pragma once

// Turning the pieces of text an engine found in an image into lines: rows from top to bottom,
// pieces in a row from left to right.

#include <QRectF>
#include <QString>

#include <vector>

namespace quandrel {

// One piece of recognised text and its box, normalised to the image (0…1 in both axes) with
// the origin at the image's bottom-left and y up: box.y() is the bottom edge.
struct RecognizedPiece {
    QString text;
    QRectF box;
};

// Groups the pieces into rows and joins them:
// - pieces are taken by the mid y of their box, highest first (a stable sort);
// - a piece joins the current row when its mid y differs from that of the row's first piece
//   by less than half the smaller of the two heights, else it starts the next row;
// - a row's pieces are ordered by their left edge (stable) and joined with one space;
// - rows are joined with "\n", without a trailing newline.
// No pieces give the empty text.
QString assembleLines(std::vector<RecognizedPiece> pieces);

} // namespace quandrel
