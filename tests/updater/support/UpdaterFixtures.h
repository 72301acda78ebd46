#pragma once

// Test keys, signed bundles, release archives and hand-made hostile archives.

#include "Minisign.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <ostream>

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace ostry::test {

inline const QString testIdentifier = QStringLiteral("org.quandrel.Quandrel.test");

struct TestKeys {
    minisign::SecretKey secret;
    QByteArray publicKeyText;
};

// A fresh key pair; the tests never use a key of the real release.
TestKeys makeKeys();

struct BundleSpec {
    QString version;
    const TestKeys* embeddedKey = nullptr; // the key the bundle trusts for its own updates
    const TestKeys* signingKey = nullptr;  // signs the bundle; none leaves it unsigned
    QString identifier = testIdentifier;
    QString name = QStringLiteral("Quandrel");
};

// Creates `<parent>/<name>.AppDir`: AppRun, a desktop entry, usr/bin/quandrel (a script that
// prints the version), usr/lib/libdemo.so.1 with a symlink libdemo.so, usr/share/doc/README.
QString makeBundle(const QString& parent, const BundleSpec& spec);

// Writes the manifest and signature again for the bundle as it is now.
void signAgain(const QString& bundlePath, const TestKeys& keys);

struct ZipItem {
    enum class Kind { file, directory, symlink, hardlink };
    QByteArray name;
    Kind kind = Kind::file;
    unsigned mode = 0644;
    QByteArray data = {};
    QByteArray link = {}; // symlink target or hard link source
};

// Writes a zip with exactly these entries, names unchecked.
void writeRawZip(const QString& path, const QList<ZipItem>& items);

// Signs an archive as the release tool does.
void signArchive(const QString& zipPath, const TestKeys& keys, const QString& fileName, const QString& version);

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& data);

} // namespace ostry::test
