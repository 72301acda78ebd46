#include "SwayScreenFreezer.h"

#include "SwayIpc.h"
#include "SwayTree.h"
#include "WlrScreencopy.h"

#include <QFuture>
#include <QJsonArray>
#include <QJsonObject>
#include <QPromise>
#include <QThreadPool>

#include <QCoroFuture>

#include <algorithm>
#include <cstring>

namespace quandrel::sway {

namespace {

using wlroots::OutputImage;
using wlroots::OutputPlace;

std::vector<OutputPlace> placesOf(const QJsonDocument& outputs)
{
    std::vector<OutputPlace> places;
    for (const QJsonValue& value : outputs.array()) {
        const QJsonObject o = value.toObject();
        const QJsonObject r = o.value(QLatin1String("rect")).toObject();
        const Rect area{r.value(QLatin1String("x")).toDouble(), r.value(QLatin1String("y")).toDouble(),
                        r.value(QLatin1String("width")).toDouble(), r.value(QLatin1String("height")).toDouble()};
        if (o.value(QLatin1String("active")).toBool(false) && !area.isEmpty())
            places.push_back({o.value(QLatin1String("name")).toString().toStdString(), area});
    }
    return places;
}

// One requested area put together from the output images that cover it; black elsewhere.
PixelBuffer compose(const Rect& area, const std::vector<OutputPlace>& places, const std::vector<OutputImage>& images)
{
    const int width = std::max(0, int(area.width));
    const int height = std::max(0, int(area.height));
    for (std::size_t i = 0; i < places.size(); ++i)
        if (places[i].area == area && images[i].image.width == width && images[i].image.height == height)
            return images[i].image;
    const std::ptrdiff_t bytesPerLine = std::ptrdiff_t(width) * 4;
    auto pixels = std::shared_ptr<std::uint8_t[]>(new std::uint8_t[std::max<std::ptrdiff_t>(1, bytesPerLine * height)]);
    std::fill_n(reinterpret_cast<std::uint32_t*>(pixels.get()), std::size_t(width) * height, 0xff000000u);
    for (std::size_t i = 0; i < places.size(); ++i) {
        const Rect both = places[i].area.intersected(area);
        if (both.isEmpty())
            continue;
        const PixelBuffer& from = images[i].image;
        const int fromX = int(both.x - places[i].area.x);
        const int fromY = int(both.y - places[i].area.y);
        const int toX = int(both.x - area.x);
        const int toY = int(both.y - area.y);
        const int columns = std::min({int(both.width), from.width - fromX, width - toX});
        for (int row = 0; row < int(both.height) && fromY + row < from.height && toY + row < height; ++row)
            std::memcpy(pixels.get() + (toY + row) * bytesPerLine + std::ptrdiff_t(toX) * 4,
                        from.data + (fromY + row) * from.bytesPerLine + std::ptrdiff_t(fromX) * 4,
                        std::size_t(std::max(0, columns)) * 4);
    }
    PixelBuffer image{width, height, bytesPerLine, pixels.get(), {}};
    image.owner = std::move(pixels);
    return image;
}

} // namespace

QCoro::Task<GrabResult<FrozenScreens>> SwayScreenFreezer::freeze(FreezeRequest request)
{
    const IpcReply outputs = m_ipc.request(MessageType::getOutputs);
    if (!outputs)
        co_return GrabFailure{"sway did not list its outputs.", WindowAccessError::refused};
    const std::vector<OutputPlace> places = placesOf(outputs.document);

    FrozenScreens frozen;
    if (request.windows) {
        const IpcReply tree = m_ipc.request(MessageType::getTree);
        if (const auto windows = tree ? windowsFromTree(tree.document) : std::nullopt) {
            std::vector<ScreenWindow> shown;
            for (const SwayWindow& w : *windows)
                if (w.visible && !w.inScratchpad())
                    shown.push_back({{w.id, w.pid}, w.frame, w.windowType.empty() || w.windowType == "normal" || w.windowType == "dialog"});
            // sway keeps floating windows above the tiled ones, and raises one it focuses:
            // front to back is the focus order with the floating ones first.
            std::stable_partition(shown.begin(), shown.end(), [&](const ScreenWindow& s) {
                return std::any_of(windows->begin(), windows->end(), [&](const SwayWindow& w) { return w.id == s.handle && w.floating; });
            });
            frozen.windows = std::move(shown);
        } else {
            frozen.windowsFailure = "sway did not give its window tree.";
        }
    }
    if (request.areas.empty())
        co_return frozen;

    // The compositor's round trips run on the pool; the event loop goes on meanwhile.
    auto promise = std::make_shared<QPromise<GrabResult<std::vector<OutputImage>>>>();
    QFuture<GrabResult<std::vector<OutputImage>>> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, places] {
        promise->addResult(wlroots::captureOutputs(places));
        promise->finish();
    });
    auto captured = co_await future;
    if (auto* refused = std::get_if<GrabFailure>(&captured))
        co_return *refused;
    const auto& images = std::get<std::vector<OutputImage>>(captured);
    for (const Rect& area : request.areas)
        frozen.images.push_back(compose(area, places, images));
    co_return frozen;
}

QCoro::Task<GrabResult<PixelBuffer>> SwayScreenFreezer::windowImage(WindowHandle)
{
    co_return GrabFailure{"sway gives no image of a single window.", WindowAccessError::refused};
}

} // namespace quandrel::sway
