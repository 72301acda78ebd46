#include "TextAssembly.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace quandrel {

QString assembleLines(std::vector<RecognizedPiece> pieces)
{
    std::stable_sort(pieces.begin(), pieces.end(), [](const RecognizedPiece& a, const RecognizedPiece& b) {
        return a.box.center().y() > b.box.center().y();
    });

    std::vector<std::vector<const RecognizedPiece*>> rows;
    for (const RecognizedPiece& piece : pieces) {
        if (!rows.empty()) {
            const RecognizedPiece& first = *rows.back().front();
            const double distance = std::abs(first.box.center().y() - piece.box.center().y());
            if (distance < std::min(first.box.height(), piece.box.height()) / 2) {
                rows.back().push_back(&piece);
                continue;
            }
        }
        rows.push_back({&piece});
    }

    QStringList lines;
    lines.reserve(qsizetype(rows.size()));
    for (auto& row : rows) {
        std::stable_sort(row.begin(), row.end(), [](const RecognizedPiece* a, const RecognizedPiece* b) {
            return a->box.left() < b->box.left();
        });
        QStringList texts;
        texts.reserve(qsizetype(row.size()));
        for (const RecognizedPiece* piece : row)
            texts.push_back(piece->text);
        lines.push_back(texts.join(QLatin1Char(' ')));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace quandrel
