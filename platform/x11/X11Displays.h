#pragma once

// Displays on X11: the RandR 1.5 monitors, primary first, with visible frames that leave out
// the docks' and panels' struts (WorkArea.h).

#include "Display.h"

namespace quandrel::x11 {

class X11Connection;

class X11Displays final : public DisplayProvider {
public:
    explicit X11Displays(X11Connection& connection);
    std::vector<Display> displays() override;

private:
    X11Connection& m_connection;
};

} // namespace quandrel::x11
