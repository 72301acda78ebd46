#pragma once

// Screen reading on an X server. Areas of the root window are read through MIT-SHM when the
// server has it and through a plain GetImage otherwise. Shared segments are kept in a small
// pool and handed to the images without copying; a segment returns to the pool when its
// image goes, so the next capture reuses memory whose pages are already in place. Where the
// server shares pixmaps and has RENDER, an area of the screen is composited straight into a
// 32-bit pixmap on such a segment, which gives opaque pixels in the one pass that reading
// them costs anyway; otherwise the top byte is set after the read. A covered window is read from its own pixmap through
// the Composite extension. This process's own windows are kept out of grabs by giving their
// top-level windows an empty bounding shape for the moment of the grab: unlike unmapping,
// that leaves focus, stacking and the window manager's state alone.

#include "ScreenCapture.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>
#include <sys/types.h>

namespace quandrel::x11 {

class X11Connection;

class X11ScreenCapture final : public ScreenCapture {
public:
    // Reads through Quandrel's own connection, which outlives this object.
    explicit X11ScreenCapture(X11Connection& connection);
    ~X11ScreenCapture() override;

    bool hasSharedMemory() const { return m_shm; }
    bool hasComposite() const { return m_composite; }

    // Whether areas of the screen are composited into shared memory (see above).
    bool composesOpaque() const { return m_render && m_useRender; }

    // For benchmarks and tests: read through plain GetImage even when MIT-SHM is there, or
    // read through MIT-SHM without compositing.
    void setSharedMemoryEnabled(bool enabled) { m_useShm = enabled && m_shm; }
    void setCompositionEnabled(bool enabled) { m_useRender = enabled; }
    // The process whose windows hideOwnWindows() and windowsFrontToBack() consider our own.
    pid_t ownPid;
    // What repaintDelay() answers.
    std::chrono::milliseconds repaint{40};

    std::unique_ptr<HiddenWindows> hideOwnWindows() override;
    std::chrono::milliseconds repaintDelay() const override { return repaint; }
    GrabResult<PixelBuffer> grabArea(const Rect& area) override;
    GrabResult<std::vector<ScreenWindow>> windowsFrontToBack() override;
    GrabResult<std::unique_ptr<WindowImage>> prepareWindow(WindowHandle window) override;
    std::optional<Point> pointerPosition() override;
    std::optional<PointerImage> pointerImage() override;

    // Gives the pooled shared memory back (a capture's images may still hold some of it).
    void releaseBuffers() override;

    // Reads a rectangle of a drawable (pixels relative to it) of depth 24 or 32.
    GrabResult<PixelBuffer> grabDrawable(std::uint32_t drawable, int x, int y, int width, int height);

private:
    bool m_xfixesVersioned = false;
    class Hidden;
    class HiddenToken;
    class CompositeImage;
    struct Segment;

    std::shared_ptr<Segment> freeSegment(std::size_t size);
    static constexpr std::size_t maxSegments = 4;

    std::uint32_t topLevelOf(std::uint32_t window);
    GrabResult<PixelBuffer> composeOpaque(int x, int y, int width, int height, std::ptrdiff_t stride);

    X11Connection& m_connection;
    bool m_shm = false;
    bool m_useShm = false;
    bool m_composite = false;
    bool m_shape = false;
    bool m_render = false;         // RENDER and shared pixmaps of depth 32: composeOpaque() works
    bool m_useRender = true;
    std::uint32_t m_rootFormat = 0; // RENDER's format of the root window's visual
    std::uint32_t m_argbFormat = 0; // and of 32-bit ARGB
    std::weak_ptr<Hidden> m_hidden;
    std::vector<std::shared_ptr<Segment>> m_segments;
};

} // namespace quandrel::x11
