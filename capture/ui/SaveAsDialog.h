#pragma once

// The Save As dialog for screenshots: PNG only, the screenshot's name proposed, starting in
// the screenshots folder.

#include "ImageExport.h"

#include <QString>

#include <optional>

class QWidget;

namespace quandrel {

// Asks for a path to save a PNG at; none when the person cancels.
std::optional<QString> askForSavePath(QWidget* parent, const QString& folder, const QString& proposedName);

// saveImageAs() with this dialog.
bool saveImageAs(const QImage& image, double scale, const QString& folder, QWidget* parent = nullptr);

} // namespace quandrel
