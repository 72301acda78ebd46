#pragma once

// The shortcuts of the settings as lines of text, for `quandrel --help`: each shortcut named as
// everywhere else, then what it does, in the order of the tray menu.

#include "QuandrelSettings.h"

#include <QString>

namespace quandrel {

class KeyboardLayout;

QString shortcutListText(const QuandrelSettings& settings, const KeyboardLayout* layout);

} // namespace quandrel
