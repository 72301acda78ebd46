#include "ScreenText.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace quandrel::test {

namespace {

QFont fontFor(const TextStyle& style)
{
    QFont font(style.family);
    font.setPixelSize(style.pixelSize);
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

int lineStep(const TextStyle& style) { return int(std::lround(style.pixelSize * style.lineSpacing)); }

void drawColumn(QPainter& painter, const QStringList& lines, const TextStyle& style, int x, int top)
{
    const QFontMetrics metrics(painter.font());
    for (qsizetype i = 0; i < lines.size(); ++i)
        painter.drawText(x, top + metrics.ascent() + int(i) * lineStep(style), lines[i]);
}

int columnWidth(const QStringList& lines, const QFont& font)
{
    const QFontMetrics metrics(font);
    int width = 0;
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    return width;
}

QString trimmedLines(const QStringList& lines)
{
    QStringList result;
    for (const QString& line : lines)
        result << line.trimmed();
    return result.join(QLatin1Char('\n'));
}

QImage canvas(int width, int height, QColor background)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(background);
    return image;
}

} // namespace

ScreenText drawLines(const QStringList& lines, const TextStyle& style, int padding)
{
    const QFont font = fontFor(style);
    const QFontMetrics metrics(font);
    QImage image = canvas(columnWidth(lines, font) + 2 * padding, int(lines.size() - 1) * lineStep(style) + metrics.height() + 2 * padding,
                          style.colours.background);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(style.colours.text);
    drawColumn(painter, lines, style, padding, padding);
    painter.end();
    return {QStringLiteral("%1 %2px lines").arg(style.family).arg(style.pixelSize), image, trimmedLines(lines)};
}

ScreenText drawColumns(const QStringList& left, const QStringList& right, const TextStyle& style, int gap)
{
    const QFont font = fontFor(style);
    const QFontMetrics metrics(font);
    const int padding = 12;
    const int leftWidth = columnWidth(left, font);
    const int rows = int(std::max(left.size(), right.size()));
    QImage image = canvas(leftWidth + gap + columnWidth(right, font) + 2 * padding, (rows - 1) * lineStep(style) + metrics.height() + 2 * padding,
                          style.colours.background);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(style.colours.text);
    drawColumn(painter, left, style, padding, padding);
    drawColumn(painter, right, style, padding + leftWidth + gap, padding);
    painter.end();

    QStringList expected;
    for (int i = 0; i < rows; ++i) {
        QStringList row;
        if (i < left.size())
            row << left[i].trimmed();
        if (i < right.size())
            row << right[i].trimmed();
        expected << row.join(QLatin1Char(' '));
    }
    return {QStringLiteral("%1 %2px columns").arg(style.family).arg(style.pixelSize), image, expected.join(QLatin1Char('\n'))};
}

QImage placedOn(const QImage& text, QSize size, QPoint at, QColor background)
{
    QImage image = canvas(size.width(), size.height(), background);
    QPainter painter(&image);
    painter.drawImage(at, text);
    return image;
}

