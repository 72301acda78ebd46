#include "UpdaterFixtures.h"

#include "ReleaseBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <stdexcept>

namespace ostry::test {

TestKeys makeKeys()
{
    TestKeys keys;
    keys.secret = minisign::generateSecretKey();
    keys.publicKeyText = minisign::encodePublicKey(keys.secret.publicKey());
    return keys;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("can't read " + path.toStdString());
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        throw std::runtime_error("can't write " + path.toStdString());
}

QString makeBundle(const QString& parent, const BundleSpec& spec)
{
    const QString sources = parent + QLatin1String("/.sources-") + spec.version;
    const QString script = sources + QLatin1String("/quandrel");
    writeFile(script, "#!/bin/sh\necho " + spec.version.toUtf8() + "\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    const QString library = sources + QLatin1String("/libdemo");
    writeFile(library, QByteArray(3000, 'x') + spec.version.toUtf8());
    const QString readme = sources + QLatin1String("/readme");
    writeFile(readme, "Test bundle " + spec.version.toUtf8() + "\n");

    release::BundleOptions options;
    options.output = parent + QLatin1Char('/') + spec.name + QLatin1String(".AppDir");
    options.executable = script;
    options.name = spec.name;
    options.identifier = spec.identifier;
    options.version = spec.version;
    options.publicKey = spec.embeddedKey ? spec.embeddedKey->publicKeyText : makeKeys().publicKeyText;
    options.extraFiles = {library + QLatin1String("=usr/lib/libdemo.so.1"),
                          readme + QLatin1String("=usr/share/doc/README")};
    QString error;
    if (!release::buildBundle(options, &error))
        throw std::runtime_error(error.toStdString());
    QDir(sources).removeRecursively();
    QFile::link(QStringLiteral("libdemo.so.1"), options.output + QLatin1String("/usr/lib/libdemo.so"));
    if (spec.signingKey)
        signAgain(options.output, *spec.signingKey);
    return options.output;
}

void signAgain(const QString& bundlePath, const TestKeys& keys)
{
    QString error;
    if (!release::signBundle(bundlePath, keys.secret, &error))
        throw std::runtime_error(error.toStdString());
}

void writeRawZip(const QString& path, const QList<ZipItem>& items)
{
    archive* zip = archive_write_new();
    archive_write_set_format_zip(zip);
    archive_write_open_filename(zip, QFile::encodeName(path).constData());
    for (const ZipItem& item : items) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, item.name.constData());
        archive_entry_set_perm(entry, item.mode);
        switch (item.kind) {
        case ZipItem::Kind::file:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, item.data.size());
            break;
        case ZipItem::Kind::directory:
            archive_entry_set_filetype(entry, AE_IFDIR);
            break;
        case ZipItem::Kind::symlink:
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, item.link.constData());
            break;
        case ZipItem::Kind::hardlink:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_hardlink(entry, item.link.constData());
            break;
        }
        archive_write_header(zip, entry);
        if (item.kind == ZipItem::Kind::file && !item.data.isEmpty())
            archive_write_data(zip, item.data.constData(), std::size_t(item.data.size()));
        archive_entry_free(entry);
    }
    archive_write_close(zip);
    archive_write_free(zip);
}

void signArchive(const QString& zipPath, const TestKeys& keys, const QString& fileName, const QString& version)
{
    QString error;
    if (!release::signFile(zipPath, keys.secret, release::archiveComment(fileName, version, testIdentifier), &error))
        throw std::runtime_error(error.toStdString());
}

} // namespace ostry::test
