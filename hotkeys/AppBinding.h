#pragma once

// A shortcut that opens an application, brings it to the front, or (when it is already in
// front) hides it or cycles its windows.

#include "Shortcut.h"

#include <QJsonObject>

#include <array>
#include <optional>
#include <string>
#include <vector>
#include <string_view>

namespace quandrel {

enum class FrontmostBehavior {
    hide,
    cycleWindows,
    nothing,
};

inline constexpr std::array allFrontmostBehaviors = {FrontmostBehavior::hide, FrontmostBehavior::cycleWindows, FrontmostBehavior::nothing};

std::string_view rawName(FrontmostBehavior behavior);
std::string_view label(FrontmostBehavior behavior);
// The label in the user's language.
QString displayLabel(FrontmostBehavior behavior);
std::optional<FrontmostBehavior> frontmostBehaviorFromRawName(std::string_view raw);

struct AppBinding {
    std::string desktopId; // the desktop-entry ID
    std::string name;
    std::optional<Shortcut> shortcut;
    FrontmostBehavior whenFrontmost = FrontmostBehavior::hide;
    bool operator==(const AppBinding&) const = default;
};

// The binding for an application among `bindings`; none when it has none.
const AppBinding* findAppBinding(const std::vector<AppBinding>& bindings, const std::string& desktopId);

// {"bundleID", "name", "shortcut" (left out when absent), "whenFrontmost"}; decoding fails
// when a required member is missing or malformed.
QJsonObject toJson(const AppBinding& binding);
std::optional<AppBinding> appBindingFromJson(const QJsonValue& value);

} // namespace quandrel
