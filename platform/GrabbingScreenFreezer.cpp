#include "GrabbingScreenFreezer.h"

#include <QCoroTimer>

#include <chrono>

namespace quandrel {

QCoro::Task<GrabResult<FrozenScreens>> GrabbingScreenFreezer::freeze(FreezeRequest request)
{
    FrozenScreens frozen;
    const auto listWindows = [&] {
        if (!request.windows)
            return;
        auto listed = m_capture.windowsFrontToBack();
        if (auto* windows = std::get_if<std::vector<ScreenWindow>>(&listed))
            frozen.windows = std::move(*windows);
        else
            frozen.windowsFailure = std::get<GrabFailure>(listed).message;
    };
    frozen.pointer = m_capture.pointerPosition();
    if (request.pointerImage)
        frozen.pointerImage = m_capture.pointerImage();
    if (request.areas.empty()) {
        listWindows();
        co_return frozen;
    }
    {
        // Our own windows stay out of sight until every display is taken, whatever happens.
        // The window list is read while other programs repaint what they uncovered.
        const auto hidden = m_capture.hideOwnWindows();
        listWindows();
        if (hidden)
            co_await QCoro::sleepFor(m_capture.repaintDelay());
        for (std::size_t i = 0; i < request.areas.size(); ++i) {
            if (i > 0)
                co_await QCoro::sleepFor(std::chrono::milliseconds(0)); // let the event loop run
            auto grabbed = m_capture.grabArea(request.areas[i]);
            if (auto* failure = std::get_if<GrabFailure>(&grabbed))
                co_return std::move(*failure);
            frozen.images.push_back(std::get<PixelBuffer>(std::move(grabbed)));
        }
    }
    co_return frozen;
}

QCoro::Task<GrabResult<PixelBuffer>> GrabbingScreenFreezer::windowImage(WindowHandle window)
{
    auto prepared = m_capture.prepareWindow(window);
    if (auto* failure = std::get_if<GrabFailure>(&prepared))
        co_return std::move(*failure);
    auto image = std::move(std::get<std::unique_ptr<ScreenCapture::WindowImage>>(prepared));
    if (image->needsRepaint())
        co_await QCoro::sleepFor(m_capture.repaintDelay());
    co_return image->read();
}

} // namespace quandrel
