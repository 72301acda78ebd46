#include "CaptureWindows.h"

#include "EditorWindowController.h"
#include "ImageExport.h"
#include "PinWindow.h"
#include "Toast.h"

#include <QCoreApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace quandrel {

namespace {

// Owns a widget-side window for the coordinator's lists. The window may be in the middle of
// its own close handling when it is dropped, so it goes later, from the event loop.
class OwnedWindow final : public CaptureWindow {
public:
    OwnedWindow() = default;
    OwnedWindow(const OwnedWindow&) = delete;
    OwnedWindow& operator=(const OwnedWindow&) = delete;
    ~OwnedWindow() override
    {
        if (!m_object)
            return;
        // Out of sight at once, as a pin closed with the others must be.
        if (auto* widget = qobject_cast<QWidget*>(m_object.data()))
            widget->hide();
        m_object->deleteLater();
    }
    void hold(QObject* object) { m_object = object; }

private:
    QPointer<QObject> m_object;
};

} // namespace

CaptureWindows::CaptureWindows(PanelScreens screens)
    : m_screens(std::move(screens))
    , m_thumbnail(m_screens)
{
}

CaptureWindows::~CaptureWindows() = default;

void CaptureWindows::showToast(const QString& message, const QString& symbol)
{
    const auto frame = m_screens.visibleFrame();
    ui::showToast(message, symbol, frame ? m_screens.toGlobal(*frame) : QRect());
}

void CaptureWindows::showThumbnail(const CapturedImage& image, ThumbnailActions actions)
{
    m_thumbnail.show(image, {std::move(actions.edit), std::move(actions.pin), std::move(actions.save), std::move(actions.copy)});
}

void CaptureWindows::dismissThumbnail() { m_thumbnail.dismiss(); }

void CaptureWindows::showCountdown(int secondsLeft)
{
    if (secondsLeft > 0)
        showToast(QCoreApplication::translate("Capture", "Capturing in %n s", nullptr, secondsLeft), QStringLiteral("timer"));
    else
        ui::dismissToast();
}

std::unique_ptr<CaptureWindow> CaptureWindows::openEditor(const CapturedImage& image, Folder folder, ImageAction pin,
                                                          ImageAction readText, Closed onClose)
{
    const std::vector<Display> displays = m_screens.currentDisplays();
    auto* editor = new EditorWindowController(
        image, std::move(folder),
        [pin = std::move(pin)](const QImage& edited, double scale) { pin(CapturedImage{edited, scale}); },
        [this](const QString& text, const QString& symbol) { showToast(text, symbol); },
        EditorWindowController::visibleFrameUnderPointer(displays, m_screens.currentPointer()));
    editor->onReadText = std::move(readText);
    auto owned = std::make_unique<OwnedWindow>();
    owned->hold(editor);
    editor->onClose = [onClose = std::move(onClose), handle = owned.get()](EditorWindowController*) { onClose(handle); };
    editor->show();
    return owned;
}

std::unique_ptr<CaptureWindow> CaptureWindows::pinImage(const CapturedImage& image, Folder folder, ImageAction edit,
                                                        ImageAction readText, Closed onClose)
{
    auto owned = std::make_unique<OwnedWindow>();
    auto* pin = new PinWindow(image.image, image.scale, std::move(folder), std::move(edit),
                              [onClose = std::move(onClose), handle = owned.get()](PinWindow*) { onClose(handle); }, m_screens);
    pin->onReadText = std::move(readText);
    owned->hold(pin);
    pin->show();
    return owned;
}

void CaptureWindows::copyImage(const CapturedImage& image) { quandrel::copyImage(image.image, image.scale); }

void CaptureWindows::copyText(const QString& text) { quandrel::copyText(text); }

bool CaptureWindows::modalDialogShown() const
{
    // A dialog modal for one window only (a pin's or an editor's Save As) blocks that window
    // alone; the overlay stays usable above it.
    const QWindowList windows = QGuiApplication::topLevelWindows();
    return std::any_of(windows.cbegin(), windows.cend(),
                       [](const QWindow* w) { return w->isVisible() && w->modality() == Qt::ApplicationModal; });
}

void CaptureWindows::explainScreenAccess()
{
    auto* box = new QMessageBox(QMessageBox::Information, QCoreApplication::translate("CaptureWindows", "Quandrel can't capture the screen"),
                                QCoreApplication::translate("CaptureWindows", "This desktop session doesn't let Quandrel read the screen. "
                                                                              "Screenshots need an X11 session; in a Wayland session the "
                                                                              "desktop's own screenshot tool has to grant access."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

} // namespace quandrel
