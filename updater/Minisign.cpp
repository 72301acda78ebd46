#include "Minisign.h"

#include <QFile>
#include <QList>

#include <sodium.h>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace ostry::minisign {

namespace {

constexpr char untrustedPrefix[] = "untrusted comment: ";
constexpr char trustedPrefix[] = "trusted comment: ";
constexpr std::size_t publicKeyBytes = 2 + 8 + 32;
constexpr std::size_t signatureBytes = 2 + 8 + 64;
// sig_alg, kdf_alg, chk_alg, salt, opslimit, memlimit, then key id, key and checksum.
constexpr std::size_t secretHeaderBytes = 2 + 2 + 2 + 32 + 8 + 8;
constexpr std::size_t secretPayloadBytes = 8 + 64 + 32;
constexpr std::size_t secretKeyBytes = secretHeaderBytes + secretPayloadBytes;
constexpr qint64 maxSignatureFile = 4096;

bool initSodium()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

QList<QByteArray> lines(const QByteArray& text)
{
    QList<QByteArray> result;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        result.append(line);
    }
    while (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

std::optional<QByteArray> strictBase64(const QByteArray& line)
{
    auto decoded = QByteArray::fromBase64Encoding(line.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

std::uint64_t readLE64(const std::uint8_t* bytes)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

std::array<std::uint8_t, 32> secretChecksum(const SecretKey& key)
{
    std::array<std::uint8_t, 32> checksum{};
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, checksum.size());
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>("Ed"), 2);
    crypto_generichash_update(&state, key.keyId.data(), key.keyId.size());
    crypto_generichash_update(&state, key.key.data(), key.key.size());
    crypto_generichash_final(&state, checksum.data(), checksum.size());
    return checksum;
}

} // namespace

QString PublicKey::keyIdText() const
{
    return QStringLiteral("%1").arg(readLE64(keyId.data()), 16, 16, QLatin1Char('0')).toUpper();
}

PublicKey SecretKey::publicKey() const
{
    PublicKey result;
    result.keyId = keyId;
    crypto_sign_ed25519_sk_to_pk(result.key.data(), key.data());
    return result;
}

QString describe(VerifyResult result)
{
    switch (result) {
    case VerifyResult::valid:
        return QStringLiteral("valid signature");
    case VerifyResult::wrongKey:
        return QStringLiteral("it was signed with a different key");
    case VerifyResult::badSignature:
        return QStringLiteral("the signature doesn't match the signed data");
    case VerifyResult::badTrustedComment:
        return QStringLiteral("the signature's trusted comment was changed");
    }
    return {};
}

SecretKey generateSecretKey()
{
    initSodium();
    SecretKey secret;
    std::array<std::uint8_t, 32> publicKey{};
    crypto_sign_keypair(publicKey.data(), secret.key.data());
    randombytes_buf(secret.keyId.data(), secret.keyId.size());
    return secret;
}

QByteArray encodePublicKey(const PublicKey& key)
{
    QByteArray raw("Ed");
    raw.append(reinterpret_cast<const char*>(key.keyId.data()), key.keyId.size());
    raw.append(reinterpret_cast<const char*>(key.key.data()), key.key.size());
    return QByteArray(untrustedPrefix) + "minisign public key " + key.keyIdText().toLatin1() + '\n'
        + raw.toBase64() + '\n';
}

QByteArray encodeSecretKey(const SecretKey& key, const QByteArray& password, KdfCost cost)
{
    initSodium();
    const bool encrypted = !password.isEmpty();
    std::array<std::uint8_t, secretKeyBytes> raw{};
    std::memcpy(raw.data(), "Ed", 2);
    // kdf_alg stays zero when the key is not encrypted. The salt is random as minisign writes it.
    if (encrypted)
        std::memcpy(raw.data() + 2, "Sc", 2);
    std::memcpy(raw.data() + 4, "B2", 2);
    randombytes_buf(raw.data() + 6, 32);
    for (int i = 0; i < 8; ++i) {
        raw[38 + std::size_t(i)] = std::uint8_t(cost.opslimit >> (8 * i));
        raw[46 + std::size_t(i)] = std::uint8_t(cost.memlimit >> (8 * i));
    }
    std::uint8_t* payload = raw.data() + secretHeaderBytes;
    std::memcpy(payload, key.keyId.data(), 8);
    std::memcpy(payload + 8, key.key.data(), 64);
    const auto checksum = secretChecksum(key);
    std::memcpy(payload + 72, checksum.data(), 32);
    if (encrypted) {
        std::array<std::uint8_t, secretPayloadBytes> stream{};
        if (crypto_pwhash_scryptsalsa208sha256(stream.data(), stream.size(), password.constData(),
                                               std::size_t(password.size()), raw.data() + 6, cost.opslimit,
                                               std::size_t(cost.memlimit)) != 0) {
            sodium_memzero(raw.data(), raw.size());
            return {};
        }
        for (std::size_t i = 0; i < secretPayloadBytes; ++i)
            payload[i] ^= stream[i];
        sodium_memzero(stream.data(), stream.size());
    }
    const QByteArray encoded =
        QByteArray(reinterpret_cast<const char*>(raw.data()), raw.size()).toBase64();
    sodium_memzero(raw.data(), raw.size());
    return QByteArray(untrustedPrefix)
        + (encrypted ? "minisign encrypted secret key\n" : "minisign secret key (unencrypted)\n") + encoded + '\n';
}

std::optional<PublicKey> decodePublicKey(const QByteArray& text)
{
    const QList<QByteArray> all = lines(text.left(4096));
    if (all.isEmpty())
        return std::nullopt;
    // Accept the key file (comment line, then the key) or the bare base64 line.
    const QByteArray& line = all.first().startsWith(untrustedPrefix) ? all.value(1) : all.first();
    const auto raw = strictBase64(line);
    if (!raw || std::size_t(raw->size()) != publicKeyBytes || !raw->startsWith("Ed"))
        return std::nullopt;
    PublicKey key;
    std::memcpy(key.keyId.data(), raw->constData() + 2, 8);
    std::memcpy(key.key.data(), raw->constData() + 10, 32);
    return key;
}

std::optional<SecretKey> decodeSecretKey(const QByteArray& text, const QByteArray& password,
                                         QString* error)
{
    auto fail = [&](const char* message) -> std::optional<SecretKey> {
        if (error)
            *error = QString::fromLatin1(message);
        return std::nullopt;
    };
    if (!initSodium())
        return fail("libsodium couldn't be initialised");
    const QList<QByteArray> all = lines(text.left(8192));
    if (all.isEmpty())
        return fail("the secret key file is empty");
    const QByteArray& line = all.first().startsWith(untrustedPrefix) ? all.value(1) : all.first();
    auto raw = strictBase64(line);
    if (!raw || std::size_t(raw->size()) != secretKeyBytes)
        return fail("not a minisign secret key");
    auto* bytes = reinterpret_cast<std::uint8_t*>(raw->data());
    if (std::memcmp(bytes, "Ed", 2) != 0 || std::memcmp(bytes + 4, "B2", 2) != 0)
        return fail("unsupported secret key algorithm");

    std::uint8_t* payload = bytes + secretHeaderBytes;
    const bool encrypted = std::memcmp(bytes + 2, "Sc", 2) == 0;
    if (encrypted) {
        const std::uint64_t opslimit = readLE64(bytes + 38);
        const std::uint64_t memlimit = readLE64(bytes + 46);
        std::array<std::uint8_t, secretPayloadBytes> stream{};
        if (crypto_pwhash_scryptsalsa208sha256(stream.data(), stream.size(), password.constData(),
                                               std::size_t(password.size()), bytes + 6,
                                               opslimit, std::size_t(memlimit)) != 0)
            return fail("the key's password couldn't be derived");
        for (std::size_t i = 0; i < secretPayloadBytes; ++i)
            payload[i] ^= stream[i];
        sodium_memzero(stream.data(), stream.size());
    } else if (bytes[2] != 0 || bytes[3] != 0) {
        return fail("unsupported key derivation");
    }

    SecretKey key;
    std::memcpy(key.keyId.data(), payload, 8);
    std::memcpy(key.key.data(), payload + 8, 64);
    const auto checksum = secretChecksum(key);
    // minisign leaves the checksum of an unencrypted key at zero.
    const bool noChecksum = !encrypted && sodium_is_zero(payload + 72, 32);
    const bool intact = noChecksum || sodium_memcmp(checksum.data(), payload + 72, 32) == 0;
    sodium_memzero(raw->data(), raw->size());
    if (!intact)
        return fail("wrong password or damaged secret key");
    return key;
}

Hasher::Hasher()
{
    static_assert(sizeof(crypto_generichash_state) <= sizeof(m_state));
    initSodium();
    crypto_generichash_init(reinterpret_cast<crypto_generichash_state*>(m_state.data()), nullptr, 0,
                            crypto_generichash_BYTES_MAX);
}

void Hasher::update(const char* data, std::size_t size)
{
    crypto_generichash_update(reinterpret_cast<crypto_generichash_state*>(m_state.data()),
                              reinterpret_cast<const unsigned char*>(data), size);
}

Prehash Hasher::final()
{
    Prehash hash{};
    crypto_generichash_final(reinterpret_cast<crypto_generichash_state*>(m_state.data()),
                             hash.data(), hash.size());
    return hash;
}

Prehash prehash(const QByteArray& data)
{
    Hasher hasher;
    hasher.update(data.constData(), std::size_t(data.size()));
    return hasher.final();
}

std::optional<Prehash> prehashFile(const QString& path, qint64 maxSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    Hasher hasher;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const qint64 count = file.read(buffer.data(), buffer.size());
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            break;
        total += count;
        if (maxSize >= 0 && total > maxSize)
            return std::nullopt;
        hasher.update(buffer.constData(), std::size_t(count));
    }
    return hasher.final();
}

