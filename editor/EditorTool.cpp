#include "EditorTool.h"

#include <QCoreApplication>

namespace quandrel {

namespace {

struct ToolInfo {
    std::string_view rawName;
    std::string_view title;
    std::string_view symbolName;
    char key;
};

ToolInfo info(EditorTool tool)
{
    switch (tool) {
    case EditorTool::select: return {"select", QT_TRANSLATE_NOOP("EditorTool", "Select"), "cursorarrow", 'v'};
    case EditorTool::arrow: return {"arrow", QT_TRANSLATE_NOOP("EditorTool", "Arrow"), "arrow.up.right", 'a'};
    case EditorTool::line: return {"line", QT_TRANSLATE_NOOP("EditorTool", "Line"), "line.diagonal", 'l'};
    case EditorTool::rectangle: return {"rectangle", QT_TRANSLATE_NOOP("EditorTool", "Rectangle"), "rectangle", 'r'};
    case EditorTool::ellipse: return {"ellipse", QT_TRANSLATE_NOOP("EditorTool", "Ellipse"), "circle", 'o'};
    case EditorTool::pen: return {"pen", QT_TRANSLATE_NOOP("EditorTool", "Pen"), "scribble", 'p'};
    case EditorTool::marker: return {"marker", QT_TRANSLATE_NOOP("EditorTool", "Marker"), "paintbrush", 'm'};
    case EditorTool::highlight: return {"highlight", QT_TRANSLATE_NOOP("EditorTool", "Highlight"), "highlighter", 'h'};
    case EditorTool::text: return {"text", QT_TRANSLATE_NOOP("EditorTool", "Text"), "textformat", 't'};
    case EditorTool::step: return {"step", QT_TRANSLATE_NOOP("EditorTool", "Step Number"), "1.circle", 'n'};
    case EditorTool::pixelate: return {"pixelate", QT_TRANSLATE_NOOP("EditorTool", "Pixelate"), "checkerboard.rectangle", 'b'};
    case EditorTool::blur: return {"blur", QT_TRANSLATE_NOOP("EditorTool", "Blur"), "drop.halffull", 'u'};
    case EditorTool::crop: return {"crop", QT_TRANSLATE_NOOP("EditorTool", "Crop"), "crop", 'c'};
    }
    Q_UNREACHABLE();
}

} // namespace

std::string_view rawName(EditorTool tool) { return info(tool).rawName; }
std::string_view title(EditorTool tool) { return info(tool).title; }
QString displayTitle(EditorTool tool) { return QCoreApplication::translate("EditorTool", title(tool).data()); }
std::string_view symbolName(EditorTool tool) { return info(tool).symbolName; }
char shortcutKey(EditorTool tool) { return info(tool).key; }

std::optional<Annotation::Kind> annotationKind(EditorTool tool)
{
    switch (tool) {
    case EditorTool::arrow: return Annotation::Kind::arrow();
    case EditorTool::line: return Annotation::Kind::line();
    case EditorTool::rectangle: return Annotation::Kind::rectangle();
    case EditorTool::ellipse: return Annotation::Kind::ellipse();
    case EditorTool::highlight: return Annotation::Kind::highlight();
    case EditorTool::pixelate: return Annotation::Kind::pixelate();
    case EditorTool::blur: return Annotation::Kind::blur();
    case EditorTool::pen: return Annotation::Kind::pen({});
    case EditorTool::marker: return Annotation::Kind::marker({});
    case EditorTool::select:
    case EditorTool::text:
    case EditorTool::step:
    case EditorTool::crop: return std::nullopt;
    }
    Q_UNREACHABLE();
}

bool takesFill(EditorTool tool) { return tool == EditorTool::rectangle || tool == EditorTool::ellipse; }

std::optional<EditorTool> editorToolFromRawName(std::string_view raw)
{
    for (const EditorTool tool : allEditorTools) {
        if (rawName(tool) == raw)
            return tool;
    }
    return std::nullopt;
}

} // namespace quandrel
