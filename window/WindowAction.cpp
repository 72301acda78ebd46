#include "WindowAction.h"

#include <QCoreApplication>

namespace quandrel {

namespace {

struct ActionNames {
    std::string_view raw;
    std::string_view title;
};

constexpr std::array<ActionNames, allWindowActions.size()> actionNames = {{
    {"leftHalf", QT_TRANSLATE_NOOP("WindowAction", "Left Half")},
    {"rightHalf", QT_TRANSLATE_NOOP("WindowAction", "Right Half")},
    {"topHalf", QT_TRANSLATE_NOOP("WindowAction", "Top Half")},
    {"bottomHalf", QT_TRANSLATE_NOOP("WindowAction", "Bottom Half")},
    {"topLeft", QT_TRANSLATE_NOOP("WindowAction", "Top Left")},
    {"topRight", QT_TRANSLATE_NOOP("WindowAction", "Top Right")},
    {"bottomLeft", QT_TRANSLATE_NOOP("WindowAction", "Bottom Left")},
    {"bottomRight", QT_TRANSLATE_NOOP("WindowAction", "Bottom Right")},
    {"firstThird", QT_TRANSLATE_NOOP("WindowAction", "First Third")},
    {"centerThird", QT_TRANSLATE_NOOP("WindowAction", "Center Third")},
    {"lastThird", QT_TRANSLATE_NOOP("WindowAction", "Last Third")},
    {"firstTwoThirds", QT_TRANSLATE_NOOP("WindowAction", "First Two Thirds")},
    {"lastTwoThirds", QT_TRANSLATE_NOOP("WindowAction", "Last Two Thirds")},
    {"maximize", QT_TRANSLATE_NOOP("WindowAction", "Maximize")},
    {"almostMaximize", QT_TRANSLATE_NOOP("WindowAction", "Almost Maximize")},
    {"maximizeHeight", QT_TRANSLATE_NOOP("WindowAction", "Maximize Height")},
    {"center", QT_TRANSLATE_NOOP("WindowAction", "Center")},
    {"smaller", QT_TRANSLATE_NOOP("WindowAction", "Smaller")},
    {"larger", QT_TRANSLATE_NOOP("WindowAction", "Larger")},
    {"restore", QT_TRANSLATE_NOOP("WindowAction", "Restore")},
    {"nextDisplay", QT_TRANSLATE_NOOP("WindowAction", "Next Display")},
    {"previousDisplay", QT_TRANSLATE_NOOP("WindowAction", "Previous Display")},
}};

constexpr std::array<ActionNames, allRepeatBehaviors.size()> repeatNames = {{
    {"cycleSizes", QT_TRANSLATE_NOOP("WindowAction", "Cycle through ½, ⅔ and ⅓")},
    {"acrossDisplays", QT_TRANSLATE_NOOP("WindowAction", "Move to the next display")},
    {"nothing", QT_TRANSLATE_NOOP("WindowAction", "Do nothing")},
}};

} // namespace

std::string_view rawName(WindowAction action) { return actionNames[static_cast<std::size_t>(action)].raw; }
std::string_view title(WindowAction action) { return actionNames[static_cast<std::size_t>(action)].title; }
QString displayTitle(WindowAction action) { return QCoreApplication::translate("WindowAction", title(action).data()); }

std::optional<WindowAction> windowActionFromRawName(std::string_view raw)
{
    for (const WindowAction action : allWindowActions) {
        if (rawName(action) == raw)
            return action;
    }
    return std::nullopt;
}

std::string_view rawName(RepeatBehavior behavior) { return repeatNames[static_cast<std::size_t>(behavior)].raw; }
std::string_view title(RepeatBehavior behavior) { return repeatNames[static_cast<std::size_t>(behavior)].title; }
QString displayTitle(RepeatBehavior behavior) { return QCoreApplication::translate("WindowAction", title(behavior).data()); }

std::optional<RepeatBehavior> repeatBehaviorFromRawName(std::string_view raw)
{
    for (const RepeatBehavior behavior : allRepeatBehaviors) {
        if (rawName(behavior) == raw)
            return behavior;
    }
    return std::nullopt;
}

} // namespace quandrel
