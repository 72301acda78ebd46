#pragma once

// sway's outputs as displays (SwayTree.h says how).

#include "Display.h"

namespace quandrel::sway {

class SwayIpc;

class SwayDisplays final : public DisplayProvider {
public:
    explicit SwayDisplays(SwayIpc& ipc) : m_ipc(ipc) {}
    // Empty when sway does not answer.
    std::vector<Display> displays() override;

private:
    SwayIpc& m_ipc;
};

} // namespace quandrel::sway
