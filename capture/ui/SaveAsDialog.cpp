#include "SaveAsDialog.h"

#include <QFileDialog>
#include <QTimer>

namespace quandrel {

std::optional<QString> askForSavePath(QWidget* parent, const QString& folder, const QString& proposedName)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setMimeTypeFilters({QStringLiteral("image/png")});
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.setDirectory(folder);
    dialog.selectFile(proposedName);
    // Quandrel has no window in front when this is asked from a tray menu or a pin.
    QTimer::singleShot(0, &dialog, [&dialog] {
        dialog.raise();
        dialog.activateWindow();
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

bool saveImageAs(const QImage& image, double scale, const QString& folder, QWidget* parent)
{
    return saveImageAs(image, scale, folder,
                       [parent](const QString& folder, const QString& name) { return askForSavePath(parent, folder, name); });
}

} // namespace quandrel
