#include "AppVersion.h"

#include <gtest/gtest.h>

using ostry::AppVersion;

namespace {

AppVersion v(const char* text)
{
    const auto version = AppVersion::parse(QString::fromLatin1(text));
    EXPECT_TRUE(version) << text;
    return version.value_or(AppVersion{});
}

TEST(AppVersion, ParsesDottedNumbersWithOptionalPrefixAndSpacesAndShowsThemPlain)
{
    struct Row { const char* text; std::vector<std::uint64_t> components; std::optional<QString> prerelease; const char* shown; };
    const Row rows[] = {
        {"1.2", {1, 2}, std::nullopt, "1.2"},
        {"v1.2", {1, 2}, std::nullopt, "1.2"},
        {"V1.2", {1, 2}, std::nullopt, "1.2"},
        {"  1.2\t", {1, 2}, std::nullopt, "1.2"},
        {"1.2-", {1, 2}, std::nullopt, "1.2"},
        {"v1.4.2-beta.2", {1, 4, 2}, QStringLiteral("beta.2"), "1.4.2-beta.2"},
        {"2-rc-1", {2}, QStringLiteral("rc-1"), "2-rc-1"},
        {"18446744073709551615", {18446744073709551615ull}, std::nullopt, "18446744073709551615"},
        {" 007.0 ", {7, 0}, std::nullopt, "7.0"},
    };
    for (const Row& row : rows) {
        const auto version = AppVersion::parse(QString::fromLatin1(row.text));
        ASSERT_TRUE(version) << row.text;
        EXPECT_EQ(version->components, row.components) << row.text;
        EXPECT_EQ(version->prerelease, row.prerelease) << row.text;
        EXPECT_EQ(version->text(), QString::fromLatin1(row.shown)) << row.text;
    }
}

TEST(AppVersion, RejectsMalformedText)
{
    for (const char* text : {"", "v", "  ", "1..2", "1.-2", "1.a", ".1", "1.", "-1", "+1.2", "1.2 .3",
                             "18446744073709551616", "1.2\n", "vv1"})
        EXPECT_FALSE(AppVersion::parse(QString::fromLatin1(text))) << '"' << text << '"';
}

TEST(AppVersion, OrdersReleasesAndPrereleases)
{
    // Each row: a < b, and never b < a.
    const std::pair<const char*, const char*> ordered[] = {
        {"1.2", "1.3"},
        {"1.2.9", "1.10"},
        {"1.2", "1.2.1"},
        {"1.2.0-beta", "1.2.0"},
        {"1.2.0-beta.2", "1.2.0-beta.10"},
        {"1.2.0-alpha", "1.2.0-beta"},
        {"1.2.0-rc.9", "1.2.1-alpha"},
        {"2.0-beta.01x", "2.0-beta.2"},
    };
    for (const auto& [a, b] : ordered) {
        EXPECT_TRUE(v(a) < v(b)) << a << " < " << b;
        EXPECT_FALSE(v(b) < v(a)) << b << " < " << a;
    }
}

TEST(AppVersion, EqualityIgnoresTrailingZeros)
{
    EXPECT_EQ(v("1.2"), v("1.2.0"));
    EXPECT_FALSE(v("1.2") < v("1.2.0"));
    EXPECT_FALSE(v("1.2.0") < v("1.2"));
    EXPECT_FALSE(v("1.2.0") < v("1.2.0-beta"));
    EXPECT_FALSE(v("1.2.0-beta") == v("1.2.0"));
    EXPECT_FALSE(v("1.2.0-beta") < v("1.2.0-beta"));
}

TEST(AppVersion, NumericAwareComparison)
{
    EXPECT_LT(ostry::compareNumericAware(u"beta.2", u"beta.10"), 0);
    EXPECT_EQ(ostry::compareNumericAware(u"rc007", u"rc7"), 0);
    EXPECT_GT(ostry::compareNumericAware(u"b", u"a100"), 0);
    EXPECT_LT(ostry::compareNumericAware(u"a", u"a1"), 0);
    // Digit runs longer than 64 bits still compare as numbers.
    EXPECT_LT(ostry::compareNumericAware(u"x99999999999999999999999", u"x100000000000000000000000"), 0);
}

} // namespace
