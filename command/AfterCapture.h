#pragma once

// What happens to a screenshot once it is taken. Stored by raw name (the case name).

#include <QString>

#include <array>
#include <optional>
#include <string_view>

namespace quandrel {

enum class AfterCapture {
    copyAndThumbnail,
    openEditor,
    pin,
    copyOnly,
    save,
};

inline constexpr std::array allAfterCaptures = {AfterCapture::copyAndThumbnail, AfterCapture::openEditor, AfterCapture::pin,
                                                AfterCapture::copyOnly, AfterCapture::save};

std::string_view rawName(AfterCapture value);
std::string_view label(AfterCapture value);
// The label in the user's language.
QString displayLabel(AfterCapture value);
std::optional<AfterCapture> afterCaptureFromRawName(std::string_view raw);

} // namespace quandrel
