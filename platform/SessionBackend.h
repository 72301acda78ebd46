#pragma once

namespace quandrel {

// The platform backends a session can have; `none` where Quandrel has none for the session.
enum class SessionBackend { x11, sway, kwin, gnome, none };

} // namespace quandrel
