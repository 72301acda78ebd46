#pragma once

// The one place that knows every backend: opens the desktop of a session. Adding a backend is
// one folder beside x11/ and sway/ and one entry here.

#include "Desktop.h"
#include "SessionBackend.h"

#include <memory>
#include <string>

namespace quandrel {

// The desktop of the running session for `backend`, with the services of Quandrel's own
// windows on the connection Qt uses (so a QGuiApplication must exist). None when the session
// cannot be reached, with the reason in `whyNot`, fit to show the user.
std::unique_ptr<Desktop> openDesktop(SessionBackend backend, std::string* whyNot = nullptr);

} // namespace quandrel
