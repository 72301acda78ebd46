#pragma once

// Notifications shown by the desktop (org.freedesktop.Notifications on Linux).

#include <QString>

#include <cstdint>
#include <functional>

namespace quandrel {

class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    // Shows a notification, replacing the one with the id `replaces` (0: none). Answers its id,
    // or 0 when no notification service runs.
    virtual std::uint32_t notify(const QString& summary, const QString& body, std::uint32_t replaces = 0) = 0;
    // Shows a notification with one action, `actionLabel`; `onConfirm` runs on the main
    // thread when the person chooses it, never otherwise. Answers its id, or 0 when no
    // notification could be shown (then nothing is ever confirmed).
    virtual std::uint32_t ask(const QString& summary, const QString& body, const QString& actionLabel,
                              std::function<void()> onConfirm)
    {
        (void)summary, (void)body, (void)actionLabel, (void)onConfirm;
        return 0;
    }
};

} // namespace quandrel
