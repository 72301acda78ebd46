#include "Scheduler.h"

#include <QTimer>

namespace quandrel {

Scheduler qtScheduler()
{
    return [](int ms, std::function<void()> run) { QTimer::singleShot(ms, std::move(run)); };
}

} // namespace quandrel
