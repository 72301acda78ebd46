#pragma once

// The editor's tools, stored and exchanged by their raw names; the declaration order is the
// toolbar's order and the order in which tool keys are matched.

#include "Annotation.h"

#include <array>
#include <optional>
#include <string_view>

namespace quandrel {

enum class EditorTool {
    select,
    arrow,
    line,
    rectangle,
    ellipse,
    pen,
    marker,
    highlight,
    text,
    step,
    pixelate,
    blur,
    crop,
};

inline constexpr std::array allEditorTools = {
    EditorTool::select, EditorTool::arrow,     EditorTool::line, EditorTool::rectangle, EditorTool::ellipse,
    EditorTool::pen,    EditorTool::marker,    EditorTool::highlight, EditorTool::text, EditorTool::step,
    EditorTool::pixelate, EditorTool::blur,    EditorTool::crop,
};

std::string_view rawName(EditorTool tool);
std::string_view title(EditorTool tool);
// The title in the user's language.
QString displayTitle(EditorTool tool);
// The name of the toolbar icon (one SVG per symbol name in the app's icon set).
std::string_view symbolName(EditorTool tool);
// The lower-case letter that selects the tool on the canvas.
char shortcutKey(EditorTool tool);
// The kind a drag with this tool creates (for pen and marker, an empty stroke); none for
// select, text, step and crop.
std::optional<Annotation::Kind> annotationKind(EditorTool tool);
// Whether the tool draws a shape that can be filled (the toolbar's fill toggle applies).
bool takesFill(EditorTool tool);
// Exactly the raw names; anything else (also "Select") gives nothing.
std::optional<EditorTool> editorToolFromRawName(std::string_view raw);

} // namespace quandrel
