#pragma once

#include "DesktopNotifier.h"

namespace quandrel {

// org.freedesktop.Notifications on the session bus. Without a bus or a notification service
// nothing is shown and nothing fails.
class FreedesktopNotifier final : public DesktopNotifier {
public:
    std::uint32_t notify(const QString& summary, const QString& body, std::uint32_t replaces = 0) override;
};

} // namespace quandrel
