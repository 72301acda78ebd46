#pragma once

// Every output of a wlroots compositor (sway, Hyprland, river, labwc, Wayfire) read through
// zwlr_screencopy_manager_v1, on a Wayland connection of its own beside Qt's: plain
// libwayland-client, so it may run on any thread. Each image is what the user sees on that
// output: the output's transform applied and its scale taken out, so one image pixel is one
// pixel of the compositor's layout.

#include "ScreenCapture.h"

#include <string>
#include <vector>

namespace quandrel::wlroots {

// Where an output sits in the compositor's layout, by its wl_output name ("HEADLESS-1").
struct OutputPlace {
    std::string name;
    Rect area; // layout pixels
};

struct OutputImage {
    std::string name;
    PixelBuffer image; // area.size of its OutputPlace
};

// How the compositor hands out one output's pixels: the buffer's size and rows, its
// wl_output transform and whether its rows come bottom first.
struct OutputBuffer {
    int width = 0;
    int height = 0;
    std::ptrdiff_t bytesPerLine = 0;
    const std::uint8_t* data = nullptr;
    bool bgr = false;     // XBGR/ABGR rather than XRGB/ARGB
    int transform = 0;    // wl_output_transform
    bool yInverted = false;
};

// The buffer as the user sees it at `size` layout pixels: turned, flipped and scaled.
PixelBuffer orientedImage(const OutputBuffer& buffer, Size size);

// Whether the compositor of $WAYLAND_DISPLAY offers screen copies (one round trip).
bool screencopyOffered();

// Reads every output in `places` at once; blocks until the compositor has answered (off the
// UI thread). Fails when there is no Wayland display, no screencopy, or an output is refused.
GrabResult<std::vector<OutputImage>> captureOutputs(const std::vector<OutputPlace>& places);

} // namespace quandrel::wlroots
