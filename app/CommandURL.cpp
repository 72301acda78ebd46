#include "CommandURL.h"

#include <QUrlQuery>

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

Command parseCommandURL(const QUrl& url)
{
    Command command;
    if (!url.isValid() || url.scheme().compare(QLatin1String("quandrel"), Qt::CaseInsensitive) != 0 || url.host().isEmpty())
        return command;
    const QString host = url.host().toLower();
    // The first path component after the host, decoded.
    const QString path = url.path(QUrl::FullyDecoded);
    const QStringList components = path.split(QLatin1Char('/'));
    const QString argument = components.size() > 1 ? components.at(1) : QString();

    if (host == QLatin1String("window")) {
        for (const WindowAction a : allWindowActions) {
            if (argument.compare(QLatin1String(rawName(a).data(), qsizetype(rawName(a).size())), Qt::CaseInsensitive) == 0) {
                command.kind = Command::Kind::window;
                command.windowAction = a;
                return command;
            }
        }
    } else if (host == QLatin1String("capture")) {
        for (const CaptureMode m : allCaptureModes) {
            if (argument.compare(QLatin1String(rawName(m).data(), qsizetype(rawName(m).size())), Qt::CaseInsensitive) == 0) {
                command.kind = Command::Kind::capture;
                command.captureMode = m;
                const QUrlQuery query(url);
                for (const auto& [name, value] : query.queryItems(QUrl::FullyDecoded)) {
                    if (name == QLatin1String("then")) {
                        command.then = afterCaptureFromThen(value);
                        break;
                    }
                }
                return command;
            }
        }
    } else if (host == QLatin1String("app")) {
        if (!argument.isEmpty()) {
            command.kind = Command::Kind::app;
            command.desktopId = argument.toStdString();
            return command;
        }
    } else if (host == QLatin1String("settings")) {
        command.kind = Command::Kind::settings;
        return command;
    } else if (host == QLatin1String("pins")) {
        if (argument.toLower() == QLatin1String("close")) {
            command.kind = Command::Kind::closePins;
            return command;
        }
    }
    return Command{};
}

} // namespace quandrel
