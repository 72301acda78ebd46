#pragma once

// The Save As dialog for screenshots: PNG only, the screenshot's name proposed, starting in
// the screenshots folder.
//
// It never waits in a loop of its own: the dialog is opened and the call returns, so the
// window that asked (a pin, an editor) may close while the dialog is up. The dialog goes
// with that window, and the image is the dialog's own copy, so nothing of the window is
// needed once the person answers.

#include "ImageExport.h"

#include <QString>

#include <functional>
#include <optional>

class QFileDialog;
class QWidget;

namespace quandrel {

// Opens the dialog (transient for `owner`, which may be null) and returns at once. `answer`
// gets the chosen path, or none when the person cancels; it is never called once `owner` is
// gone. The dialog deletes itself when it closes; the answer is what the caller gets back.
QFileDialog* askForSavePath(QWidget* owner, const QString& folder, const QString& proposedName,
                            std::function<void(std::optional<QString> path)> answer);

// Save As with this dialog: asks, then writes the PNG on an encoding thread. `written` is told
// whether a file was written, unless `owner` went first. Failures show nothing.
QFileDialog* saveImageAs(QImage image, double scale, const QString& folder, QWidget* owner = nullptr,
                         std::function<void(bool written)> written = {});

} // namespace quandrel
