// quandrel quandrel://window/<action>: runs one window command on the focused window of the
// X display and exits.

#include "WindowAction.h"
#include "WindowManager.h"
#include "X11Desktop.h"

#include <QCoreApplication>
#include <QUrl>

#include <cstdio>

using namespace quandrel;

namespace {

std::optional<WindowAction> windowCommand(const QString& argument)
{
    const QUrl url(argument);
    if (url.scheme().compare(QLatin1String("quandrel"), Qt::CaseInsensitive) != 0
        || url.host().compare(QLatin1String("window"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const QString path = url.path();
    const QString name = path.startsWith(QLatin1Char('/')) ? path.mid(1) : path;
    return windowActionFromRawName(name.toStdString());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quandrel"));
    QCoreApplication::setApplicationName(QStringLiteral("Quandrel"));

    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: quandrel quandrel://window/<action>\nactions:");
        for (const WindowAction action : allWindowActions)
            std::fprintf(stderr, " %s", rawName(action).data());
        std::fprintf(stderr, "\n");
        return 2;
    }

    auto desktop = x11::X11Desktop::open();
    if (!desktop) {
        std::fprintf(stderr, "quandrel: cannot open the X display\n");
        return 1;
    }
    WindowManager manager(desktop->services());
    manager.gap = 8;

    int status = 0;
    for (const QString& argument : arguments) {
        if (const auto action = windowCommand(argument)) {
            manager.perform(*action);
        } else {
            desktop->beep();
            std::fprintf(stderr, "quandrel: not a window command: %s\n", qPrintable(argument));
            status = 1;
        }
    }
    return status;
}
