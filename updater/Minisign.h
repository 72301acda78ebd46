#pragma once

// minisign-compatible Ed25519 keys and signatures, prehashed form ("ED": the signature covers
// the BLAKE2b-512 hash of the data), so files of any size are signed and checked in a stream.
// Files written here are read by the `minisign` tool and the other way round.

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace ostry::minisign {

using KeyId = std::array<std::uint8_t, 8>;
using Prehash = std::array<std::uint8_t, 64>;

struct PublicKey {
    KeyId keyId{};
    std::array<std::uint8_t, 32> key{};

    // The key id as minisign prints it (16 upper-case hex digits).
    QString keyIdText() const;
    bool operator==(const PublicKey&) const = default;
};

struct SecretKey {
    KeyId keyId{};
    std::array<std::uint8_t, 64> key{}; // libsodium layout: seed followed by the public key

    PublicKey publicKey() const;
};

struct Signature {
    KeyId keyId{};
    std::array<std::uint8_t, 64> signature{};
    QByteArray trustedComment;
    std::array<std::uint8_t, 64> globalSignature{};
};

enum class VerifyResult {
    valid,
    wrongKey,                // signed by a key other than the trusted one
    badSignature,            // the data does not match the signature
    badTrustedComment,       // the trusted comment was changed
};

QString describe(VerifyResult result);

SecretKey generateSecretKey();

QByteArray encodePublicKey(const PublicKey& key);
// The cost of deriving a secret key's encryption from its password (scrypt).
struct KdfCost {
    std::uint64_t opslimit;
    std::uint64_t memlimit;
};
// What `minisign -G` uses: about a second and 1 GiB of memory per derivation.
inline constexpr KdfCost sensitiveKdfCost{33554432, 1073741824};

// A secret key file as minisign writes it: encrypted with scrypt from `password`, or, with
// an empty password, unencrypted (as `minisign -G -W` writes it).
QByteArray encodeSecretKey(const SecretKey& key, const QByteArray& password = {},
                           KdfCost cost = sensitiveKdfCost);
std::optional<PublicKey> decodePublicKey(const QByteArray& text);
// Reads an unencrypted key, or an encrypted one with its password. Sets *error on failure.
std::optional<SecretKey> decodeSecretKey(const QByteArray& text, const QByteArray& password,
                                         QString* error = nullptr);

// BLAKE2b-512 of the data, the message that an "ED" signature covers.
class Hasher {
public:
    Hasher();
    void update(const char* data, std::size_t size);
    Prehash final();

private:
    alignas(64) std::array<std::uint8_t, 384> m_state;
};

Prehash prehash(const QByteArray& data);
// Streams the file; nothing when it can't be read or is larger than maxSize.
std::optional<Prehash> prehashFile(const QString& path, qint64 maxSize = -1);
// Hashes everything of an open file from its start, whatever its current offset; the offset
// is left at the end.
std::optional<Prehash> prehashDescriptor(int fd, qint64 maxSize = -1);

QByteArray sign(const SecretKey& key, const Prehash& hash, const QByteArray& trustedComment,
                const QByteArray& untrustedComment = "signature from minisign secret key");

// Parses a .minisig file. Nothing when it is malformed or not in the prehashed form.
std::optional<Signature> decodeSignature(const QByteArray& text, QString* error = nullptr);

// The value of one "key:value" field of a trusted comment such as
// "timestamp:1700000000\tfile:App-1.2.zip\tversion:1.2".
std::optional<QByteArray> trustedCommentValue(const QByteArray& comment, const QByteArray& key);

VerifyResult verify(const PublicKey& key, const Signature& signature, const Prehash& hash);

} // namespace ostry::minisign
