#include "GnomeExtensionInstall.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <gio/gio.h>

namespace quandrel::gnome {

namespace {

bool copyFolder(const QString& from, const QString& to)
{
    if (!QDir().mkpath(to))
        return false;
    const QDir source(from);
    for (const QFileInfo& entry : source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + QLatin1Char('/') + entry.fileName();
        if (entry.isDir() ? !copyFolder(entry.filePath(), target) : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

} // namespace

bool enableExtension()
{
    GSettingsSchemaSource* schemas = g_settings_schema_source_get_default();
    GSettingsSchema* schema = schemas ? g_settings_schema_source_lookup(schemas, "org.gnome.shell", TRUE) : nullptr;
    if (!schema)
        return false;
    g_settings_schema_unref(schema);
    GSettings* settings = g_settings_new("org.gnome.shell");
    const auto edit = [settings](const char* key, bool present) {
        gchar** list = g_settings_get_strv(settings, key);
        GPtrArray* result = g_ptr_array_new();
        bool found = false;
        for (gchar** item = list; *item; ++item) {
            if (g_strcmp0(*item, extensionUuid) == 0)
                found = true;
            else
                g_ptr_array_add(result, *item);
        }
        bool ok = true;
        if (found != present) {
            if (present)
                g_ptr_array_add(result, const_cast<gchar*>(extensionUuid));
            g_ptr_array_add(result, nullptr);
            ok = g_settings_set_strv(settings, key, reinterpret_cast<const gchar* const*>(result->pdata));
        }
        g_ptr_array_free(result, TRUE);
        g_strfreev(list);
        return ok;
    };
    const bool ok = edit("enabled-extensions", true) && edit("disabled-extensions", false);
    g_settings_sync();
    g_object_unref(settings);
    return ok;
}

std::string extensionFlavour(int shellMajor) { return shellMajor < 45 ? "legacy" : "modules"; }

std::optional<int> runningShellMajor()
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << QStringLiteral("org.gnome.Shell") << QStringLiteral("ShellVersion");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    bool ok = false;
    const int major = reply.arguments().front().value<QDBusVariant>().variant().toString().section(QLatin1Char('.'), 0, 0).toInt(&ok);
    return ok ? std::optional<int>(major) : std::nullopt;
}

std::string extensionSource(const std::string& flavour)
{
    const QString here = QCoreApplication::applicationDirPath();
    const QString tail = QString::fromStdString(flavour) + QLatin1Char('/') + QLatin1String(extensionUuid);
    for (const QString& folder : {here + QStringLiteral("/../share/quandrel/gnome-shell-extension/") + tail,
                                  here + QStringLiteral("/../platform/gnome/extension/") + tail}) {
        if (QFile::exists(folder + QStringLiteral("/extension.js")))
            return QDir::cleanPath(folder).toStdString();
    }
    return {};
}

InstallResult installExtension(const std::string& source, const std::string& dataHome, const std::string& caller)
{
    const QString from = QString::fromStdString(source);
    if (source.empty() || !QFile::exists(from + QStringLiteral("/extension.js")))
        return {false, "This copy of Quandrel carries no GNOME Shell extension to install."};
    const QString extensions = QString::fromStdString(dataHome) + QStringLiteral("/gnome-shell/extensions");
    const QString target = extensions + QLatin1Char('/') + QLatin1String(extensionUuid);
    // A complete copy beside the old one, then one rename: the Shell never sees half of it.
    const QString fresh = target + QStringLiteral(".new");
    const QString old = target + QStringLiteral(".old");
    QDir(fresh).removeRecursively();
    QDir(old).removeRecursively();
    if (!copyFolder(from, fresh)) {
        QDir(fresh).removeRecursively();
        return {false, "Quandrel could not copy its GNOME Shell extension into " + extensions.toStdString() + "."};
    }
    QSaveFile callers(fresh + QStringLiteral("/callers"));
    if (!callers.open(QIODevice::WriteOnly) || callers.write(QFile::encodeName(QString::fromStdString(caller)) + '\n') < 0 || !callers.commit()) {
        QDir(fresh).removeRecursively();
        return {false, "Quandrel could not write its GNOME Shell extension's list of callers."};
    }
    if (QFile::exists(target) && !QDir().rename(target, old)) {
        QDir(fresh).removeRecursively();
        return {false, "Quandrel could not replace the GNOME Shell extension in " + target.toStdString() + "."};
    }
    if (!QDir().rename(fresh, target)) {
        QDir().rename(old, target);
        return {false, "Quandrel could not install its GNOME Shell extension into " + target.toStdString() + "."};
    }
    QDir(old).removeRecursively();
    return {true, "The Quandrel GNOME Shell extension is installed."};
}

InstallResult installExtensionForThisProgram()
{
    const auto major = runningShellMajor();
    if (!major)
        return {false, "GNOME Shell does not answer, so Quandrel cannot tell which extension it loads."};
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const InstallResult installed = installExtension(extensionSource(extensionFlavour(*major)), dataHome.toStdString(), exe.toStdString());
    if (!installed.ok)
        return installed;
    if (!enableExtension())
        return {false, "The GNOME Shell extension is installed, but Quandrel could not enable it: turn on “Quandrel” in the Extensions app."};
    return {true, "The Quandrel GNOME Shell extension is installed and enabled. It is active after you log out and back in."};
}

} // namespace quandrel::gnome