std::vector<ScreenText> screenTextCorpus()
{
    const QStringList prose[] = {
        {QStringLiteral("The quick brown fox jumps over the lazy dog."), QStringLiteral("Invoice 2024-117 is due on 15 March, total $1,284.50.")},
        {QStringLiteral("Open the Settings window and choose Appearance."), QStringLiteral("Contact support@example.org for help with licences.")},
        {QStringLiteral("Downloads (3 items, 42.7 MB) finished at 09:41"), QStringLiteral("Path: /home/alex/Documents/report-final_v2.pdf")},
        {QStringLiteral("Meeting moved to Thursday; bring the Q3 figures."), QStringLiteral("Battery 87% - about 5 hours 12 minutes left")},
    };
    const QStringList left{QStringLiteral("Name"), QStringLiteral("Kitchen timer"), QStringLiteral("Photo backup"), QStringLiteral("Weekly report")};
    const QStringList right{QStringLiteral("Modified"), QStringLiteral("Yesterday 18:02"), QStringLiteral("3 May 2024"), QStringLiteral("Today 07:15")};
    const QStringList code{QStringLiteral("def parse(line):"), QStringLiteral("    if not line:"), QStringLiteral("        return None"),
                           QStringLiteral("    key, value = line.split(\"=\", 1)"), QStringLiteral("    return key.strip(), int(value)")};

    const QString families[] = {QStringLiteral("DejaVu Sans"), QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Serif"), QStringLiteral("Nimbus Roman")};
    const TextColours colours[] = {
        darkOnLight,
        lightOnDark,
        {QColor(0xff, 0xff, 0xff), QColor(0x2a, 0x6f, 0xd6)}, // a selected row
        {QColor(0x33, 0x33, 0x33), QColor(0xff, 0xf3, 0xb0)}, // a note
        {QColor(0x55, 0x55, 0x55), QColor(0xf0, 0xf0, 0xf0)}, // secondary text
        {QColor(0xee, 0xee, 0xec), QColor(0x30, 0x0a, 0x24)}, // a terminal
    };
    const QString colourNames[] = {QStringLiteral("dark-on-light"), QStringLiteral("light-on-dark"), QStringLiteral("white-on-blue"),
                                   QStringLiteral("dark-on-yellow"), QStringLiteral("grey-on-grey"), QStringLiteral("terminal")};
    const int sizes[] = {9, 10, 11, 12, 13, 14, 16};

    std::vector<ScreenText> corpus;
    int n = 0;
    for (int size : sizes) {
        for (int c = 0; c < 6; c += 1) {
            if ((size + c) % 2 != 0)
                continue; // half the combinations keep the run short
            const TextStyle style{families[std::size_t(n % 4)], size, colours[c]};
            ScreenText sample = drawLines(prose[n % 4], style);
            sample.name = QStringLiteral("%1 %2px %3").arg(style.family).arg(size).arg(colourNames[c]);
            corpus.push_back(sample);
            ++n;
        }
    }
    for (int size : {10, 12, 14}) {
        for (int c : {0, 1}) {
            ScreenText columns = drawColumns(left, right, {QStringLiteral("DejaVu Sans"), size, colours[c]});
            columns.name = QStringLiteral("columns %1px %2").arg(size).arg(colourNames[c]);
            corpus.push_back(columns);
            ScreenText snippet = drawLines(code, {QStringLiteral("DejaVu Sans Mono"), size + 1, colours[c == 0 ? 0 : 5], 1.4});
            snippet.name = QStringLiteral("code %1px %2").arg(size + 1).arg(colourNames[c == 0 ? 0 : 5]);
            corpus.push_back(snippet);
        }
    }
    return corpus;
}

QString normalisedText(const QString& text)
{
    static const QRegularExpression spaces(QStringLiteral("[ \\t\\f\\v]+"));
    QStringList lines;
    for (QString line : text.split(QLatin1Char('\n'))) {
        line = line.replace(spaces, QStringLiteral(" ")).trimmed();
        if (!line.isEmpty())
            lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

int editDistance(const QString& a, const QString& b)
{
    std::vector<int> previous(std::size_t(b.size()) + 1), current(previous.size());
    for (std::size_t j = 0; j < previous.size(); ++j)
        previous[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        current[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int substitution = previous[std::size_t(j - 1)] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[std::size_t(j)] = std::min({previous[std::size_t(j)] + 1, current[std::size_t(j - 1)] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous.back();
}

double characterErrorRate(const QString& read, const QString& expected)
{
    const QString want = normalisedText(expected);
    return want.isEmpty() ? (normalisedText(read).isEmpty() ? 0.0 : 1.0) : double(editDistance(normalisedText(read), want)) / double(want.size());
}

} // namespace quandrel::test
