#pragma once

// The window commands and what a repeated press does. Both are stored and exchanged by their
// raw names, which equal the case names; the declaration order is the iteration order.

#include <QString>

#include <array>
#include <optional>
#include <string_view>

namespace quandrel {

enum class WindowAction {
    leftHalf,
    rightHalf,
    topHalf,
    bottomHalf,
    topLeft,
    topRight,
    bottomLeft,
    bottomRight,
    firstThird,
    centerThird,
    lastThird,
    firstTwoThirds,
    lastTwoThirds,
    maximize,
    almostMaximize,
    maximizeHeight,
    center,
    smaller,
    larger,
    restore,
    nextDisplay,
    previousDisplay,
};

inline constexpr std::array allWindowActions = {
    WindowAction::leftHalf,       WindowAction::rightHalf,     WindowAction::topHalf,
    WindowAction::bottomHalf,     WindowAction::topLeft,       WindowAction::topRight,
    WindowAction::bottomLeft,     WindowAction::bottomRight,   WindowAction::firstThird,
    WindowAction::centerThird,    WindowAction::lastThird,     WindowAction::firstTwoThirds,
    WindowAction::lastTwoThirds,  WindowAction::maximize,      WindowAction::almostMaximize,
    WindowAction::maximizeHeight, WindowAction::center,        WindowAction::smaller,
    WindowAction::larger,         WindowAction::restore,       WindowAction::nextDisplay,
    WindowAction::previousDisplay,
};

std::string_view rawName(WindowAction action);
std::string_view title(WindowAction action);
// The title in the user's language.
QString displayTitle(WindowAction action);
std::optional<WindowAction> windowActionFromRawName(std::string_view raw);

enum class RepeatBehavior {
    cycleSizes,
    acrossDisplays,
    nothing,
};

inline constexpr std::array allRepeatBehaviors = {
    RepeatBehavior::cycleSizes,
    RepeatBehavior::acrossDisplays,
    RepeatBehavior::nothing,
};

std::string_view rawName(RepeatBehavior behavior);
std::string_view title(RepeatBehavior behavior);
QString displayTitle(RepeatBehavior behavior);
std::optional<RepeatBehavior> repeatBehaviorFromRawName(std::string_view raw);

} // namespace quandrel
