#include "BundleManifest.h"

#include "AppBundle.h"

#include <QFile>
#include <QList>

#include <sodium.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostry {

namespace {

constexpr char header[] = "ostry-manifest 1";
// Characters left readable in paths; everything else (space, %, controls, non-ASCII) is
// percent-encoded.
const QByteArray keptCharacters = "/!$&'()*+,;=:@[]";

QByteArray encodeField(const QByteArray& raw)
{
    return raw.toPercentEncoding(keptCharacters);
}

QString describePath(const QByteArray& path)
{
    return QString::fromUtf8(path);
}

bool validRelativePath(const QByteArray& path)
{
    if (path.isEmpty() || path.startsWith('/') || path.endsWith('/') || path.contains('\0'))
        return false;
    for (const QByteArray& piece : path.split('/')) {
        if (piece.isEmpty() || piece == "." || piece == "..")
            return false;
    }
    return true;
}

std::optional<unsigned> parseMode(const QByteArray& text)
{
    bool ok = false;
    const unsigned mode = text.toUInt(&ok, 8);
    if (!ok || text.size() != 4 || mode > 07777)
        return std::nullopt;
    return mode;
}

// Why an item with these mode bits can't be part of a bundle, or nothing when it can: another
// account could change a group- or world-writable item after it was checked, and a setuid or
// setgid program would run with its owner's rights.
const char* unsafeMode(mode_t mode)
{
    if (mode & (S_ISUID | S_ISGID))
        return "has the setuid or setgid bit";
    if (mode & (S_IWGRP | S_IWOTH))
        return "is writable by other accounts";
    return nullptr;
}

struct PendingFile {
    std::size_t entry;
    QByteArray absolutePath;
};

// Hashes one regular file, refusing anything that changed kind or size since it was listed.
bool hashFile(const QByteArray& path, qint64 expectedSize, QByteArray* hex, std::vector<unsigned char>& buffer)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size != expectedSize) {
        ::close(fd);
        return false;
    }
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    qint64 total = 0;
    for (;;) {
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            ::close(fd);
            return false;
        }
        if (count == 0)
            break;
        total += count;
        crypto_hash_sha256_update(&state, buffer.data(), std::size_t(count));
    }
    ::close(fd);
    if (total != expectedSize)
        return false;
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&state, digest);
    *hex = QByteArray(reinterpret_cast<const char*>(digest), sizeof digest).toHex();
    return true;
}

class Scanner {
public:
    explicit Scanner(QByteArray root) : m_root(std::move(root)) {}

    bool walk(const QByteArray& relative)
    {
        const QByteArray directory = relative.isEmpty() ? m_root : m_root + '/' + relative;
        DIR* dir = ::opendir(directory.constData());
        if (!dir)
            return fail(QStringLiteral("%1 couldn't be read").arg(describePath(relative.isEmpty() ? "." : relative)));
        std::vector<QByteArray> names;
        errno = 0;
        while (const dirent* item = ::readdir(dir)) {
            const QByteArray name(item->d_name);
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());

        for (const QByteArray& name : names) {
            const QByteArray path = relative.isEmpty() ? name : relative + '/' + name;
            const QByteArray absolute = m_root + '/' + path;
            struct stat info {};
            if (::lstat(absolute.constData(), &info) != 0)
                return fail(QStringLiteral("%1 couldn't be read").arg(describePath(path)));
            if (!S_ISLNK(info.st_mode)) {
                if (const char* problem = unsafeMode(info.st_mode))
                    return fail(QStringLiteral("%1 %2").arg(describePath(path), QLatin1String(problem)));
            }
            // The signature folder and its two files are not listed, but their modes are
            // checked like everything else's.
            if (path == AppBundle::manifestFile || path == AppBundle::manifestSignatureFile
                || path == AppBundle::signatureFolder) {
                if (path == AppBundle::signatureFolder && !S_ISDIR(info.st_mode))
                    return fail(QStringLiteral("%1 is not a folder").arg(describePath(path)));
                if (path == AppBundle::signatureFolder && !walk(path))
                    return false;
                continue;
            }

            ManifestEntry entry;
            entry.path = path;
            if (S_ISLNK(info.st_mode)) {
                QByteArray target(qsizetype(info.st_size) + 1, Qt::Uninitialized);
                const ssize_t length = ::readlink(absolute.constData(), target.data(), std::size_t(target.size()));
                if (length < 0 || length >= target.size())
                    return fail(QStringLiteral("the symlink %1 couldn't be read").arg(describePath(path)));
                target.truncate(length);
                if (!symlinkStaysInside(path, target) || !resolvesInside(absolute))
                    return fail(QStringLiteral("the symlink %1 points outside the bundle").arg(describePath(path)));
                entry.type = ManifestEntry::Type::symlink;
                entry.target = target;
                m_manifest.entries.push_back(entry);
                continue;
            }
            entry.mode = info.st_mode & 07777;
            if (S_ISDIR(info.st_mode)) {
                entry.type = ManifestEntry::Type::directory;
                m_manifest.entries.push_back(entry);
                if (!walk(path))
                    return false;
            } else if (S_ISREG(info.st_mode)) {
                entry.type = ManifestEntry::Type::file;
                entry.size = info.st_size;
                m_pending.push_back({m_manifest.entries.size(), absolute});
                m_manifest.entries.push_back(entry);
            } else {
                return fail(QStringLiteral("%1 is not a file, folder or symlink").arg(describePath(path)));
            }
        }
        return true;
    }

