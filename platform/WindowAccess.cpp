#include "InputGrabs.h"
#include "WindowAccess.h"

namespace quandrel {

const char* describe(WindowAccessError error)
{
    switch (error) {
    case WindowAccessError::none:
        return "no error";
    case WindowAccessError::windowGone:
        return "window gone";
    case WindowAccessError::refused:
        return "request refused";
    }
    return "unknown error";
}

const char* describe(InputGrabError error)
{
    switch (error) {
    case InputGrabError::none:
        return "no error";
    case InputGrabError::heldByOtherProgram:
        return "held by another program";
    case InputGrabError::windowNotViewable:
        return "window not on screen";
    case InputGrabError::refused:
        return "grab refused";
    }
    return "unknown error";
}

} // namespace quandrel