std::optional<Prehash> prehashDescriptor(int fd, qint64 maxSize)
{
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return std::nullopt;
    Hasher hasher;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const ssize_t count = ::read(fd, buffer.data(), std::size_t(buffer.size()));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            break;
        total += count;
        if (maxSize >= 0 && total > maxSize)
            return std::nullopt;
        hasher.update(buffer.constData(), std::size_t(count));
    }
    return hasher.final();
}

QByteArray sign(const SecretKey& key, const Prehash& hash, const QByteArray& trustedComment,
                const QByteArray& untrustedComment)
{
    initSodium();
    std::array<std::uint8_t, 64> signature{};
    crypto_sign_detached(signature.data(), nullptr, hash.data(), hash.size(), key.key.data());

    QByteArray signed_(reinterpret_cast<const char*>(signature.data()), signature.size());
    signed_.append(trustedComment);
    std::array<std::uint8_t, 64> global{};
    crypto_sign_detached(global.data(), nullptr, reinterpret_cast<const unsigned char*>(signed_.constData()),
                         std::size_t(signed_.size()), key.key.data());

    QByteArray raw("ED");
    raw.append(reinterpret_cast<const char*>(key.keyId.data()), key.keyId.size());
    raw.append(reinterpret_cast<const char*>(signature.data()), signature.size());
    return QByteArray(untrustedPrefix) + untrustedComment + '\n' + raw.toBase64() + '\n'
        + trustedPrefix + trustedComment + '\n'
        + QByteArray(reinterpret_cast<const char*>(global.data()), global.size()).toBase64() + '\n';
}

