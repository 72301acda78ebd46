#pragma once

// Starting Quandrel at login through an XDG autostart entry
// ($XDG_CONFIG_HOME/autostart/quandrel.desktop).

#include <QString>

#include <optional>

namespace quandrel::LoginItem {

QString entryPath();
bool isEnabled();
// Writes or removes the entry; answers an error text when that fails.
std::optional<QString> setEnabled(bool enabled, const QString& executable = {});

} // namespace quandrel::LoginItem
