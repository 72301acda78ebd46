#pragma once

// sway's answers read into plain values: the windows of GET_TREE, and the displays of
// GET_OUTPUTS with GET_WORKSPACES. Sway's layout coordinates (logical pixels, origin top-left
// of the layout, y down) are Quandrel's window space; the displays come out in screen space.
// Anything missing or of the wrong JSON type is skipped, never trusted.

#include "Display.h"
#include "Geometry.h"
#include "WindowAccess.h"

#include <QJsonDocument>

#include <optional>
#include <string>
#include <vector>

namespace quandrel::sway {

// The name of the workspace sway keeps hidden windows on.
inline constexpr char scratchpadWorkspace[] = "__i3_scratch";

// One window (a view: a container holding a client's surface).
struct SwayWindow {
    WindowHandle id;           // sway's container id
    std::int32_t pid = 0;
    std::string appId;         // xdg-shell app_id; empty for Xwayland windows
    std::string title;
    std::string windowClass;   // Xwayland WM_CLASS class and instance; empty otherwise
    std::string windowInstance;
    std::string windowType;    // Xwayland _NET_WM_WINDOW_TYPE ("normal", "dialog", …); empty otherwise
    Rect frame;                // layout coordinates, the title bar and borders included
    bool floating = false;
    bool focused = false;
    bool visible = false;
    std::string workspace;     // scratchpadWorkspace for hidden windows
    std::string output;

    bool inScratchpad() const { return workspace == scratchpadWorkspace; }
};

// The windows of a GET_TREE reply, front to back: in sway's focus order (the most recently
// focused first). None when the reply is not a tree.
std::optional<std::vector<SwayWindow>> windowsFromTree(const QJsonDocument& tree);

// The displays of GET_OUTPUTS and GET_WORKSPACES replies: active outputs, the output at the
// layout's origin first (sway has no primary output; that one is the pivot of screen space),
// each with its visible workspace's area as the visible frame (the output less bars and
// panels that reserve space). None when the outputs reply is not a list.
std::optional<std::vector<Display>> displaysFromOutputs(const QJsonDocument& outputs, const QJsonDocument& workspaces);

} // namespace quandrel::sway
