#include "Command.h"

#include <QCoreApplication>
#include <QStringList>
#include <QUrlQuery>

#include <algorithm>

namespace quandrel {

std::optional<AfterCapture> afterCaptureFromThen(const QString& value)
{
    const QString v = value.toLower();
    if (v == QLatin1String("editor") || v == QLatin1String("edit"))
        return AfterCapture::openEditor;
    if (v == QLatin1String("pin"))
        return AfterCapture::pin;
    if (v == QLatin1String("copy"))
        return AfterCapture::copyOnly;
    if (v == QLatin1String("save"))
        return AfterCapture::save;
    if (v == QLatin1String("thumbnail"))
        return AfterCapture::copyAndThumbnail;
    return std::nullopt;
}

namespace {

template <typename Enum, std::size_t N>
std::optional<Enum> caseInsensitiveRawName(const std::array<Enum, N>& all, const QString& argument)
{
    for (const Enum value : all) {
        const std::string_view raw = rawName(value);
        if (argument.compare(QLatin1String(raw.data(), qsizetype(raw.size())), Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

template <typename... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};

} // namespace

std::string describe(const Command& command)
{
    return std::visit(Overloaded{
                          [](const WindowCommand& c) { return "window(" + std::string(rawName(c.action)) + ")"; },
                          [](const CaptureCommand& c) { return "capture(" + std::string(rawName(c.mode)) + ")"; },
                          [](const AppCommand& c) { return "app(" + c.desktopId + ")"; },
                          [](const OpenSettingsCommand&) { return std::string("settings"); },
                          [](const ClosePinsCommand&) { return std::string("pins(close)"); },
                          [](const QuitCommand&) { return std::string("quit"); },
                      },
                      command);
}

QString displayTitle(CaptureMode mode) { return QCoreApplication::translate("CaptureMode", title(mode).data()); }

QString commandTitle(const Command& command, const AppNameLookup& appName)
{
    return std::visit(Overloaded{
                          [&](const WindowCommand& c) { return displayTitle(c.action); },
                          [&](const CaptureCommand& c) { return displayTitle(c.mode); },
                          [&](const AppCommand& c) {
                              const auto name = appName ? appName(c.desktopId) : std::nullopt;
                              return QString::fromStdString(name ? *name : c.desktopId);
                          },
                          [](const OpenSettingsCommand&) { return QCoreApplication::translate("TrayMenu", "Settings…"); },
                          [](const ClosePinsCommand&) { return QCoreApplication::translate("TrayMenu", "Close All Pins"); },
                          [](const QuitCommand&) { return QCoreApplication::translate("TrayMenu", "Quit Quandrel"); },
                      },
                      command);
}

QString commandURL(const Command& command)
{
    const auto raw = [](std::string_view name) { return QString::fromLatin1(name.data(), qsizetype(name.size())); };
    return std::visit(Overloaded{
                          [&](const WindowCommand& c) { return QStringLiteral("quandrel://window/") + raw(rawName(c.action)); },
                          [&](const CaptureCommand& c) {
                              QString url = QStringLiteral("quandrel://capture/") + raw(rawName(c.mode));
                              static const std::pair<AfterCapture, const char*> thens[] = {
                                  {AfterCapture::openEditor, "editor"}, {AfterCapture::pin, "pin"}, {AfterCapture::copyOnly, "copy"},
                                  {AfterCapture::save, "save"}, {AfterCapture::copyAndThumbnail, "thumbnail"}};
                              QStringList items;
                              for (const auto& [value, word] : thens) {
                                  if (c.then == value)
                                      items.append(QStringLiteral("then=") + QLatin1String(word));
                              }
                              if (c.delaySeconds > 0)
                                  items.append(QStringLiteral("delay=%1").arg(c.delaySeconds));
                              if (!items.isEmpty())
                                  url += QLatin1Char('?') + items.join(QLatin1Char('&'));
                              return url;
                          },
                          [](const AppCommand& c) {
                              return QStringLiteral("quandrel://app/")
                                  + QString::fromUtf8(QUrl::toPercentEncoding(QString::fromStdString(c.desktopId)));
                          },
                          [](const OpenSettingsCommand&) { return QStringLiteral("quandrel://settings"); },
                          [](const ClosePinsCommand&) { return QStringLiteral("quandrel://pins/close"); },
                          [](const QuitCommand&) { return QStringLiteral("quandrel://quit"); },
                      },
                      command);
}

std::optional<Command> parseCommandURL(const QUrl& url)
{
    if (!url.isValid() || url.scheme().compare(QLatin1String("quandrel"), Qt::CaseInsensitive) != 0 || url.host().isEmpty())
        return std::nullopt;
    const QString host = url.host().toLower();
    // The first path component after the host, decoded.
    const QString path = url.path(QUrl::FullyDecoded);
    const QStringList components = path.split(QLatin1Char('/'));
    const QString argument = components.size() > 1 ? components.at(1) : QString();

    if (host == QLatin1String("window")) {
        if (const auto action = caseInsensitiveRawName(allWindowActions, argument))
            return WindowCommand{*action};
    } else if (host == QLatin1String("capture")) {
        if (const auto mode = caseInsensitiveRawName(allCaptureModes, argument)) {
            CaptureCommand command{*mode, std::nullopt};
            const QUrlQuery query(url);
            bool thenSeen = false;
            for (const auto& [name, value] : query.queryItems(QUrl::FullyDecoded)) {
                if (name == QLatin1String("then") && !thenSeen) {
                    command.then = afterCaptureFromThen(value);
                    thenSeen = true;
                } else if (name == QLatin1String("delay")) {
                    // Whole seconds, held to 1–10; anything else is no delay.
                    bool number = false;
                    const int seconds = value.toInt(&number);
                    if (number && seconds > 0)
                        command.delaySeconds = std::min(seconds, CaptureCommand::maxDelaySeconds);
                }
            }
            return command;
        }
    } else if (host == QLatin1String("app")) {
        if (!argument.isEmpty())
            return AppCommand{argument.toStdString()};
    } else if (host == QLatin1String("settings")) {
        return OpenSettingsCommand{};
    } else if (host == QLatin1String("pins")) {
        if (argument.toLower() == QLatin1String("close"))
            return ClosePinsCommand{};
    } else if (host == QLatin1String("quit")) {
        return QuitCommand{};
    }
    return std::nullopt;
}

} // namespace quandrel
