#include "DesktopFactory.h"

#include <QCoreApplication>

namespace quandrel {

// Each backend's entry, defined in its own folder.
namespace x11 {
std::unique_ptr<Desktop> openSessionDesktop(std::string* whyNot);
}
namespace sway {
std::unique_ptr<Desktop> openSessionDesktop(std::string* whyNot);
}
namespace kwin {
std::unique_ptr<Desktop> openSessionDesktop(std::string* whyNot);
}
namespace gnome {
std::unique_ptr<Desktop> openSessionDesktop(std::string* whyNot);
}

std::unique_ptr<Desktop> openDesktop(SessionBackend backend, std::string* whyNot)
{
    switch (backend) {
    case SessionBackend::x11:
        return x11::openSessionDesktop(whyNot);
    case SessionBackend::sway:
        return sway::openSessionDesktop(whyNot);
    case SessionBackend::kwin:
        return kwin::openSessionDesktop(whyNot);
    case SessionBackend::gnome:
        return gnome::openSessionDesktop(whyNot);
    case SessionBackend::none:
        break;
    }
    if (whyNot)
        *whyNot = QCoreApplication::translate("Session", "Quandrel has no desktop backend for this session.").toStdString();
    return nullptr;
}

} // namespace quandrel
