#pragma once

// Every user setting in one record, stored as one JSON document. Missing members take their
// defaults; any malformed member makes the whole document undecodable (and the caller then
// uses the defaults), so a half-understood document never mixes with defaults.

#include "AfterCapture.h"
#include "AppBinding.h"
#include "CaptureMode.h"
#include "Shortcut.h"
#include "WindowAction.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QString>

#include <array>
#include <map>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

namespace quandrel {

struct QuandrelSettings {
    std::map<WindowAction, Shortcut> windowShortcuts = defaultWindowShortcuts();
    std::map<CaptureMode, Shortcut> captureShortcuts = defaultCaptureShortcuts();
    std::vector<AppBinding> appBindings;
    double gap = 0;
    RepeatBehavior repeatBehavior = RepeatBehavior::cycleSizes;
    bool dragToSnap = true;
    bool restoreSizeOnDrag = true;
    AfterCapture afterCapture = AfterCapture::copyAndThumbnail;
    bool includePointer = false; // screenshots show the pointer where it was
    bool adjustBeforeCapturing = false; // a dragged area keeps handles until Return
    std::optional<QByteArray> saveFolderBookmark; // the folder's absolute path, UTF-8
    bool hasCompletedOnboarding = false;

    bool operator==(const QuandrelSettings&) const = default;
};

QByteArray encodeSettings(const QuandrelSettings& settings, QJsonDocument::JsonFormat format = QJsonDocument::Compact);

// Why a settings document was refused: the member and what it should hold, or the line and
// column of a syntax error.
struct SettingsError {
    QString message;
};
using SettingsDecoding = std::variant<QuandrelSettings, SettingsError>;
SettingsDecoding decodeSettingsDocument(const QByteArray& json);

// The same without the reason.
std::optional<QuandrelSettings> decodeSettings(const QByteArray& json);

// The folder screenshots are saved to: the stored folder (saveFolderBookmark, an absolute
// path in UTF-8) while it exists, else the Pictures folder's "Quandrel", which may not exist
// yet. The stored value is kept either way.
QString screenshotsFolder(const std::optional<QByteArray>& saveFolderBookmark);

} // namespace quandrel
