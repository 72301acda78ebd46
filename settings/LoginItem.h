#pragma once

// Starting Quandrel at login through an XDG autostart entry
// ($XDG_CONFIG_HOME/autostart/quandrel.desktop), read and written as the Desktop Entry and
// Desktop Application Autostart specifications say.

#include <QByteArray>
#include <QString>

#include <optional>

namespace quandrel::LoginItem {

QString entryPath();
// An entry is on unless its [Desktop Entry] group switches it off: Hidden=true, or
// X-GNOME-Autostart-enabled=false as GNOME's own tools write.
bool isEnabled();
bool isEnabled(const QByteArray& entry);
// Writes or removes the entry; answers an error text when that fails.
std::optional<QString> setEnabled(bool enabled, const QString& executable = {});

// The program as the Exec key holds it: quoted, with `"`, `` ` ``, `$` and `\` escaped
// inside the quotes, `%` doubled, and then the backslashes escaped once more as every string
// value's are.
QByteArray execValue(const QString& program);

} // namespace quandrel::LoginItem
