#include "EditorWindowController.h"

#include "CanvasGeometry.h"
#include "EditorCanvasView.h"
#include "EditorView.h"
#include "ScreenCapturer.h"
#include "ScreenSpace.h"
#include "Symbols.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QVBoxLayout>

namespace quandrel {

namespace {

const QString doneSymbol = QStringLiteral("checkmark.circle.fill");
const QString warningSymbol = QStringLiteral("exclamationmark.triangle.fill");

// The top-level window; tells its controller before it closes.
class EditorWindow : public QWidget {
public:
    std::function<void()> closing;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        QWidget::closeEvent(event);
        if (event->isAccepted() && closing)
            closing();
    }
};

} // namespace

EditorWindowController::EditorWindowController(CapturedImage image,
                                               std::function<QString()> folderProvider,
                                               std::function<void(const QImage&, double)> pinAction, ToastFunction toast,
                                               std::optional<QRectF> visibleFrame, QObject* parent)
    : QObject(parent)
    , m_document(std::make_unique<EditorDocument>(std::move(image.image), image.scale > 0 ? image.scale : 1))
    , m_folderProvider(std::move(folderProvider))
    , m_pinAction(std::move(pinAction))
    , m_toast(std::move(toast))
{
    outputs.alert = [](QWidget* parent, const QString& message) {
        auto* box = new QMessageBox(QMessageBox::Warning, tr(windowTitle),
                                    tr("Couldn't save the screenshot"), QMessageBox::Ok, parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setInformativeText(message);
        box->open(); // modal for its window only, and no loop of its own
    };
    flatten = [](const EditorDocument& document) { return document.tryFlatten(); };

    auto window = std::make_unique<EditorWindow>();
    window->setWindowTitle(tr(windowTitle));
    window->setWindowIcon(ui::applicationIcon());
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->closing = [this] { windowClosing(); };

    // Each action holds the controller weakly: one arriving after it is gone does nothing.
    QPointer<EditorWindowController> self(this);
    const auto weakly = [self](void (EditorWindowController::*command)()) {
        return [self, command] {
            if (self)
                (self.data()->*command)();
        };
    };
    m_view = new EditorView(*m_document,
                            {weakly(&EditorWindowController::copy), weakly(&EditorWindowController::save),
                             weakly(&EditorWindowController::saveAs), weakly(&EditorWindowController::pin),
                             weakly(&EditorWindowController::copyText)},
                            window.get());
    auto* layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    const QRectF frame = visibleFrame.value_or(fallbackVisibleFrame);
    const QSizeF content = editorContentSize(m_document->image().size(), m_document->scale(), frame.size());
    // The toolbar may need more width than the rule gives on a small display; the layout's
    // minimum wins then.
    const QSize size = content.toSize().expandedTo(window->minimumSizeHint());
    window->resize(size);
    window->move(centredOrigin(QSizeF(size), frame).toPoint());
    m_window = std::move(window);
}

EditorWindowController::~EditorWindowController()
{
    // The window goes before the document its views refer to.
    m_window.reset();
}

std::optional<QRectF> EditorWindowController::visibleFrameUnderPointer(const std::vector<Display>& displays,
                                                                      std::optional<Point> pointer)
{
    if (displays.empty())
        return std::nullopt;
    const ScreenSpace space = ScreenSpace::of(displays);
    std::optional<Display> display = pointer ? ScreenCapturer::screenAt(displays, space.fromWindow(*pointer))
                                             : std::optional<Display>(displays.front());
    if (!display)
        display = displays.front();
    const Rect r = space.toWindow(display->visibleFrame);
    return QRectF(r.x, r.y, r.width, r.height);
}

QWidget* EditorWindowController::window() const { return m_window.get(); }

void EditorWindowController::show()
{
    m_view->setCopyTextAvailable(bool(onReadText));
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    m_view->canvasView()->setFocus(Qt::ActiveWindowFocusReason);
}

void EditorWindowController::windowClosing()
{
    if (m_closing)
        return;
    m_closing = true;
    if (onClose)
        onClose(this);
}

EditorWindowController::Output EditorWindowController::output() const
{
    std::optional<QImage> flat = flatten ? flatten(*m_document) : m_document->tryFlatten();
    if (flat && !flat->isNull())
        return {*flat, true};
    // The captured image is better than nothing; the user is told it lacks the annotations.
    return {m_document->image(), false};
}

void EditorWindowController::copy()
{
    const Output out = output();
    if (outputs.copy)
        outputs.copy(out.image, m_document->scale());
    if (m_toast)
        m_toast(out.complete ? tr("Copied") : tr("Copied without the annotations"),
                out.complete ? doneSymbol : warningSymbol);
    m_window->close();
}

void EditorWindowController::save()
{
    const Output out = output();
    if (!outputs.save) {
        if (outputs.alert)
            outputs.alert(m_window.get(), tr("Saving is not available."));
        return;
    }
    // The answer comes back through the event loop, to this controller only while it exists.
    // The continuation's context is the application, which outlives every write: a context
    // destroyed before the answer is a dangling one to this Qt's continuations.
    const bool complete = out.complete;
    QPointer<EditorWindowController> self(this);
    outputs.save(out.image, m_document->scale(), m_folderProvider ? m_folderProvider() : QString())
        .then(QCoreApplication::instance(), [self, complete](const SaveResult& result) {
            if (self)
                self->saved(result, complete);
        });
}

void EditorWindowController::saved(const SaveResult& result, bool complete)
{
    if (const auto* error = std::get_if<SaveError>(&result)) {
        if (outputs.alert)
            outputs.alert(m_window.get(), error->message);
        return;
    }
    const QString name = QFileInfo(std::get<QString>(result)).fileName();
    if (m_toast)
        m_toast(complete ? tr("Saved %1").arg(name) : tr("Saved %1 without the annotations").arg(name),
                complete ? doneSymbol : warningSymbol);
}

void EditorWindowController::saveAs()
{
    const Output out = output();
    if (!outputs.saveAs)
        return;
    QPointer<EditorWindowController> self(this);
    const bool complete = out.complete;
    outputs.saveAs(out.image, m_document->scale(), m_folderProvider ? m_folderProvider() : QString(), m_window.get(),
                   [self, complete](bool written) {
                       if (self && written && !complete && self->m_toast)
                           self->m_toast(tr("Saved without the annotations"), warningSymbol);
                   });
}

void EditorWindowController::copyText()
{
    // What the window shows: the annotations drawn (a pixelated or blurred area stays
    // unreadable), cut to the crop. The window stays open.
    if (onReadText)
        onReadText(CapturedImage{output().image, m_document->scale()});
}

void EditorWindowController::pin()
{
    const Output out = output();
    if (m_pinAction)
        m_pinAction(out.image, m_document->scale());
    if (!out.complete && m_toast)
        m_toast(tr("Pinned without the annotations"), warningSymbol);
    m_window->close();
}

} // namespace quandrel
