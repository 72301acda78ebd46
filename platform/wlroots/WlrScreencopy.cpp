#include "WlrScreencopy.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace quandrel::wlroots {

namespace {

// How the output's buffer is turned into what the user sees (as grim reads sway's outputs).
struct Turn {
    int rotation = 0; // quarter turns of wl_output_transform
    bool flipped = false;
};

Turn turnOf(int transform)
{
    return {transform & 3, (transform & 4) != 0};
}

} // namespace

PixelBuffer orientedImage(const OutputBuffer& buffer, Size size)
{
    const int width = std::max(0, int(std::lround(size.width)));
    const int height = std::max(0, int(std::lround(size.height)));
    const Turn turn = turnOf(buffer.transform);
    const bool sideways = turn.rotation % 2 == 1;
    const int turnedWidth = sideways ? buffer.height : buffer.width;
    const int turnedHeight = sideways ? buffer.width : buffer.height;
    const std::ptrdiff_t bytesPerLine = std::ptrdiff_t(width) * 4;
    auto pixels = std::shared_ptr<std::uint8_t[]>(new std::uint8_t[std::max<std::ptrdiff_t>(1, bytesPerLine * height)]);
    const int bw = buffer.width;
    const int bh = buffer.height;
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(pixels.get() + y * bytesPerLine);
        const int ty = std::min(turnedHeight - 1, int(std::int64_t(y) * turnedHeight / height));
        for (int x = 0; x < width; ++x) {
            const int tx = std::min(turnedWidth - 1, int(std::int64_t(x) * turnedWidth / width));
            int bx = tx;
            int by = ty;
            switch (turn.rotation) {
            case 1: bx = ty; by = bh - 1 - tx; break;
            case 2: bx = bw - 1 - tx; by = bh - 1 - ty; break;
            case 3: bx = bw - 1 - ty; by = tx; break;
            default: break;
            }
            if (turn.flipped)
                bx = bw - 1 - bx;
            if (buffer.yInverted)
                by = bh - 1 - by;
            std::uint32_t pixel;
            std::memcpy(&pixel, buffer.data + by * buffer.bytesPerLine + std::ptrdiff_t(bx) * 4, 4);
            if (buffer.bgr)
                pixel = (pixel & 0xff00ff00u) | ((pixel & 0xffu) << 16) | ((pixel >> 16) & 0xffu);
            row[x] = pixel | 0xff000000u;
        }
    }
    PixelBuffer image;
    image.width = width;
    image.height = height;
    image.bytesPerLine = bytesPerLine;
    image.data = pixels.get();
    image.owner = std::move(pixels);
    return image;
}

namespace {

struct Output {
    wl_output* output = nullptr;
    std::string name;
    int transform = 0;
    zwlr_screencopy_frame_v1* frame = nullptr;
    // the frame's shm buffer
    std::uint32_t format = 0;
    int width = 0;
    int height = 0;
    int stride = 0;
    bool offered = false;
    void* memory = MAP_FAILED;
    std::size_t length = 0;
    wl_buffer* buffer = nullptr;
    bool yInverted = false;
    bool ready = false;
    bool failed = false;

    ~Output()
    {
        if (buffer)
            wl_buffer_destroy(buffer);
        if (memory != MAP_FAILED)
            munmap(memory, length);
        if (frame)
            zwlr_screencopy_frame_v1_destroy(frame);
        if (output) {
            if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
                wl_output_release(output);
            else
                wl_output_destroy(output);
        }
    }
};

struct Connection {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_shm* shm = nullptr;
    zwlr_screencopy_manager_v1* manager = nullptr;
    std::vector<std::unique_ptr<Output>> outputs;

    ~Connection()
    {
        outputs.clear();
        if (manager)
            zwlr_screencopy_manager_v1_destroy(manager);
        if (shm)
            wl_shm_destroy(shm);
        if (registry)
            wl_registry_destroy(registry);
        if (display)
            wl_display_disconnect(display);
    }
};

void outputGeometry(void* data, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*, int32_t transform)
{
    static_cast<Output*>(data)->transform = transform;
}
void outputMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}
void outputDone(void*, wl_output*) {}
void outputScale(void*, wl_output*, int32_t) {}
void outputName(void* data, wl_output*, const char* name)
{
    static_cast<Output*>(data)->name = name;
}
void outputDescription(void*, wl_output*, const char*) {}

const wl_output_listener outputListener = {
    .geometry = outputGeometry,
    .mode = outputMode,
    .done = outputDone,
    .scale = outputScale,
    .name = outputName,
    .description = outputDescription,
};

