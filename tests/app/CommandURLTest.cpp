#include "CommandURL.h"

#include <gtest/gtest.h>

using namespace quandrel;

namespace {
Command parse(const char* url) { return parseCommandURL(QUrl(QString::fromUtf8(url))); }
} // namespace

TEST(CommandURL, WindowActionsIgnoreCase)
{
    EXPECT_EQ(parse("quandrel://window/leftHalf").kind, Command::Kind::window);
    EXPECT_EQ(parse("quandrel://window/LEFTHALF").windowAction, WindowAction::leftHalf);
    EXPECT_EQ(parse("QUANDREL://Window/previousdisplay").windowAction, WindowAction::previousDisplay);
    EXPECT_EQ(parse("quandrel://window/lastTwoThirds/extra?x=1").windowAction, WindowAction::lastTwoThirds);
    for (const char* bad : {"quandrel://window/sideways", "quandrel://window/", "quandrel://window", "quandrel://window//leftHalf",
                            "quandrel:window/leftHalf", "https://window/leftHalf", "quandrel:///leftHalf", "quandrel://desk/leftHalf"})
        EXPECT_EQ(parse(bad).kind, Command::Kind::invalid) << bad;
}

TEST(CommandURL, CaptureThenVocabulary)
{
    const Command c = parse("quandrel://capture/fullscreen?then=save");
    EXPECT_EQ(c.kind, Command::Kind::capture);
    EXPECT_EQ(c.captureMode, CaptureMode::fullScreen);
    EXPECT_EQ(c.then, AfterCapture::save);
    EXPECT_EQ(parse("quandrel://capture/area?then=EDIT").then, AfterCapture::openEditor);
    EXPECT_EQ(parse("quandrel://capture/area?then=editor").then, AfterCapture::openEditor);
    EXPECT_EQ(parse("quandrel://capture/area?then=thumbnail").then, AfterCapture::copyAndThumbnail);
    EXPECT_EQ(parse("quandrel://capture/area?then=copy").then, AfterCapture::copyOnly);
    EXPECT_EQ(parse("quandrel://capture/area?then=pin").then, AfterCapture::pin);
    // Raw names are not the vocabulary, and unknown or empty values are no override.
    const Command openEditor = parse("quandrel://capture/area?then=openEditor");
    EXPECT_EQ(openEditor.kind, Command::Kind::capture);
    EXPECT_FALSE(openEditor.then);
    EXPECT_FALSE(parse("quandrel://capture/area?then").then);
    EXPECT_FALSE(parse("quandrel://capture/area?Then=save").then);
    // The first "then" counts.
    EXPECT_EQ(parse("quandrel://capture/area?x=1&then=pin&then=save").then, AfterCapture::pin);
    EXPECT_EQ(parse("quandrel://capture/repeatarea").captureMode, CaptureMode::repeatArea);
    EXPECT_EQ(parse("quandrel://capture/screen").kind, Command::Kind::invalid);
}

TEST(CommandURL, AppSettingsAndPins)
{
    const Command app = parse("quandrel://app/org.gnome.TextEditor");
    EXPECT_EQ(app.kind, Command::Kind::app);
    EXPECT_EQ(app.desktopId, "org.gnome.TextEditor");
    EXPECT_EQ(parse("quandrel://app/").kind, Command::Kind::invalid);
    EXPECT_EQ(parse("quandrel://app").kind, Command::Kind::invalid);
    EXPECT_EQ(parse("quandrel://app/%2E%2E%2Fsecret").desktopId, ".."); // decoded; no desktop entry has that ID
    EXPECT_EQ(parse("quandrel://settings").kind, Command::Kind::settings);
    EXPECT_EQ(parse("quandrel://settings/anything").kind, Command::Kind::settings);
    EXPECT_EQ(parse("quandrel://pins/CLOSE").kind, Command::Kind::closePins);
    EXPECT_EQ(parse("quandrel://pins/open").kind, Command::Kind::invalid);
    EXPECT_EQ(parse("quandrel://pins").kind, Command::Kind::invalid);
}
