#pragma once

// The values a capture passes around: images with their scale, frozen displays, the windows
// window mode can pick, and the one error of its own.

#include "Display.h"
#include "WindowAccess.h"

#include <QImage>
#include <QString>

#include <variant>

namespace quandrel {

// A bitmap and its scale: pixels per point of what it shows.
struct CapturedImage {
    QImage image;
    double scale = 1;
};

// One display as it was at the moment of freezing, at its full pixel size.
struct FrozenDisplay {
    Display screen;
    CapturedImage image;
};

// A window that window mode offers, with its frame in screen space. Not a ScreenWindow
// (ScreenCapture.h): that is the platform's listing in window space with what it was chosen
// by (pid, ordinary); this is the capture's choice in the space its selection works in, and
// keeping the two types apart keeps the two spaces from being mixed up.
struct PickableWindow {
    WindowHandle window;
    Rect frame;
    bool operator==(const PickableWindow&) const = default;
};

struct CaptureError {
    enum class Code {
        noDisplays, // nothing could be frozen
        platform,   // the X server refused; `detail` says how
    };
    Code code = Code::noDisplays;
    QString detail;

    static CaptureError noDisplays() { return {Code::noDisplays, {}}; }
    static CaptureError platform(const std::string& detail) { return {Code::platform, QString::fromStdString(detail)}; }

    QString description() const
    {
        return code == Code::noDisplays ? QStringLiteral("There's no display to capture.") : detail;
    }
};

template <typename T>
using CaptureResult = std::variant<T, CaptureError>;

} // namespace quandrel
