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

} // namespace quandrel
