#pragma once

// The content of the settings window's "Updates" section (the window gives it its box and
// title): the two update preferences, when the last check was, and "Check Now"; or, where
// another program updates this copy, who does.

#include <QWidget>

#include <memory>

namespace ostry {

class Updater;

// Widgets named for tests: "automaticallyChecks", "automaticallyInstalls", "lastChecked",
// "checkNow"; for a copy that the package manager or a store updates, only "updatedBy", which
// says so.
std::unique_ptr<QWidget> makeUpdatesSection(Updater& updater, QWidget* parent = nullptr);

// "Never", or the date and time of the last check in the short local format.
QString lastCheckedText(const Updater& updater);

} // namespace ostry
