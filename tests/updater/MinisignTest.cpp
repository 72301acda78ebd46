#include "Minisign.h"
#include "UpdaterFixtures.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ostry;
using namespace ostry::minisign;

namespace {

struct ToolResult {
    int status;
    QByteArray output;
};

ToolResult runMinisign(const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("minisign"), arguments);
    process.closeWriteChannel();
    process.waitForFinished(30000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAll()};
}

TEST(Minisign, KeysAndSignaturesRoundTrip)
{
    const SecretKey key = generateSecretKey();
    const auto publicKey = decodePublicKey(encodePublicKey(key.publicKey()));
    ASSERT_TRUE(publicKey);
    EXPECT_EQ(*publicKey, key.publicKey());
    const auto secret = decodeSecretKey(encodeSecretKey(key), {});
    ASSERT_TRUE(secret);
    EXPECT_EQ(secret->publicKey(), key.publicKey());

    const QByteArray data = "the data";
    const auto signature = decodeSignature(sign(key, prehash(data), "file:data"));
    ASSERT_TRUE(signature);
    EXPECT_EQ(signature->trustedComment, "file:data");
    EXPECT_EQ(verify(*publicKey, *signature, prehash(data)), VerifyResult::valid);
    EXPECT_EQ(verify(*publicKey, *signature, prehash("the date")), VerifyResult::badSignature);

    Signature changedComment = *signature;
    changedComment.trustedComment = "file:other";
    EXPECT_EQ(verify(*publicKey, changedComment, prehash(data)), VerifyResult::badTrustedComment);
    EXPECT_EQ(verify(generateSecretKey().publicKey(), *signature, prehash(data)), VerifyResult::wrongKey);

    // Same key id, other key: the signature itself fails.
    PublicKey impostor = generateSecretKey().publicKey();
    impostor.keyId = key.keyId;
    EXPECT_EQ(verify(impostor, *signature, prehash(data)), VerifyResult::badSignature);
}

TEST(Minisign, EncryptedSecretKeysNeedTheirPassword)
{
    // A cheap derivation keeps the test fast; minisign reads the cost from the file.
    const KdfCost cheap{524288, 16 * 1024 * 1024};
    const SecretKey key = generateSecretKey();
    const QByteArray text = encodeSecretKey(key, "correct horse", cheap);
    EXPECT_TRUE(text.startsWith("untrusted comment: minisign encrypted secret key\n"));
    EXPECT_FALSE(text.contains(QByteArray(reinterpret_cast<const char*>(key.key.data()), 64).toBase64().left(12)));
    QString error;
    EXPECT_FALSE(decodeSecretKey(text, {}, &error));
    EXPECT_FALSE(decodeSecretKey(text, "wrong horse", &error));
    EXPECT_EQ(error, QStringLiteral("wrong password or damaged secret key"));
    const auto decoded = decodeSecretKey(text, "correct horse");
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->publicKey(), key.publicKey());
    EXPECT_EQ(decoded->key, key.key);
}

TEST(Minisign, RejectsMalformedFiles)
{
    const SecretKey key = generateSecretKey();
    const QByteArray good = sign(key, prehash("x"), "c");
    QList<QByteArray> lines = good.split('\n');
    EXPECT_FALSE(decodeSignature(""));
    EXPECT_FALSE(decodeSignature(lines[0] + '\n' + lines[1] + '\n'));
    EXPECT_FALSE(decodeSignature(QByteArray(5000, 'a')));
    QByteArray notBase64 = good;
    notBase64.replace(lines[1], "!!!!" + lines[1].mid(4));
    EXPECT_FALSE(decodeSignature(notBase64));
    // The legacy form (the whole message signed, "Ed") is not accepted.
    QByteArray raw = QByteArray::fromBase64(lines[1]);
    raw[1] = 'd';
    QString error;
    EXPECT_FALSE(decodeSignature(lines[0] + '\n' + raw.toBase64() + '\n' + lines[2] + '\n' + lines[3] + '\n', &error));
    EXPECT_EQ(error, QStringLiteral("the signature is not in the prehashed form"));

    EXPECT_FALSE(decodePublicKey("untrusted comment: x\nAAAA\n"));
    QByteArray secret = encodeSecretKey(key);
    secret[secret.size() - 10] = secret[secret.size() - 10] == 'A' ? 'B' : 'A';
    EXPECT_FALSE(decodeSecretKey(secret, {}, &error));
}

// The release tool's tests check that minisign accepts our signatures and keys.
TEST(Minisign, WeAcceptTheMinisignToolsKeysAndSignaturesAndItAcceptsOursMadeWithThem)
{
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("Quandrel-2.0.zip"));
    test::writeFile(data, QByteArray(100000, 'z'));

    // minisign's key and signature, read and checked here.
    ToolResult result = runMinisign({"-G", "-W", "-p", dir.filePath("tool.pub"), "-s", dir.filePath("tool.key")});
    ASSERT_EQ(result.status, 0) << result.output.constData();
    const auto toolSecret = decodeSecretKey(test::readFile(dir.filePath("tool.key")), {});
    const auto toolPublic = decodePublicKey(test::readFile(dir.filePath("tool.pub")));
    ASSERT_TRUE(toolSecret && toolPublic);
    EXPECT_EQ(toolSecret->publicKey(), *toolPublic);

    result = runMinisign({"-S", "-s", dir.filePath("tool.key"), "-m", data, "-t", "file:x version:3"});
    ASSERT_EQ(result.status, 0) << result.output.constData();
    const auto toolSignature = decodeSignature(test::readFile(data + QLatin1String(".minisig")));
    ASSERT_TRUE(toolSignature);
    EXPECT_EQ(toolSignature->trustedComment, "file:x version:3");
    EXPECT_EQ(verify(*toolPublic, *toolSignature, *prehashFile(data)), VerifyResult::valid);

    // And a signature made here with minisign's secret key file verifies with the tool.
    test::writeFile(data + QLatin1String(".minisig"), sign(*toolSecret, *prehashFile(data), "file:y"));
    EXPECT_EQ(runMinisign({"-V", "-p", dir.filePath("tool.pub"), "-m", data}).status, 0);
}

} // namespace
