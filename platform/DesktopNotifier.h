#pragma once

// Notifications shown by the desktop (org.freedesktop.Notifications on Linux).

#include <QString>

#include <cstdint>

namespace quandrel {

class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    // Shows a notification, replacing the one with the id `replaces` (0: none). Answers its id,
    // or 0 when no notification service runs.
    virtual std::uint32_t notify(const QString& summary, const QString& body, std::uint32_t replaces = 0) = 0;
};

} // namespace quandrel
