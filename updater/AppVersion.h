#pragma once

// A dotted release version such as 1.4.2 or 1.4.2-beta.2.

#include <QString>

#include <compare>
#include <cstdint>
#include <optional>
#include <vector>

namespace ostry {

class AppBundle;

struct AppVersion {
    std::vector<std::uint64_t> components;
    std::optional<QString> prerelease; // never empty when present

    // Accepts an optional leading "v"/"V" and spaces or tabs around the text. Nothing when any
    // dotted piece is empty, not a decimal number, or too large for 64 bits.
    static std::optional<AppVersion> parse(QStringView text);
    // The version of a bundle's metadata; nothing when it is missing or does not parse.
    static std::optional<AppVersion> fromBundle(const AppBundle& bundle);

    QString text() const;

    // Compares the numeric part only; missing trailing components count as 0 (1.2 == 1.2.0).
    std::strong_ordering compareComponents(const AppVersion& other) const;

    // Release order: numeric part first, then a prerelease before its release, then the
    // prerelease texts compared with digit runs as numbers (beta.2 < beta.10).
    friend bool operator<(const AppVersion& a, const AppVersion& b);
    friend bool operator==(const AppVersion& a, const AppVersion& b);
};

// Compares two texts with every run of digits taken as one number.
int compareNumericAware(QStringView a, QStringView b);

} // namespace ostry
