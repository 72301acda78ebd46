#include "EditorTool.h"
#include "StrokeSize.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace quandrel;

namespace {

struct ToolRow {
    EditorTool tool;
    std::string_view raw;
    std::string_view title;
    std::string_view symbol;
    char key;
};

const ToolRow toolTable[] = {
    {EditorTool::select, "select", "Select", "cursorarrow", 'v'},
    {EditorTool::arrow, "arrow", "Arrow", "arrow.up.right", 'a'},
    {EditorTool::line, "line", "Line", "line.diagonal", 'l'},
    {EditorTool::rectangle, "rectangle", "Rectangle", "rectangle", 'r'},
    {EditorTool::ellipse, "ellipse", "Ellipse", "circle", 'o'},
    {EditorTool::pen, "pen", "Pen", "scribble", 'p'},
    {EditorTool::marker, "marker", "Marker", "paintbrush", 'm'},
    {EditorTool::highlight, "highlight", "Highlight", "highlighter", 'h'},
    {EditorTool::text, "text", "Text", "textformat", 't'},
    {EditorTool::step, "step", "Step Number", "1.circle", 'n'},
    {EditorTool::pixelate, "pixelate", "Pixelate", "checkerboard.rectangle", 'b'},
    {EditorTool::blur, "blur", "Blur", "drop.halffull", 'u'},
    {EditorTool::crop, "crop", "Crop", "crop", 'c'},
};

} // namespace

TEST(EditorToolTest, EveryToolHasItsNamesAndKeyInDeclarationOrder)
{
    ASSERT_EQ(allEditorTools.size(), std::size(toolTable));
    for (size_t i = 0; i < allEditorTools.size(); ++i) {
        const ToolRow& row = toolTable[i];
        EXPECT_EQ(allEditorTools[i], row.tool) << i;
        EXPECT_EQ(rawName(row.tool), row.raw);
        EXPECT_EQ(title(row.tool), row.title);
        EXPECT_EQ(symbolName(row.tool), row.symbol);
        EXPECT_EQ(shortcutKey(row.tool), row.key);
    }
}

TEST(EditorToolTest, KeysAreDistinctLowerCaseLetters)
{
    std::set<char> keys;
    for (const EditorTool tool : allEditorTools) {
        EXPECT_TRUE(shortcutKey(tool) >= 'a' && shortcutKey(tool) <= 'z');
        keys.insert(shortcutKey(tool));
    }
    EXPECT_EQ(keys.size(), allEditorTools.size());
}

TEST(EditorToolTest, RawNamesRoundTrip)
{
    for (const EditorTool tool : allEditorTools)
        EXPECT_EQ(editorToolFromRawName(rawName(tool)), tool);
}

TEST(EditorToolTest, ParsingAcceptsExactlyTheRawNames)
{
    for (const std::string raw : {"Select", "ARROW", "", " arrow", "arrow ", "step number", "Step Number", "Blur",
                                  "cursorarrow", "v", "rect"})
        EXPECT_EQ(editorToolFromRawName(raw), std::nullopt) << '"' << raw << '"';
}

TEST(EditorToolTest, OnlyTheDragToolsCreateAKind)
{
    using Kind = Annotation::Kind;
    EXPECT_EQ(annotationKind(EditorTool::arrow), Kind::arrow());
    EXPECT_EQ(annotationKind(EditorTool::line), Kind::line());
    EXPECT_EQ(annotationKind(EditorTool::rectangle), Kind::rectangle());
    EXPECT_EQ(annotationKind(EditorTool::ellipse), Kind::ellipse());
    EXPECT_EQ(annotationKind(EditorTool::highlight), Kind::highlight());
    EXPECT_EQ(annotationKind(EditorTool::pixelate), Kind::pixelate());
    EXPECT_EQ(annotationKind(EditorTool::blur), Kind::blur());
    EXPECT_EQ(annotationKind(EditorTool::pen), Kind::pen({}));
    EXPECT_EQ(annotationKind(EditorTool::marker), Kind::marker({}));
    for (const EditorTool tool : {EditorTool::select, EditorTool::text, EditorTool::step, EditorTool::crop})
        EXPECT_EQ(annotationKind(tool), std::nullopt) << rawName(tool);
}

TEST(StrokeSizeTest, RawValuesLabelsAndParsing)
{
    ASSERT_EQ(allStrokeSizes.size(), 3u);
    EXPECT_EQ(rawValue(StrokeSize::small), 2);
    EXPECT_EQ(rawValue(StrokeSize::medium), 4);
    EXPECT_EQ(rawValue(StrokeSize::large), 8);
    EXPECT_EQ(label(StrokeSize::small), "Thin");
    EXPECT_EQ(label(StrokeSize::medium), "Medium");
    EXPECT_EQ(label(StrokeSize::large), "Thick");
    for (const StrokeSize size : allStrokeSizes)
        EXPECT_EQ(strokeSizeFromRawValue(rawValue(size)), size);
    for (const double other : {0.0, 1.0, 3.0, 4.000001, 6.0, 16.0, -2.0})
        EXPECT_EQ(strokeSizeFromRawValue(other), std::nullopt) << other;
}
