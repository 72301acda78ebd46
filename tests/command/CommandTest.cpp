#include "Command.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace quandrel;

namespace {
std::optional<Command> parse(const char* url) { return parseCommandURL(QUrl(QString::fromUtf8(url))); }

template <typename T>
T as(const char* url)
{
    const auto command = parse(url);
    EXPECT_TRUE(command && std::holds_alternative<T>(*command)) << url;
    return command && std::holds_alternative<T>(*command) ? std::get<T>(*command) : T{};
}
} // namespace

TEST(CommandURL, WindowActionsIgnoreCase)
{
    EXPECT_EQ(parse("quandrel://window/leftHalf"), Command{WindowCommand{WindowAction::leftHalf}});
    EXPECT_EQ(as<WindowCommand>("quandrel://window/LEFTHALF").action, WindowAction::leftHalf);
    EXPECT_EQ(as<WindowCommand>("QUANDREL://Window/previousdisplay").action, WindowAction::previousDisplay);
    EXPECT_EQ(as<WindowCommand>("quandrel://window/lastTwoThirds/extra?x=1").action, WindowAction::lastTwoThirds);
    for (const char* bad : {"quandrel://window/sideways", "quandrel://window/", "quandrel://window", "quandrel://window//leftHalf",
                            "quandrel:window/leftHalf", "https://window/leftHalf", "quandrel:///leftHalf", "quandrel://desk/leftHalf"})
        EXPECT_EQ(parse(bad), std::nullopt) << bad;
}

TEST(CommandURL, CaptureThenVocabulary)
{
    EXPECT_EQ(parse("quandrel://capture/fullscreen?then=save"), Command{(CaptureCommand{CaptureMode::fullScreen, AfterCapture::save})});
    EXPECT_EQ(as<CaptureCommand>("quandrel://capture/area?then=EDIT").then, AfterCapture::openEditor);
    EXPECT_EQ(as<CaptureCommand>("quandrel://capture/area?then=editor").then, AfterCapture::openEditor);
    EXPECT_EQ(as<CaptureCommand>("quandrel://capture/area?then=thumbnail").then, AfterCapture::copyAndThumbnail);
    EXPECT_EQ(as<CaptureCommand>("quandrel://capture/area?then=copy").then, AfterCapture::copyOnly);
    EXPECT_EQ(as<CaptureCommand>("quandrel://capture/area?then=pin").then, AfterCapture::pin);
    // Raw names are not the vocabulary, and unknown or empty values are no override.
    EXPECT_FALSE(as<CaptureCommand>("quandrel://capture/area?then=openEditor").then);
    EXPECT_FALSE(as<CaptureCommand>("quandrel://capture/area?then").then);
    EXPECT_FALSE(as<CaptureCommand>("quandrel://capture/area?Then=save").then);
    // The first "then" counts.
    EXPECT_EQ(as<CaptureCommand>("quandrel://capture/area?x=1&then=pin&then=save").then, AfterCapture::pin);
    EXPECT_EQ(as<CaptureCommand>("quandrel://capture/repeatarea").mode, CaptureMode::repeatArea);
    EXPECT_EQ(as<CaptureCommand>("quandrel://capture/allDisplays").mode, CaptureMode::allDisplays);
    EXPECT_EQ(parse("quandrel://capture/screen"), std::nullopt);
    // A delay in whole seconds, held to 10; anything else is none. The command's own URL
    // names the same command.
    for (const auto& [query, seconds] : std::vector<std::pair<const char*, int>>{
             {"delay=5", 5}, {"delay=30", 10}, {"delay=0", 0}, {"delay=-2", 0}, {"delay=soon", 0}, {"delay=2.5", 0}, {"then=save&delay=1", 1}}) {
        const CaptureCommand command = as<CaptureCommand>((std::string("quandrel://capture/fullScreen?") + query).c_str());
        EXPECT_EQ(command.delaySeconds, seconds) << query;
        EXPECT_EQ(parseCommandURL(QUrl(commandURL(command))), Command{command}) << query;
    }
}

TEST(CommandURL, AppSettingsAndPins)
{
    EXPECT_EQ(parse("quandrel://app/org.gnome.TextEditor"), Command{AppCommand{"org.gnome.TextEditor"}});
    EXPECT_EQ(parse("quandrel://app/"), std::nullopt);
    EXPECT_EQ(parse("quandrel://app"), std::nullopt);
    EXPECT_EQ(as<AppCommand>("quandrel://app/%2E%2E%2Fsecret").desktopId, ".."); // decoded; no desktop entry has that ID
    EXPECT_EQ(parse("quandrel://settings"), Command{OpenSettingsCommand{}});
    EXPECT_EQ(parse("quandrel://settings/anything"), Command{OpenSettingsCommand{}});
    EXPECT_EQ(parse("quandrel://pins/CLOSE"), Command{ClosePinsCommand{}});
    EXPECT_EQ(parse("quandrel://pins/open"), std::nullopt);
    EXPECT_EQ(parse("quandrel://pins"), std::nullopt);
    EXPECT_EQ(parse("quandrel://QUIT"), Command{QuitCommand{}});
}

TEST(Command, DescriptionsNameTheCommand)
{
    EXPECT_EQ(describe(WindowCommand{WindowAction::leftHalf}), "window(leftHalf)");
    EXPECT_EQ(describe(CaptureCommand{CaptureMode::repeatArea, AfterCapture::pin}), "capture(repeatArea)");
    EXPECT_EQ(describe(AppCommand{"xterm"}), "app(xterm)");
    EXPECT_EQ(describe(OpenSettingsCommand{}), "settings");
    EXPECT_EQ(describe(ClosePinsCommand{}), "pins(close)");
    EXPECT_EQ(describe(QuitCommand{}), "quit");
}

// The manual page and the shell completion name every command URL there is.
TEST(CommandURL, TheManualPageAndTheCompletionNameEveryCommand)
{
    std::vector<Command> commands{OpenSettingsCommand{}, ClosePinsCommand{}, QuitCommand{}};
    for (const WindowAction a : allWindowActions)
        commands.emplace_back(WindowCommand{a});
    for (const CaptureMode m : allCaptureModes)
        commands.emplace_back(CaptureCommand{m, std::nullopt});
    for (const char* name : {"packaging/quandrel.1", "packaging/completions/quandrel.bash"}) {
        QFile file(QStringLiteral(QUANDREL_SOURCE_DIR "/") + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        // The page escapes its hyphens; a name may stand alone, after the host.
        const QString text = QString::fromUtf8(file.readAll()).remove(QLatin1Char('\\'));
        for (const Command& command : commands) {
            const QString url = commandURL(command);
            const QString last = url.section(QLatin1Char('/'), -1);
            EXPECT_TRUE(text.contains(url) || text.contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(last)))) << name << ": " << url.toStdString();
        }
    }
}
