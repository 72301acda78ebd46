#pragma once

// The signed inventory of a bundle: every folder and file with its permission bits, every
// file's size and SHA-256, and every symlink's target. The text form is what the bundle's
// signature covers:
//
//   ostry-manifest 1
//   identifier org.example.App
//   version 1.4.2
//   d 0755 usr
//   f 0755 52120 <sha256 hex> usr/bin/app
//   l ../lib/libx.so.1 usr/lib/libx.so
//
// Entries are sorted by path (bytes); paths and targets are percent-encoded so that no
// name can break a line or a field. The two files of Bundle/Signature are not listed.

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace ostry {

struct ManifestEntry {
    enum class Type { directory, file, symlink };

    Type type = Type::file;
    QByteArray path;     // relative to the bundle, "/"-separated, raw bytes
    unsigned mode = 0;   // permission bits (folders and files)
    qint64 size = 0;     // files
    QByteArray sha256;   // files, lower-case hex
    QByteArray target;   // symlinks, raw bytes

    bool operator==(const ManifestEntry&) const = default;
};

struct BundleManifest {
    static constexpr qint64 maxEncodedSize = 32 * 1024 * 1024;

    QString identifier;
    QString version;
    std::vector<ManifestEntry> entries; // sorted by path, no duplicates

    QByteArray encode() const;
    // Nothing (and *error set) when the text is not a well-formed manifest.
    static std::optional<BundleManifest> decode(const QByteArray& text, QString* error = nullptr);

    // Lists the bundle on disk, hashing files on up to `threads` threads. Fails on items a
    // bundle must not hold: devices, sockets and pipes, symlinks that are absolute or lead out
    // of the bundle, and anything (the bundle folder and Bundle/Signature included) that is
    // setuid, setgid, or writable by group or others.
    static std::optional<BundleManifest> scan(const QString& bundlePath, QString* error = nullptr,
                                              int threads = 0);
};

// A sentence naming the first way `actual` differs from `expected` (by path order), or an
// empty text when the entries are identical.
QString describeDifference(const BundleManifest& expected, const BundleManifest& actual);

// True when a symlink at `path` (relative to the root) with `target` resolves inside the root.
bool symlinkStaysInside(const QByteArray& path, const QByteArray& target);

} // namespace ostry
