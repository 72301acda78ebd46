#pragma once

// `quandrel --edit FILE.png…`: opens an editor window for each image file, without the tray,
// until the capture flow opens editors itself. Toasts and pins are written to the log. The
// process ends when the last window has closed and the clipboard holds nothing of its own
// (a copied image is served until another program takes the clipboard).

#include "Display.h"

#include <QStringList>

#include <vector>

namespace quandrel {

// Runs the editors on the application's event loop; answers the process's exit status. The
// windows open on the visible frame of the display under the pointer, among `displays` (the
// session's; none: a fallback frame).
int runDeveloperEditor(const QStringList& files, const std::vector<Display>& displays);

} // namespace quandrel
