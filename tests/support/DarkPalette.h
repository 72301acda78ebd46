#pragma once

// The dark palette the picture-check programs show their windows in with --dark: the one
// Quandrel itself takes for a desktop that prefers dark colours.

#include "../../ui/DarkPalette.h"

namespace quandrel::test {

using ui::darkPalette;

} // namespace quandrel::test
