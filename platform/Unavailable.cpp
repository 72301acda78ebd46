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

QCoro::Task<GrabResult<FrozenScreens>> UnavailableScreenFreezer::freeze(FreezeRequest)
{
    co_return failure();
}

QCoro::Task<GrabResult<PixelBuffer>> UnavailableScreenFreezer::windowImage(WindowHandle)
{
    co_return failure();
}

GrabFailure UnavailableScreenFreezer::failure() const
{
    return {"reading the screen is not available in this " + m_session + " session", WindowAccessError::refused};
}

} // namespace quandrel
