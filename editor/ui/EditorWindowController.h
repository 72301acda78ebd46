#pragma once

// One editor window: the document for a captured image, the window with the toolbar and
// the canvas, its place on screen, and the four output commands (copy, save, save as, pin)
// on the flattened image. Several can be open at once; each is independent.
//
// The owner keeps the controller and drops it in onClose, later than the call itself
// (deleteLater), since onClose runs while the window is closing.

#include "CapturedImage.h"
#include "Display.h"
#include "EditorDocument.h"
#include "ImageExport.h"
#include "SaveAsDialog.h"

#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QRectF>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace quandrel {

class EditorView;

// Shows a short notice ("Copied", "Saved …") with a symbol name; the floating toast.
using ToastFunction = std::function<void(const QString& text, const QString& symbol)>;

// Where the images go. The defaults are the application's image export; tests replace them.
// None of them waits in a loop of its own: the window (and this controller with it) may
// close while a file is still being written, and what follows the write is then dropped.
struct EditorOutputs {
    std::function<void(const QImage& image, double scale)> copy = &copyImage;
    // Saves into the folder on an encoding thread; the future gets the file, or why not.
    std::function<QFuture<SaveResult>(const QImage& image, double scale, const QString& folder)> save =
        [](const QImage& image, double scale, const QString& folder) { return saveImageInBackground(image, scale, folder); };
    // Opens the Save As dialog over `parent` and returns; `written` is told whether a file was
    // written, unless the window went first.
    std::function<void(const QImage& image, double scale, const QString& folder, QWidget* parent,
                       std::function<void(bool written)> written)>
        saveAs = [](const QImage& image, double scale, const QString& folder, QWidget* parent,
                    std::function<void(bool)> written) { saveImageAs(image, scale, folder, parent, std::move(written)); };
    // Tells about a failed save over the window, window-modal, and returns; a message box by
    // default.
    std::function<void(QWidget* parent, const QString& message)> alert;
};

class EditorWindowController : public QObject {
    Q_OBJECT

public:
    static constexpr const char* windowTitle = QT_TR_NOOP("Quandrel Screenshot");
    // Used when no display is known at all.
    static constexpr QRectF fallbackVisibleFrame{0, 0, 1440, 900};

    // visibleFrame: the visible frame (without docks and panels) of the display to open on,
    // in window space (the X root's coordinates, y down); none for the fallback frame.
    EditorWindowController(CapturedImage image, std::function<QString()> folderProvider,
                           std::function<void(const QImage& image, double scale)> pinAction, ToastFunction toast,
                           std::optional<QRectF> visibleFrame, QObject* parent = nullptr);
    ~EditorWindowController() override;

    // The visible frame, in window space, of the display under the pointer (itself in window
    // space), else of the primary display; none without displays.
    static std::optional<QRectF> visibleFrameUnderPointer(const std::vector<Display>& displays,
                                                          std::optional<Point> pointer);

    EditorDocument& editorDocument() { return *m_document; }
    QWidget* window() const;
    EditorView* view() const { return m_view; }

    // Invoked when the window is about to close, with this controller.
    std::function<void(EditorWindowController*)> onClose;

    // Replaceable outputs and the flattening step (tests make them fail).
    EditorOutputs outputs;
    std::function<std::optional<QImage>(const EditorDocument&)> flatten;

    // Shows the window, brings it to the front and gives it the keyboard.
    void show();

    void copy();
    void save();
    void saveAs();
    void pin();
    void copyText();

    // Reads the text in what the window shows (Copy Text, Ctrl+Shift+C); set before show(),
    // without it the editor has no such command.
    std::function<void(const CapturedImage&)> onReadText;

private:
    struct Output {
        QImage image;
        bool complete = true; // false: the annotations could not be drawn
    };
    Output output() const;
    void saved(const SaveResult& result, bool complete);
    void windowClosing();

    std::unique_ptr<EditorDocument> m_document;
    std::unique_ptr<QWidget> m_window;
    EditorView* m_view = nullptr;
    std::function<QString()> m_folderProvider;
    std::function<void(const QImage&, double)> m_pinAction;
    ToastFunction m_toast;
    bool m_closing = false;
};

} // namespace quandrel
