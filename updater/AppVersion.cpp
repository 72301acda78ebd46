#include "AppVersion.h"

#include "AppBundle.h"

#include <QStringList>

namespace ostry {

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

std::optional<std::uint64_t> parseComponent(QStringView piece)
{
    if (piece.isEmpty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (QChar c : piece) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        const std::uint64_t digit = c.unicode() - '0';
        if (value > (UINT64_MAX - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

} // namespace

std::optional<AppVersion> AppVersion::parse(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    text = text.mid(begin, end - begin);
    if (!text.isEmpty() && (text[0] == QLatin1Char('v') || text[0] == QLatin1Char('V')))
        text = text.mid(1);
    if (text.isEmpty())
        return std::nullopt;

    AppVersion version;
    QStringView numeric = text;
    const qsizetype dash = text.indexOf(QLatin1Char('-'));
    if (dash >= 0) {
        numeric = text.left(dash);
        const QStringView rest = text.mid(dash + 1);
        if (!rest.isEmpty())
            version.prerelease = rest.toString();
    }
    for (QStringView piece : numeric.split(QLatin1Char('.'))) {
        const auto value = parseComponent(piece);
        if (!value)
            return std::nullopt;
        version.components.push_back(*value);
    }
    return version;
}

std::optional<AppVersion> AppVersion::fromBundle(const AppBundle& bundle)
{
    const auto info = bundle.info();
    if (!info || info->version.isEmpty())
        return std::nullopt;
    return parse(info->version);
}

QString AppVersion::text() const
{
    QStringList pieces;
    for (std::uint64_t component : components)
        pieces.append(QString::number(component));
    QString result = pieces.join(QLatin1Char('.'));
    if (prerelease)
        result += QLatin1Char('-') + *prerelease;
    return result;
}

std::strong_ordering AppVersion::compareComponents(const AppVersion& other) const
{
    const std::size_t count = std::max(components.size(), other.components.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t a = i < components.size() ? components[i] : 0;
        const std::uint64_t b = i < other.components.size() ? other.components[i] : 0;
        if (a != b)
            return a <=> b;
    }
    return std::strong_ordering::equal;
}

bool operator<(const AppVersion& a, const AppVersion& b)
{
    const auto order = a.compareComponents(b);
    if (order != std::strong_ordering::equal)
        return order == std::strong_ordering::less;
    if (!a.prerelease)
        return false;
    if (!b.prerelease)
        return true;
    return compareNumericAware(*a.prerelease, *b.prerelease) < 0;
}

bool operator==(const AppVersion& a, const AppVersion& b)
{
    return a.compareComponents(b) == std::strong_ordering::equal && a.prerelease == b.prerelease;
}

int compareNumericAware(QStringView a, QStringView b)
{
    auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            // Compare the runs as numbers of any length: skip leading zeros, then the longer
            // run is the larger number, and equal lengths compare digit by digit.
            qsizetype startA = i;
            qsizetype startB = j;
            while (startA + 1 < endA && a[startA] == QLatin1Char('0'))
                ++startA;
            while (startB + 1 < endB && b[startB] == QLatin1Char('0'))
                ++startB;
            const qsizetype lengthA = endA - startA;
            const qsizetype lengthB = endB - startB;
            if (lengthA != lengthB)
                return lengthA < lengthB ? -1 : 1;
            const int digits = a.mid(startA, lengthA).compare(b.mid(startB, lengthB));
            if (digits != 0)
                return digits < 0 ? -1 : 1;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return a[i].unicode() < b[j].unicode() ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

} // namespace ostry
