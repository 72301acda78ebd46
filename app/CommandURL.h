#pragma once

// The commands other programs send as quandrel:// URLs:
//
//   quandrel://window/<action>        quandrel://capture/<mode>[?then=editor|edit|pin|copy|save|thumbnail]
//   quandrel://app/<desktop id>       quandrel://settings        quandrel://pins/close

#include "CaptureMode.h"
#include "QuandrelSettings.h"
#include "WindowAction.h"

#include <QUrl>

#include <optional>
#include <string>

namespace quandrel {

struct Command {
    enum class Kind { window, capture, app, settings, closePins, invalid };
    Kind kind = Kind::invalid;
    WindowAction windowAction = WindowAction::leftHalf;
    CaptureMode captureMode = CaptureMode::area;
    std::optional<AfterCapture> then;
    std::string desktopId;
    bool operator==(const Command&) const = default;
};

Command parseCommandURL(const QUrl& url);
std::optional<AfterCapture> afterCaptureFromThen(const QString& value);

} // namespace quandrel