    // The lexical check can't see a chain of links whose ".." climbs out of a folder that is
    // itself a link, so links that resolve are also followed for real.
    bool resolvesInside(const QByteArray& absolute)
    {
        if (m_realRoot.isEmpty()) {
            char* root = ::realpath(m_root.constData(), nullptr);
            m_realRoot = root ? QByteArray(root) : m_root;
            std::free(root);
        }
        char* resolved = ::realpath(absolute.constData(), nullptr);
        if (!resolved)
            return true; // dangling: the lexical check alone applies
        const QByteArray target(resolved);
        std::free(resolved);
        return target == m_realRoot || target.startsWith(m_realRoot + '/');
    }

    bool hashAll(int threads)
    {
        if (threads <= 0)
            threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
        threads = std::max(1, std::min<int>(threads, int(m_pending.size())));
        std::atomic<std::size_t> next{0};
        std::atomic<bool> failed{false};
        std::atomic<std::size_t> failedIndex{SIZE_MAX};
        auto work = [&] {
            std::vector<unsigned char> buffer(256 * 1024);
            for (;;) {
                const std::size_t index = next.fetch_add(1);
                if (index >= m_pending.size() || failed.load())
                    return;
                const PendingFile& file = m_pending[index];
                ManifestEntry& entry = m_manifest.entries[file.entry];
                if (!hashFile(file.absolutePath, entry.size, &entry.sha256, buffer)) {
                    failed = true;
                    failedIndex = file.entry;
                    return;
                }
            }
        };
        std::vector<std::thread> pool;
        for (int i = 1; i < threads; ++i)
            pool.emplace_back(work);
        work();
        for (std::thread& thread : pool)
            thread.join();
        if (failed)
            return fail(QStringLiteral("%1 couldn't be read or changed while it was read")
                            .arg(describePath(m_manifest.entries[failedIndex].path)));
        return true;
    }

    bool fail(const QString& message)
    {
        if (m_error.isEmpty())
            m_error = message;
        return false;
    }

    BundleManifest m_manifest;
    QString m_error;

private:
    QByteArray m_root;
    QByteArray m_realRoot;
    std::vector<PendingFile> m_pending;
};

const char* typeName(ManifestEntry::Type type)
{
    switch (type) {
    case ManifestEntry::Type::directory:
        return "folder";
    case ManifestEntry::Type::file:
        return "file";
    case ManifestEntry::Type::symlink:
        return "symlink";
    }
    return "item";
}

} // namespace

bool symlinkStaysInside(const QByteArray& path, const QByteArray& target)
{
    if (target.isEmpty() || target.startsWith('/') || target.contains('\0'))
        return false;
    // Depth of the folder holding the link, then walk the target lexically. Every component
    // of the walk must stay at or below the root: a/../../x leaves it even if it comes back.
    int depth = int(path.count('/'));
    for (const QByteArray& piece : target.split('/')) {
        if (piece.isEmpty() || piece == ".")
            continue;
        if (piece == "..") {
            if (--depth < 0)
                return false;
        } else {
            ++depth;
        }
    }
    return true;
}

QByteArray BundleManifest::encode() const
{
    QByteArray text;
    text.reserve(qsizetype(entries.size()) * 120 + 128);
    text += header;
    text += "\nidentifier " + encodeField(identifier.toUtf8());
    text += "\nversion " + encodeField(version.toUtf8()) + '\n';
    for (const ManifestEntry& entry : entries) {
        switch (entry.type) {
        case ManifestEntry::Type::directory:
            text += "d " + QByteArray::number(entry.mode, 8).rightJustified(4, '0') + ' ';
            break;
        case ManifestEntry::Type::file:
            text += "f " + QByteArray::number(entry.mode, 8).rightJustified(4, '0') + ' '
                + QByteArray::number(entry.size) + ' ' + entry.sha256 + ' ';
            break;
        case ManifestEntry::Type::symlink:
            text += "l " + encodeField(entry.target) + ' ';
            break;
        }
        text += encodeField(entry.path) + '\n';
    }
    return text;
}

