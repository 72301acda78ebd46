#include "DistributionGuard.h"

#include <QDir>
#include <QFileInfo>

namespace ostry {

std::optional<DistributionGuard::Reason> DistributionGuard::check(const AppBundle& bundle,
                                                                  const QProcessEnvironment& environment,
                                                                  const QString& systemRoot)
{
    const QString path = QDir::cleanPath(bundle.path());
    const bool systemPrefix = path.startsWith(QLatin1String("/usr/")) && !path.startsWith(QLatin1String("/usr/local/"));
    if (QFileInfo::exists(bundle.file(AppBundle::receiptFile)) || systemPrefix)
        return Reason::packageManager;
    if (QFileInfo::exists(QDir(systemRoot).filePath(QStringLiteral(".flatpak-info")))
        || environment.contains(QStringLiteral("SNAP")))
        return Reason::sandboxed;
    return std::nullopt;
}

} // namespace ostry
