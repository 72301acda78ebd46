#pragma once

// The content of the settings window's "Updates" section (the window gives it its box and
// title): the two update preferences, when the last check was, and "Check Now".

#include <QWidget>

#include <memory>

namespace ostry {

class Updater;

// Widgets named for tests: "automaticallyChecks", "automaticallyInstalls", "lastChecked",
// "checkNow".
std::unique_ptr<QWidget> makeUpdatesSection(Updater& updater, QWidget* parent = nullptr);

// "Never", or the date and time of the last check in the short local format.
QString lastCheckedText(const Updater& updater);

} // namespace ostry