std::optional<Signature> decodeSignature(const QByteArray& text, QString* error)
{
    auto fail = [&](const char* message) -> std::optional<Signature> {
        if (error)
            *error = QString::fromLatin1(message);
        return std::nullopt;
    };
    if (text.size() > maxSignatureFile)
        return fail("the signature file is too large");
    const QList<QByteArray> all = lines(text);
    if (all.size() != 4 || !all[0].startsWith(untrustedPrefix) || !all[2].startsWith(trustedPrefix))
        return fail("the signature file is malformed");
    const auto raw = strictBase64(all[1]);
    if (!raw || std::size_t(raw->size()) != signatureBytes)
        return fail("the signature file is malformed");
    if (!raw->startsWith("ED"))
        return fail("the signature is not in the prehashed form");
    const auto global = strictBase64(all[3]);
    if (!global || global->size() != 64)
        return fail("the signature file is malformed");
    Signature signature;
    std::memcpy(signature.keyId.data(), raw->constData() + 2, 8);
    std::memcpy(signature.signature.data(), raw->constData() + 10, 64);
    signature.trustedComment = all[2].mid(int(sizeof trustedPrefix) - 1);
    std::memcpy(signature.globalSignature.data(), global->constData(), 64);
    return signature;
}

VerifyResult verify(const PublicKey& key, const Signature& signature, const Prehash& hash)
{
    initSodium();
    if (key.keyId != signature.keyId)
        return VerifyResult::wrongKey;
    if (crypto_sign_verify_detached(signature.signature.data(), hash.data(), hash.size(),
                                    key.key.data()) != 0)
        return VerifyResult::badSignature;
    QByteArray signed_(reinterpret_cast<const char*>(signature.signature.data()), 64);
    signed_.append(signature.trustedComment);
    if (crypto_sign_verify_detached(signature.globalSignature.data(),
                                    reinterpret_cast<const unsigned char*>(signed_.constData()),
                                    std::size_t(signed_.size()), key.key.data()) != 0)
        return VerifyResult::badTrustedComment;
    return VerifyResult::valid;
}

std::optional<QByteArray> trustedCommentValue(const QByteArray& comment, const QByteArray& key)
{
    for (const QByteArray& token : comment.simplified().split(' ')) {
        if (token.startsWith(key + ':'))
            return token.mid(key.size() + 1);
    }
    return std::nullopt;
}

} // namespace ostry::minisign
