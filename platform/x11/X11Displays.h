#pragma once

// Displays on X11: the RandR 1.5 monitors, primary first, with visible frames that leave out
// the docks' and panels' struts (WorkArea.h). Each takes the scale Qt gives its screen
// (Xft.dpi, QT_SCALE_FACTOR, QT_SCREEN_SCALE_FACTORS; 1 without a GUI application), and its
// frames are in points as ScreenSpace.h describes.

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

// Qt's screens as displays that carry what converting between points and pixels needs
// (ScreenSpace.h), without a request to the server: none when every scale is 1 or there is
// no GUI application, so that nothing is converted then. On the GUI thread only.
std::vector<Display> scaledScreens();

} // namespace quandrel::x11
