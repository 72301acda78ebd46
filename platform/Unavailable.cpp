#include "Unavailable.h"

#include <cstdio>

namespace quandrel {

void UnavailablePointerMonitor::setMonitoring(bool on)
{
    if (on && !m_told) {
        m_told = true;
        std::fprintf(stderr, "Quandrel: dragging windows to screen edges is not available in this %s session.\n", m_session.c_str());
    }
}

std::unique_ptr<ScreenCapture::HiddenWindows> UnavailableScreenCapture::hideOwnWindows()
{
    return nullptr; // nothing of this process is in any grab: there are none
}

GrabFailure UnavailableScreenCapture::failure() const
{
    return {"reading the screen is not available in this " + m_session + " session", WindowAccessError::refused};
}

} // namespace quandrel
