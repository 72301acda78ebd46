#pragma once

// Decides whether this installation may replace itself: copies installed by the system's
// package manager are updated by it, and sandboxed copies (Flatpak, Snap) by their store.

#include "AppBundle.h"

#include <QProcessEnvironment>

#include <optional>

namespace ostry {

class DistributionGuard {
public:
    enum class Reason {
        packageManager, // Bundle/package-receipt exists, or the bundle lies under /usr
        sandboxed,      // /.flatpak-info exists or $SNAP is set
    };

    // `systemRoot` is "/" except in tests.
    static std::optional<Reason> check(const AppBundle& bundle, const QProcessEnvironment& environment,
                                       const QString& systemRoot = QStringLiteral("/"));
};

} // namespace ostry
