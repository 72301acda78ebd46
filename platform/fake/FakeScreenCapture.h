#pragma once

// An in-memory screen for tests of the screen capturer: the screen's pixels come from a
// function of the pixel position, every grab is recorded with whether our own windows were
// hidden at the time, and failures can be arranged.

#include "ScreenCapture.h"

#include <functional>
#include <map>
#include <vector>

namespace quandrel {

class FakeScreenCapture final : public ScreenCapture {
public:
    // The colour (0xRRGGBB) of a screen pixel in window space.
    std::function<std::uint32_t(int x, int y)> pixelAt = [](int, int) { return 0u; };
    // Images come out this many times larger than asked for (a mismatched backing scale).
    double sizeFactor = 1;
    // The grab with this index (0 first) fails.
    int failingGrab = -1;
    // Whether this process has windows on screen, and how many are hidden right now.
    bool ownWindowsOnScreen = false;
    int hiddenNow = 0;
    std::chrono::milliseconds delay{0};

    struct Grab {
        Rect area;
        bool ownWindowsHidden;
    };
    std::vector<Grab> grabs;

    std::vector<ScreenWindow> windows;
    std::optional<std::string> windowListFailure;

    struct WindowPixels {
        Rect area;          // where on the screen the window's pixels are
        bool needsRepaint = false;
        bool fails = false;
    };
    std::map<WindowHandle, WindowPixels> windowImages;
    int windowReads = 0;

    std::optional<Point> pointer;

    std::unique_ptr<HiddenWindows> hideOwnWindows() override
    {
        if (!ownWindowsOnScreen)
            return nullptr;
        return std::make_unique<Hidden>(*this);
    }

    std::chrono::milliseconds repaintDelay() const override { return delay; }

    GrabResult<PixelBuffer> grabArea(const Rect& area) override
    {
        const int index = int(grabs.size());
        grabs.push_back({area, hiddenNow > 0});
        if (index == failingGrab)
            return GrabFailure{"grab refused"};
        return pixels(area);
    }

    GrabResult<std::vector<ScreenWindow>> windowsFrontToBack() override
    {
        if (windowListFailure)
            return GrabFailure{*windowListFailure};
        return windows;
    }

    GrabResult<std::unique_ptr<WindowImage>> prepareWindow(WindowHandle window) override
    {
        const auto it = windowImages.find(window);
        if (it == windowImages.end() || it->second.fails)
            return GrabFailure{"no such window"};
        return std::unique_ptr<WindowImage>(std::make_unique<Image>(*this, it->second));
    }

    std::optional<Point> pointerPosition() override { return pointer; }

    int releases = 0;
    void releaseBuffers() override { ++releases; }

    PixelBuffer pixels(const Rect& area) const
    {
        const int width = int(area.width * sizeFactor);
        const int height = int(area.height * sizeFactor);
        auto storage = std::make_shared<std::vector<std::uint32_t>>(std::size_t(width) * std::size_t(height));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                (*storage)[std::size_t(y) * width + x] = 0xff000000u | pixelAt(int(area.x + x / sizeFactor), int(area.y + y / sizeFactor));
        }
        return {width, height, std::ptrdiff_t(width) * 4, reinterpret_cast<std::uint8_t*>(storage->data()), storage};
    }

private:
    class Hidden final : public HiddenWindows {
    public:
        explicit Hidden(FakeScreenCapture& owner)
            : m_owner(owner)
        {
            ++m_owner.hiddenNow;
        }
        ~Hidden() override { --m_owner.hiddenNow; }

    private:
        FakeScreenCapture& m_owner;
    };

    class Image final : public WindowImage {
    public:
        Image(FakeScreenCapture& owner, WindowPixels pixels)
            : m_owner(owner)
            , m_pixels(pixels)
        {
        }
        bool needsRepaint() const override { return m_pixels.needsRepaint; }
        GrabResult<PixelBuffer> read() override
        {
            ++m_owner.windowReads;
            return m_owner.pixels(m_pixels.area);
        }

    private:
        FakeScreenCapture& m_owner;
        WindowPixels m_pixels;
    };
};

} // namespace quandrel
