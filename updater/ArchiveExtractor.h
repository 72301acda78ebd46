#pragma once

// Unpacks an update archive (zip) with libarchive's secure-extraction flags, and refuses on
// its own what those flags let through: hard links, symlinks leading out of the destination,
// setuid/setgid bits, devices and pipes, and archives past a size or entry-count cap.

#include <QString>

namespace ostry {

struct ExtractionLimits {
    qint64 maxTotalBytes = qint64(2) * 1024 * 1024 * 1024;
    qint64 maxEntries = 100000;
};

// Unpacks the archive open as `archiveFd` (read from its start) into `destination`, which must
// exist and be empty. The descriptor stays open. Throws DownloadError::badArchive naming the
// first offending entry; what was unpacked so far stays for the caller to remove.
void extractZip(int archiveFd, const QString& destination, const ExtractionLimits& limits = {});

} // namespace ostry
