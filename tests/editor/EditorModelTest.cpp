// The editor's small value types: colours, tools and stroke sizes.

#include "EditorTool.h"
#include "RGBA.h"
#include "StrokeSize.h"

#include <gtest/gtest.h>

#include <unordered_set>

using namespace quandrel;

TEST(RGBATest, ConvertsEveryColourModelToClampedSRGB)
{
    EXPECT_EQ(RGBA::fromColor(QColor(0, 0, 255, 0)), (RGBA{0, 0, 1, 0}));
    const RGBA green = RGBA::fromColor(QColor::fromHsvF(1.0f / 3, 1, 1));
    const RGBA cyan = RGBA::fromColor(QColor::fromCmykF(1, 0, 0, 0));
    for (const auto& [actual, expected] : {std::pair{green, RGBA{0, 1, 0, 1}}, std::pair{cyan, RGBA{0, 1, 1, 1}}}) {
        EXPECT_NEAR(actual.red, expected.red, 1e-4);
        EXPECT_NEAR(actual.green, expected.green, 1e-4);
        EXPECT_NEAR(actual.blue, expected.blue, 1e-4);
    }
    const RGBA clamped = RGBA::fromColor(QColor::fromRgbF(1.5f, -0.25f, 0.5f, 1.0f));
    EXPECT_TRUE(clamped.red <= 1.0 && clamped.green >= 0.0);
    // A colour without an sRGB form gives the system red.
    EXPECT_EQ(RGBA::fromColor(QColor()), systemRed);
    for (const RGBA& swatch : editorPalette)
        EXPECT_EQ(swatch.toColor().green(), qRound(swatch.green * 255));
    EXPECT_EQ(RGBA::fromColor(RGBA{1, 0, 1, 1}.toColor()), (RGBA{1, 0, 1, 1}));
    EXPECT_NE(systemRed, (RGBA{1.0, 0.23 + 1e-12, 0.19, 1.0}));
    EXPECT_EQ(std::unordered_set<RGBA>(editorPalette.begin(), editorPalette.end()).size(), 7u);
    EXPECT_NEAR((RGBA{1.0, 0.84, 0.04, 1.0}).luminance(), 0.79664, 1e-9);
}

TEST(EditorToolTest, NamesKeysAndKinds)
{
    using Kind = Annotation::Kind;
    const struct {
        EditorTool tool;
        std::string_view raw, title;
        char key;
        std::optional<Kind> kind;
    } rows[] = {
        {EditorTool::select, "select", "Select", 'v', {}},
        {EditorTool::arrow, "arrow", "Arrow", 'a', Kind::arrow()},
        {EditorTool::line, "line", "Line", 'l', Kind::line()},
        {EditorTool::rectangle, "rectangle", "Rectangle", 'r', Kind::rectangle()},
        {EditorTool::ellipse, "ellipse", "Ellipse", 'o', Kind::ellipse()},
        {EditorTool::pen, "pen", "Pen", 'p', Kind::pen({})},
        {EditorTool::marker, "marker", "Marker", 'm', Kind::marker({})},
        {EditorTool::highlight, "highlight", "Highlight", 'h', Kind::highlight()},
        {EditorTool::text, "text", "Text", 't', {}},
        {EditorTool::step, "step", "Step Number", 'n', {}},
        {EditorTool::pixelate, "pixelate", "Pixelate", 'b', Kind::pixelate()},
        {EditorTool::blur, "blur", "Blur", 'u', Kind::blur()},
        {EditorTool::crop, "crop", "Crop", 'c', {}},
    };
    ASSERT_EQ(allEditorTools.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].raw);
        EXPECT_EQ(allEditorTools[i], rows[i].tool);
        EXPECT_EQ(rawName(rows[i].tool), rows[i].raw);
        EXPECT_EQ(title(rows[i].tool), rows[i].title);
        EXPECT_EQ(shortcutKey(rows[i].tool), rows[i].key);
        EXPECT_EQ(annotationKind(rows[i].tool), rows[i].kind);
        EXPECT_EQ(editorToolFromRawName(rows[i].raw), rows[i].tool);
    }
    for (const std::string raw : {"Select", "ARROW", "", " arrow", "step number", "cursorarrow", "v"})
        EXPECT_EQ(editorToolFromRawName(raw), std::nullopt) << '"' << raw << '"';
}

TEST(StrokeSizeTest, RawValuesLabelsAndParsing)
{
    const std::tuple<StrokeSize, double, std::string_view> rows[] = {
        {StrokeSize::small, 2, "Thin"}, {StrokeSize::medium, 4, "Medium"}, {StrokeSize::large, 8, "Thick"}};
    ASSERT_EQ(allStrokeSizes.size(), std::size(rows));
    for (const auto& [size, raw, text] : rows) {
        EXPECT_EQ(rawValue(size), raw);
        EXPECT_EQ(label(size), text);
        EXPECT_EQ(strokeSizeFromRawValue(raw), size);
    }
    for (const double other : {0.0, 3.0, 4.000001, 16.0, -2.0})
        EXPECT_EQ(strokeSizeFromRawValue(other), std::nullopt) << other;
}
