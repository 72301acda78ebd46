#pragma once

// Every way an image leaves Quandrel: the clipboard, PNG bytes, the screenshot's file name
// and saving into the screenshots folder (Save As, which asks first, is the UI's:
// capture/ui/SaveAsDialog). Nothing here keeps state. Encoding a large image takes longer
// than a frame, so the event loop's callers use the …InBackground forms and copyImage, which
// encodes on another thread; pngData, imageMimeData, saveImage and writePng may run on any
// thread.
//
// The screenshots folder is stored as its absolute path in UTF-8 bytes. It is used when it
// names an existing folder; otherwise screenshots go to "Quandrel" inside the XDG Pictures
// folder, which is created when needed.

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>
#include <QString>

#include <functional>
#include <optional>
#include <variant>

class QMimeData;

namespace quandrel {

class ClipboardWriter;

// PNG bytes carrying a physical resolution of 72 x scale DPI (a pHYs chunk); none when the
// image cannot be encoded.
std::optional<QByteArray> pngData(const QImage& image, double scale);

// The clipboard contents copyImage() sets, encoded here: "image/png", Qt's own image, and
// "x-kde-force-image-copy", without which KDE's clipboard manager drops image-only copies.
QMimeData* imageMimeData(const QImage& image, double scale);

// Puts the image on the clipboard, where it stays while Quandrel runs or until replaced.
// Qt serves other programs' requests for the clipboard on the event loop's thread, and a
// clipboard manager asks for the PNG the moment the clipboard changes; so the PNG is encoded
// first, on another thread, and the clipboard is taken when it is ready (a tenth of a second
// for a 4K screenshot) and served without delay from then on. A copy made meanwhile, by
// Quandrel or by another program, wins: the future answers whether this image went on the
// clipboard.
QFuture<bool> copyImage(const QImage& image, double scale);

// Replaces the clipboard's contents with the text alone, as "text/plain;charset=utf-8" and
// the other text types Wayland and X programs ask for.
void copyText(const QString& text);

// Where copyImage and copyText put their copies before Qt's clipboard: the session's own
// way (PlatformServices::clipboard), set once at start and valid while copies are made;
// none, Qt's clipboard alone. An image goes there as "image/png" and
// "x-kde-force-image-copy".
void useClipboardWriter(ClipboardWriter* writer);

// "Quandrel 2026-12-05 at 15.49.42.png" for that moment in the local time zone.
QString screenshotFileName(const QDateTime& when);

struct SaveError {
    QString message;
};
using SaveResult = std::variant<QString, SaveError>; // the written file's path, or why not

// Saves the image into `folder` (made when missing) under screenshotFileName(), with " 2", " 3" ...
// before the extension while that name is taken. The file appears complete or not at all,
// and an existing file is never replaced, even by another program's save at the same moment.
// It is readable by the user alone (0600), as writePng's are; a folder made here (the
// default one) is made 0700, a folder that exists keeps its own mode.
SaveResult saveImage(const QImage& image, double scale, const QString& folder,
                     const std::function<QDateTime()>& now = &QDateTime::currentDateTime);

// Writes the PNG to `path` atomically, replacing what was there. Answers whether it did.
bool writePng(const QImage& image, double scale, const QString& path);

// saveImage and writePng on an encoding thread of lower priority, for callers on the event loop's
// thread (a coroutine co_awaits the future with QCoro). `now` is called on that thread.
QFuture<SaveResult> saveImageInBackground(const QImage& image, double scale, const QString& folder,
                                          std::function<QDateTime()> now = &QDateTime::currentDateTime);
QFuture<bool> writePngInBackground(const QImage& image, double scale, const QString& path);

// The image scaled smoothly to `size` pixels, on the same threads: for showing a large image
// at a size of its own without stopping the event loop.
QFuture<QImage> scaledInBackground(const QImage& image, QSize size);

// The future's result, the calling thread's event loop running until it is there: for tests
// and tools. Never under a slot whose object can go meanwhile (a window's command): those
// continue from the future instead (QFuture::then with the object as context).
template <typename T>
T resultWhileEventsRun(const QFuture<T>& future)
{
    QFutureWatcher<T> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
    return future.result();
}

} // namespace quandrel
