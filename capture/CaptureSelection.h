#pragma once

// What the person chose on the frozen displays, and the seam through which the capture
// asks for that choice. The selection overlay answers it on screen; tests answer it directly.

#include "CapturedImage.h"

#include <QCoroTask>

#include <optional>
#include <variant>
#include <vector>

namespace quandrel {

// A dragged rectangle (screen space, whole points) and the display it was dragged on.
struct AreaSelection {
    Rect rect;
    FrozenDisplay display;
};

// A picked window and the display that holds its centre.
struct WindowSelection {
    PickableWindow window;
    FrozenDisplay display;
};

using CaptureSelection = std::variant<AreaSelection, WindowSelection>;

class SelectionPresenter {
public:
    virtual ~SelectionPresenter() = default;

    // Shows the frozen displays and resumes with the person's choice: none when they
    // cancelled, or when the displays changed while the choice was open; an error when the
    // keyboard and pointer could not be taken (another program holds them), so that no
    // choice is shown that could not be left.
    virtual QCoro::Task<CaptureResult<std::optional<CaptureSelection>>>
    select(std::vector<FrozenDisplay> displays, std::vector<PickableWindow> windows, bool windowMode) = 0;
};

} // namespace quandrel
