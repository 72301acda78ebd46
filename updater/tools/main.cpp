// ostry-release: the maintainers' tool for signed releases.
//
//   ostry-release keygen  --secret-key FILE --public-key FILE
//   ostry-release bundle  --output DIR.AppDir --executable FILE --version V --identifier ID
//                         --public-key FILE [--name NAME] [--add SRC=DEST]... [--secret-key FILE]
//   ostry-release sign    --secret-key FILE BUNDLE.AppDir
//   ostry-release package --secret-key FILE --output-dir DIR BUNDLE.AppDir
//   ostry-release verify  NEW(.AppDir|.zip) INSTALLED.AppDir
//
// Secret keys are minisign secret key files; an encrypted one asks for its password on
// standard input.

#include "ReleaseBuilder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <string>

using namespace ostry;

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "ostry-release: %s\n", qPrintable(message));
    return 1;
}

std::optional<minisign::SecretKey> loadSecretKey(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray text = file.readAll();
    if (auto key = minisign::decodeSecretKey(text, {}, error))
        return key;
    std::fprintf(stderr, "Password for %s: ", qPrintable(path));
    std::string password;
    std::getline(std::cin, password);
    return minisign::decodeSecretKey(text, QByteArray::fromStdString(password), error);
}

bool writeSecret(const QString& path, const QByteArray& data, QFile::Permissions permissions, QString* error)
{
    if (QFile::exists(path)) {
        *error = QStringLiteral("%1 already exists").arg(path);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(permissions) || file.write(data) != data.size()
        || !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Builds, signs and verifies releases."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("keygen, bundle, sign, package or verify"));
    const QCommandLineOption secretKey(QStringLiteral("secret-key"), QStringLiteral("minisign secret key"), QStringLiteral("file"));
    const QCommandLineOption publicKey(QStringLiteral("public-key"), QStringLiteral("minisign public key"), QStringLiteral("file"));
    const QCommandLineOption output(QStringLiteral("output"), QStringLiteral("bundle to create"), QStringLiteral("dir"));
    const QCommandLineOption outputDir(QStringLiteral("output-dir"), QStringLiteral("folder for the archive"), QStringLiteral("dir"));
    const QCommandLineOption executable(QStringLiteral("executable"), QStringLiteral("program to bundle"), QStringLiteral("file"));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("version text"), QStringLiteral("version"));
    const QCommandLineOption identifier(QStringLiteral("identifier"), QStringLiteral("bundle identifier"), QStringLiteral("id"));
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("application name"), QStringLiteral("name"), QStringLiteral("Quandrel"));
    const QCommandLineOption add(QStringLiteral("add"), QStringLiteral("extra file"), QStringLiteral("source=dest"));
    parser.addOptions({secretKey, publicKey, output, outputDir, executable, version, identifier, name, add});
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    QString error;

    if (command == QLatin1String("keygen")) {
        if (!parser.isSet(secretKey) || !parser.isSet(publicKey))
            return fail(QStringLiteral("keygen needs --secret-key and --public-key"));
        const minisign::SecretKey key = minisign::generateSecretKey();
        if (!writeSecret(parser.value(secretKey), minisign::encodeSecretKey(key), QFile::ReadOwner | QFile::WriteOwner, &error)
            || !writeSecret(parser.value(publicKey), minisign::encodePublicKey(key.publicKey()),
                            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther, &error))
            return fail(error);
        std::printf("Key %s written (unencrypted: keep the secret key offline)\n", qPrintable(key.publicKey().keyIdText()));
        return 0;
    }
    if (command == QLatin1String("bundle")) {
        release::BundleOptions options;
        options.output = parser.value(output);
        options.executable = parser.value(executable);
        options.version = parser.value(version);
        options.identifier = parser.value(identifier);
        options.name = parser.value(name);
        options.extraFiles = parser.values(add);
        QFile keyFile(parser.value(publicKey));
        if (options.output.isEmpty() || options.executable.isEmpty() || !keyFile.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("bundle needs --output, --executable, --version, --identifier and a readable --public-key"));
        options.publicKey = keyFile.readAll();
        if (!release::buildBundle(options, &error))
            return fail(error);
        if (parser.isSet(secretKey)) {
            const auto key = loadSecretKey(parser.value(secretKey), &error);
            if (!key || !release::signBundle(options.output, *key, &error))
                return fail(error);
        }
        std::printf("%s\n", qPrintable(options.output));
        return 0;
    }
    if (command == QLatin1String("sign") || command == QLatin1String("package")) {
        if (args.size() != 2 || !parser.isSet(secretKey))
            return fail(QStringLiteral("%1 needs --secret-key and one bundle").arg(command));
        const auto key = loadSecretKey(parser.value(secretKey), &error);
        if (!key)
            return fail(error);
        if (command == QLatin1String("sign")) {
            if (!release::signBundle(args[1], *key, &error))
                return fail(error);
            std::printf("%s/Bundle/Signature/manifest.minisig\n", qPrintable(args[1]));
            return 0;
        }
        if (!parser.isSet(outputDir))
            return fail(QStringLiteral("package needs --output-dir"));
        const auto zip = release::packageRelease(args[1], parser.value(outputDir), *key, &error);
        if (!zip)
            return fail(error);
        std::printf("%s\n%s.minisig\n", qPrintable(*zip), qPrintable(*zip));
        return 0;
    }
    if (command == QLatin1String("verify")) {
        if (args.size() != 3)
            return fail(QStringLiteral("verify needs the new bundle or archive and the installed bundle"));
        bool accepted = false;
        const QString outcome = release::verifyRelease(args[1], args[2], &accepted);
        std::printf("%s\n", qPrintable(outcome));
        return accepted ? 0 : 2;
    }
    parser.showHelp(1);
}
