#include "SaveAsDialog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QPointer>
#include <QTimer>

namespace quandrel {

QFileDialog* askForSavePath(QWidget* owner, const QString& folder, const QString& proposedName,
                            std::function<void(std::optional<QString> path)> answer)
{
    // A child of the owner, so that it closes with it; deleted when it closes.
    auto* dialog = new QFileDialog(owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setMimeTypeFilters({QStringLiteral("image/png")});
    dialog->setDefaultSuffix(QStringLiteral("png"));
    dialog->setDirectory(folder);
    dialog->selectFile(proposedName);
    // finished() comes once, also when the dialog is closed by its title bar; the dialog is
    // its context, so an owner that goes takes the answer with it.
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, answer = std::move(answer)](int result) {
        const QStringList files = dialog->selectedFiles();
        if (!answer)
            return;
        if (result != QDialog::Accepted || files.isEmpty() || files.constFirst().isEmpty())
            answer(std::nullopt);
        else
            answer(files.constFirst());
    });
    // Modal for its owner only: the rest of Quandrel (an overlay above all, other pins) keeps
    // its input.
    dialog->open();
    // Quandrel has no window in front when this is asked from a tray menu or a pin.
    QTimer::singleShot(0, dialog, [dialog] {
        dialog->raise();
        dialog->activateWindow();
    });
    return dialog;
}

QFileDialog* saveImageAs(QImage image, double scale, const QString& folder, QWidget* owner,
                         std::function<void(bool written)> written)
{
    QPointer<QWidget> guard(owner);
    const bool owned = owner != nullptr;
    return askForSavePath(
        owner, folder, screenshotFileName(QDateTime::currentDateTime()),
        [image = std::move(image), scale, guard, owned, written = std::move(written)](std::optional<QString> path) {
            if (!path)
                return;
            QFuture<bool> future = writePngInBackground(image, scale, *path);
            if (!written)
                return;
            // Told on the event loop's thread, and only while the owner is there. The context is
            // the application, which outlives the write: a context that goes first would be
            // a dangling one to this Qt's continuations.
            if (owned && !guard)
                return;
            future.then(QCoreApplication::instance(), [guard, owned, written](bool ok) {
                if (!owned || guard)
                    written(ok);
            });
        });
}

} // namespace quandrel
