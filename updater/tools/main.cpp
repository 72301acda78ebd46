// ostry-release: the maintainers' tool for signed releases.
//
//   ostry-release keygen  --secret-key FILE --public-key FILE [--unencrypted]
//   ostry-release bundle  --output DIR.AppDir --executable FILE --version V --identifier ID
//                         --public-key FILE [--name NAME] [--add SRC=DEST]... [--secret-key FILE]
//                         [--install-helper FILE]
//   ostry-release sign    --secret-key FILE BUNDLE.AppDir
//   ostry-release package --secret-key FILE --output-dir DIR BUNDLE.AppDir
//   ostry-release verify  NEW(.AppDir|.zip) INSTALLED.AppDir
//
// Secret keys are minisign secret key files. `keygen` encrypts the new key with a password
// (scrypt, as minisign does), read from the terminal without echo or else as one line of
// standard input; `--unencrypted` is only for throwaway test keys. An encrypted key asks for
// its password the same way whenever it is used.

#include "ReleaseBuilder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <string>

#include <termios.h>
#include <unistd.h>

using namespace ostry;

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "ostry-release: %s\n", qPrintable(message));
    return 1;
}

// Reads one line: from the terminal with echo off, else from standard input as it comes.
QByteArray readPassword(const char* prompt)
{
    const bool terminal = ::isatty(STDIN_FILENO);
    termios saved {};
    if (terminal) {
        std::fprintf(stderr, "%s", prompt);
        std::fflush(stderr);
        if (::tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= tcflag_t(~ECHO);
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    QByteArray password = QByteArray::fromStdString(line);
    if (password.endsWith('\r'))
        password.chop(1);
    return password;
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
    const QByteArray prompt = "Password for " + QFile::encodeName(path) + ": ";
    return minisign::decodeSecretKey(text, readPassword(prompt.constData()), error);
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
    const QCommandLineOption unencrypted(QStringLiteral("unencrypted"),
                                         QStringLiteral("keygen: leave the secret key unencrypted (throwaway test keys only)"));
    const QCommandLineOption installHelper(QStringLiteral("install-helper"),
                                           QStringLiteral("bundle: the ostry-install-helper program to ship"),
                                           QStringLiteral("file"));
    parser.addOptions({secretKey, publicKey, output, outputDir, executable, version, identifier, name, add, unencrypted,
                       installHelper});
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    QString error;

    if (command == QLatin1String("keygen")) {
        if (!parser.isSet(secretKey) || !parser.isSet(publicKey))
            return fail(QStringLiteral("keygen needs --secret-key and --public-key"));
        for (const QCommandLineOption* file : {&secretKey, &publicKey}) {
            if (QFileInfo::exists(parser.value(*file)) || QFileInfo(parser.value(*file)).isSymLink())
                return fail(QStringLiteral("%1 already exists").arg(parser.value(*file)));
        }
        QByteArray password;
        if (!parser.isSet(unencrypted)) {
            password = readPassword("Password for the new secret key: ");
            if (password.isEmpty())
                return fail(QStringLiteral("the password is empty (use --unencrypted only for throwaway test keys)"));
            if (::isatty(STDIN_FILENO) && readPassword("Password again: ") != password)
                return fail(QStringLiteral("the passwords differ"));
        }
        const minisign::SecretKey key = minisign::generateSecretKey();
        const QByteArray secretText = minisign::encodeSecretKey(key, password);
        if (secretText.isEmpty())
            return fail(QStringLiteral("the password couldn't be turned into a key (not enough memory?)"));
        if (!writeSecret(parser.value(secretKey), secretText, QFile::ReadOwner | QFile::WriteOwner, &error)
            || !writeSecret(parser.value(publicKey), minisign::encodePublicKey(key.publicKey()),
                            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther, &error))
            return fail(error);
        std::printf("Key %s written (%s; keep the secret key offline)\n", qPrintable(key.publicKey().keyIdText()),
                    password.isEmpty() ? "unencrypted" : "encrypted with the password");
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
        options.installHelper = parser.value(installHelper);
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
