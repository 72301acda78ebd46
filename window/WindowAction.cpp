#include "WindowAction.h"

namespace quandrel {

namespace {

struct ActionNames {
    std::string_view raw;
    std::string_view title;
};

constexpr std::array<ActionNames, allWindowActions.size()> actionNames = {{
    {"leftHalf", "Left Half"},
    {"rightHalf", "Right Half"},
    {"topHalf", "Top Half"},
    {"bottomHalf", "Bottom Half"},
    {"topLeft", "Top Left"},
    {"topRight", "Top Right"},
    {"bottomLeft", "Bottom Left"},
    {"bottomRight", "Bottom Right"},
    {"firstThird", "First Third"},
    {"centerThird", "Center Third"},
    {"lastThird", "Last Third"},
    {"firstTwoThirds", "First Two Thirds"},
    {"lastTwoThirds", "Last Two Thirds"},
    {"maximize", "Maximize"},
    {"almostMaximize", "Almost Maximize"},
    {"maximizeHeight", "Maximize Height"},
    {"center", "Center"},
    {"smaller", "Smaller"},
    {"larger", "Larger"},
    {"restore", "Restore"},
    {"nextDisplay", "Next Display"},
    {"previousDisplay", "Previous Display"},
}};

constexpr std::array<ActionNames, allRepeatBehaviors.size()> repeatNames = {{
    {"cycleSizes", "Cycle through ½, ⅔ and ⅓"},
    {"acrossDisplays", "Move to the next display"},
    {"nothing", "Do nothing"},
}};

} // namespace

std::string_view rawName(WindowAction action) { return actionNames[static_cast<std::size_t>(action)].raw; }
std::string_view title(WindowAction action) { return actionNames[static_cast<std::size_t>(action)].title; }

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

std::optional<RepeatBehavior> repeatBehaviorFromRawName(std::string_view raw)
{
    for (const RepeatBehavior behavior : allRepeatBehaviors) {
        if (rawName(behavior) == raw)
            return behavior;
    }
    return std::nullopt;
}

} // namespace quandrel
