// Bounded random-input runs of the two decoders that take outside input: the settings
// document and command URLs. They must neither crash nor hang, and what the settings
// decoder accepts must survive a round trip.

#include "Command.h"
#include "QuandrelSettings.h"

#include <gtest/gtest.h>

#include <random>

using namespace quandrel;

namespace {

// Mutates a valid input: byte flips, insertions of structural characters, truncation.
QByteArray mutate(QByteArray input, std::mt19937& rng)
{
    static const char alphabet[] = "{}[]\":,0123456789-.eE truefalsnul\\/%?=&#";
    std::uniform_int_distribution<int> ops(1, 6);
    const int n = ops(rng);
    for (int i = 0; i < n && !input.isEmpty(); ++i) {
        std::uniform_int_distribution<qsizetype> at(0, input.size() - 1);
        switch (rng() % 4) {
        case 0:
            input[at(rng)] = char(rng() % 256);
            break;
        case 1:
            input.insert(at(rng), alphabet[rng() % (sizeof alphabet - 1)]);
            break;
        case 2:
            input.remove(at(rng), 1 + qsizetype(rng() % 8));
            break;
        default:
            input.truncate(at(rng));
            break;
        }
    }
    return input;
}

} // namespace

TEST(RandomInput, SettingsDecoderNeverCrashesAndRoundTrips)
{
    std::mt19937 rng(20261206);
    QuandrelSettings rich;
    rich.appBindings.push_back({"org.example.A", "A", Shortcut{1, 0x100}, FrontmostBehavior::cycleWindows});
    rich.saveFolderBookmark = QByteArray("/tmp/shots");
    rich.gap = 12.5;
    const QByteArray seeds[] = {encodeSettings(rich), encodeSettings({}), QByteArray("{}")};
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        const QByteArray input = mutate(seeds[i % 3], rng);
        if (const auto decoded = decodeSettings(input)) {
            ++accepted;
            EXPECT_EQ(decodeSettings(encodeSettings(*decoded)), decoded);
        }
    }
    EXPECT_GT(accepted, 0);
}

TEST(RandomInput, URLParserNeverCrashes)
{
    std::mt19937 rng(7);
    const QByteArray seeds[] = {"quandrel://window/leftHalf", "quandrel://capture/area?then=editor", "quandrel://app/org.x.Y",
                                "quandrel://pins/close", "quandrel://settings"};
    int valid = 0;
    for (int i = 0; i < 20000; ++i) {
        const QByteArray input = mutate(seeds[i % 5], rng);
        const auto c = parseCommandURL(QUrl(QString::fromLatin1(input)));
        valid += c.has_value();
        if (const auto* app = c ? std::get_if<AppCommand>(&*c) : nullptr) {
            EXPECT_FALSE(app->desktopId.empty());
        }
    }
    EXPECT_GT(valid, 0);
}