void registryGlobal(void* data, wl_registry* registry, uint32_t id, const char* interface, uint32_t version)
{
    auto* connection = static_cast<Connection*>(data);
    if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        connection->shm = static_cast<wl_shm*>(wl_registry_bind(registry, id, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0) {
        connection->manager = static_cast<zwlr_screencopy_manager_v1*>(
            wl_registry_bind(registry, id, &zwlr_screencopy_manager_v1_interface, std::min(version, 3u)));
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto output = std::make_unique<Output>();
        output->output = static_cast<wl_output*>(wl_registry_bind(registry, id, &wl_output_interface, std::min(version, 4u)));
        wl_output_add_listener(output->output, &outputListener, output.get());
        connection->outputs.push_back(std::move(output));
    }
}
void registryGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener = {.global = registryGlobal, .global_remove = registryGlobalRemove};

struct FrameContext {
    Connection* connection;
    Output* output;
};

bool supportedFormat(std::uint32_t format)
{
    return format == WL_SHM_FORMAT_XRGB8888 || format == WL_SHM_FORMAT_ARGB8888
        || format == WL_SHM_FORMAT_XBGR8888 || format == WL_SHM_FORMAT_ABGR8888;
}

void startCopy(Connection& connection, Output& output)
{
    if (!output.offered || !supportedFormat(output.format)) {
        output.failed = true;
        return;
    }
    output.length = std::size_t(output.stride) * output.height;
    const int fd = memfd_create("quandrel-screencopy", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, off_t(output.length)) != 0) {
        if (fd >= 0)
            close(fd);
        output.failed = true;
        return;
    }
    output.memory = mmap(nullptr, output.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (output.memory == MAP_FAILED) {
        close(fd);
        output.failed = true;
        return;
    }
    wl_shm_pool* pool = wl_shm_create_pool(connection.shm, fd, int32_t(output.length));
    output.buffer = wl_shm_pool_create_buffer(pool, 0, output.width, output.height, output.stride, output.format);
    wl_shm_pool_destroy(pool);
    close(fd);
    zwlr_screencopy_frame_v1_copy(output.frame, output.buffer);
}

void frameBuffer(void* data, zwlr_screencopy_frame_v1* frame, uint32_t format, uint32_t width, uint32_t height, uint32_t stride)
{
    auto* context = static_cast<FrameContext*>(data);
    Output& output = *context->output;
    if (!output.offered || (supportedFormat(format) && !supportedFormat(output.format))) {
        output.offered = true;
        output.format = format;
        output.width = int(width);
        output.height = int(height);
        output.stride = int(stride);
    }
    if (zwlr_screencopy_frame_v1_get_version(frame) < 3)
        startCopy(*context->connection, output);
}
void frameFlags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags)
{
    static_cast<FrameContext*>(data)->output->yInverted = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
}
void frameReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t)
{
    static_cast<FrameContext*>(data)->output->ready = true;
}
void frameFailed(void* data, zwlr_screencopy_frame_v1*)
{
    static_cast<FrameContext*>(data)->output->failed = true;
}
void frameDamage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void frameDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}
void frameBufferDone(void* data, zwlr_screencopy_frame_v1*)
{
    auto* context = static_cast<FrameContext*>(data);
    startCopy(*context->connection, *context->output);
}

const zwlr_screencopy_frame_v1_listener frameListener = {
    .buffer = frameBuffer,
    .flags = frameFlags,
    .ready = frameReady,
    .failed = frameFailed,
    .damage = frameDamage,
    .linux_dmabuf = frameDmabuf,
    .buffer_done = frameBufferDone,
};

GrabFailure failure(std::string message, WindowAccessError reason = WindowAccessError::refused)
{
    return {std::move(message), reason};
}

} // namespace

bool screencopyOffered()
{
    Connection connection;
    connection.display = wl_display_connect(nullptr);
    if (!connection.display)
        return false;
    connection.registry = wl_display_get_registry(connection.display);
    wl_registry_add_listener(connection.registry, &registryListener, &connection);
    return wl_display_roundtrip(connection.display) >= 0 && connection.manager && connection.shm;
}

GrabResult<std::vector<OutputImage>> captureOutputs(const std::vector<OutputPlace>& places)
{
    Connection connection;
    connection.display = wl_display_connect(nullptr);
    if (!connection.display)
        return failure("There is no Wayland display to read the screen from.", WindowAccessError::refused);
    connection.registry = wl_display_get_registry(connection.display);
    wl_registry_add_listener(connection.registry, &registryListener, &connection);
    if (wl_display_roundtrip(connection.display) < 0 || wl_display_roundtrip(connection.display) < 0)
        return failure("The Wayland compositor did not answer.");
    if (!connection.manager || !connection.shm)
        return failure("The Wayland compositor offers no screen copies (zwlr_screencopy_manager_v1).", WindowAccessError::refused);

    // Outputs by name; in the order of `places` when an output does not tell its name.
    std::vector<Output*> chosen;
    for (std::size_t i = 0; i < places.size(); ++i) {
        Output* match = nullptr;
        for (auto& output : connection.outputs)
            if (output->name == places[i].name)
                match = output.get();
        if (!match)
            return failure("The Wayland compositor has no output " + places[i].name + ".");
        chosen.push_back(match);
    }

    std::vector<FrameContext> contexts(chosen.size());
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        contexts[i] = {&connection, chosen[i]};
        chosen[i]->frame = zwlr_screencopy_manager_v1_capture_output(connection.manager, 0, chosen[i]->output);
        zwlr_screencopy_frame_v1_add_listener(chosen[i]->frame, &frameListener, &contexts[i]);
    }
    const auto pending = [&] {
        return std::any_of(chosen.begin(), chosen.end(), [](Output* output) { return !output->ready && !output->failed; });
    };
    while (pending())
        if (wl_display_dispatch(connection.display) < 0)
            return failure("The Wayland connection broke while the screen was read.");

    std::vector<OutputImage> images;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const Output& output = *chosen[i];
        if (output.failed)
            return failure("The Wayland compositor refused to copy output " + places[i].name + ".");
        const OutputBuffer buffer{
            .width = output.width,
            .height = output.height,
            .bytesPerLine = output.stride,
            .data = static_cast<const std::uint8_t*>(output.memory),
            .bgr = output.format == WL_SHM_FORMAT_XBGR8888 || output.format == WL_SHM_FORMAT_ABGR8888,
            .transform = output.transform,
            .yInverted = output.yInverted,
        };
        images.push_back({places[i].name, orientedImage(buffer, {places[i].area.width, places[i].area.height})});
    }
    return images;
}

} // namespace quandrel::wlroots