std::optional<BundleManifest> BundleManifest::decode(const QByteArray& text, QString* error)
{
    auto fail = [&](const QString& message) -> std::optional<BundleManifest> {
        if (error)
            *error = message;
        return std::nullopt;
    };
    if (text.size() > maxEncodedSize)
        return fail(QStringLiteral("the manifest is too large"));
    if (!text.endsWith('\n'))
        return fail(QStringLiteral("the manifest is incomplete"));
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast();
    if (lines.size() < 3 || lines[0] != header || !lines[1].startsWith("identifier ")
        || !lines[2].startsWith("version "))
        return fail(QStringLiteral("the manifest's header is malformed"));

    BundleManifest manifest;
    manifest.identifier = QString::fromUtf8(QByteArray::fromPercentEncoding(lines[1].mid(11)));
    manifest.version = QString::fromUtf8(QByteArray::fromPercentEncoding(lines[2].mid(8)));
    manifest.entries.reserve(std::size_t(lines.size() - 3));
    for (qsizetype i = 3; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(' ');
        const QString lineError = QStringLiteral("line %1 of the manifest is malformed").arg(i + 1);
        ManifestEntry entry;
        if (fields[0] == "d" && fields.size() == 3) {
            entry.type = ManifestEntry::Type::directory;
            const auto mode = parseMode(fields[1]);
            if (!mode)
                return fail(lineError);
            entry.mode = *mode;
        } else if (fields[0] == "f" && fields.size() == 5) {
            entry.type = ManifestEntry::Type::file;
            const auto mode = parseMode(fields[1]);
            bool ok = false;
            entry.size = fields[2].toLongLong(&ok);
            entry.sha256 = fields[3];
            const bool hexDigest = entry.sha256.size() == 64
                && std::all_of(entry.sha256.begin(), entry.sha256.end(), [](char c) {
                       return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
                   });
            if (!mode || !ok || entry.size < 0 || !hexDigest)
                return fail(lineError);
            entry.mode = *mode;
        } else if (fields[0] == "l" && fields.size() == 3) {
            entry.type = ManifestEntry::Type::symlink;
            entry.target = QByteArray::fromPercentEncoding(fields[1]);
            if (entry.target.isEmpty())
                return fail(lineError);
        } else {
            return fail(lineError);
        }
        entry.path = QByteArray::fromPercentEncoding(fields.last());
        if (!validRelativePath(entry.path))
            return fail(lineError);
        if (!manifest.entries.empty() && !(manifest.entries.back().path < entry.path))
            return fail(QStringLiteral("the manifest's entries are out of order or repeated"));
        manifest.entries.push_back(std::move(entry));
    }
    return manifest;
}

std::optional<BundleManifest> BundleManifest::scan(const QString& bundlePath, QString* error, int threads)
{
    if (sodium_init() < 0) {
        if (error)
            *error = QStringLiteral("libsodium couldn't be initialised");
        return std::nullopt;
    }
    Scanner scanner(QFile::encodeName(bundlePath));
    // The root isn't listed (its name is the installer's business), but its mode counts.
    struct stat root {};
    const char* rootProblem = nullptr;
    if (::stat(QFile::encodeName(bundlePath).constData(), &root) != 0 || !S_ISDIR(root.st_mode))
        rootProblem = "is not a folder";
    else
        rootProblem = unsafeMode(root.st_mode);
    if (rootProblem) {
        if (error)
            *error = QStringLiteral("the bundle folder %1").arg(QLatin1String(rootProblem));
        return std::nullopt;
    }
    if (!scanner.walk({}) || !scanner.hashAll(threads)) {
        if (error)
            *error = scanner.m_error;
        return std::nullopt;
    }
    // The walk sorted each folder's names, but "a/b" and "a-b" must compare as whole paths.
    std::sort(scanner.m_manifest.entries.begin(), scanner.m_manifest.entries.end(),
              [](const ManifestEntry& a, const ManifestEntry& b) { return a.path < b.path; });
    return std::move(scanner.m_manifest);
}

QString describeDifference(const BundleManifest& expected, const BundleManifest& actual)
{
    auto a = expected.entries.begin();
    auto b = actual.entries.begin();
    while (a != expected.entries.end() || b != actual.entries.end()) {
        if (b == actual.entries.end() || (a != expected.entries.end() && a->path < b->path))
            return QStringLiteral("%1 is missing").arg(describePath(a->path));
        if (a == expected.entries.end() || b->path < a->path)
            return QStringLiteral("%1 was added").arg(describePath(b->path));
        if (a->type != b->type)
            return QStringLiteral("%1 was replaced by a %2").arg(describePath(a->path), QLatin1String(typeName(b->type)));
        if (a->type == ManifestEntry::Type::symlink && a->target != b->target)
            return QStringLiteral("the symlink %1 was changed").arg(describePath(a->path));
        if (a->type == ManifestEntry::Type::file && (a->size != b->size || a->sha256 != b->sha256))
            return QStringLiteral("%1 was modified").arg(describePath(a->path));
        if (a->mode != b->mode)
            return QStringLiteral("the permissions of %1 changed").arg(describePath(a->path));
        ++a;
        ++b;
    }
    return {};
}

} // namespace ostry
