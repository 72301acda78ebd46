#pragma once

// Runs a function once after a delay, on the main thread: a single-shot QTimer in the
// application (qtScheduler), a queue the test advances in tests. Everything that waits on
// time takes one, so tests control the clock.

#include <functional>

namespace quandrel {

using Scheduler = std::function<void(int milliseconds, std::function<void()> run)>;

// The scheduler of the running application: a single-shot QTimer on the Qt event loop.
Scheduler qtScheduler();

} // namespace quandrel
