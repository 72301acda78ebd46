// The editor window: its size and place, the toolbar, and the output commands with their
// failures, on the offscreen platform with the outputs replaced by recorders.

#include "CanvasGeometry.h"
#include "EditorCanvasView.h"
#include "EditorView.h"
#include "EditorWindowController.h"

#include <QApplication>
#include <QComboBox>
#include <QColorSpace>
#include <QDir>
#include <QImageReader>
#include <QLabel>
#include <QPromise>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace quandrel;
using Kind = Annotation::Kind;

namespace {

QImage image(int width, int height)
{
    QImage result(width, height, QImage::Format_RGB32);
    result.fill(QColor(90, 140, 200));
    return result;
}

struct Recorded {
    QList<QPair<QString, QString>> toasts;
    QList<QImage> copied, pinned, saved;
    QStringList alerts;
    int closed = 0;
};

class WindowTest : public testing::Test {
protected:
    std::unique_ptr<EditorWindowController> open(QImage picture, double scale = 1,
                                                  std::optional<QRectF> frame = QRectF(0, 0, 1440, 900))
    {
        auto controller = std::make_unique<EditorWindowController>(
            CapturedImage{std::move(picture), scale}, [this] { return folder; },
            [this](const QImage& pinned, double) { recorded.pinned.append(pinned); },
            [this](const QString& text, const QString& symbol) { recorded.toasts.append({text, symbol}); }, frame);
        controller->outputs.copy = [this](const QImage& copied, double) { recorded.copied.append(copied); };
        controller->outputs.save = [this](const QImage& saved, double, const QString&) {
            recorded.saved.append(saved);
            return QtFuture::makeReadyFuture(SaveResult(QStringLiteral("/somewhere/Quandrel 2026-01-01 at 10.00.00.png")));
        };
        controller->outputs.saveAs = [this](const QImage& saved, double, const QString&, QWidget*,
                                            std::function<void(bool)> written) {
            recorded.saved.append(saved);
            written(true);
        };
        controller->outputs.alert = [this](QWidget*, const QString& message) { recorded.alerts.append(message); };
        controller->onClose = [this](EditorWindowController*) { ++recorded.closed; };
        controller->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(controller->window()));
        return controller;
    }

    static void keys(EditorWindowController& c, QKeySequence sequence) { QTest::keySequence(c.view()->canvasView(), sequence); }
    // The output the window would have without the recorders.
    static EditorOutputs defaults() { return EditorWindowController({image(1, 1), 1}, {}, {}, {}, std::nullopt).outputs; }

    Recorded recorded;
    QString folder;
};

// Runs `answer` on the next modal dialog as soon as it appears.
void whenModal(std::function<void(QWidget*)> answer)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        }
    });
    timer->start(0);
}

} // namespace

// The size and place are CanvasGeometry's rule; the window takes them, and its toolbar fits
// the 720-pixel minimum, also with "Reset Crop".
TEST_F(WindowTest, SizedByTheRuleAndCentredOnTheVisibleFrame)
{
    auto c = open(image(800, 600), 2, QRectF(100, 50, 1440, 900));
    EXPECT_EQ(c->window()->pos(), centredOrigin(QSizeF(720, 420), QRectF(100, 50, 1440, 900)).toPoint());
    c->editorDocument().applyCrop(QRectF(0, 0, 100, 100));
    EXPECT_LE(c->window()->minimumSizeHint().width(), 720);
    EXPECT_EQ(c->window()->size(), QSize(720, 420));
}

TEST_F(WindowTest, BadImagesOpenAndPaint)
{
    for (const QSize pixels : {QSize(1, 1), QSize(20000, 200), QSize(16384, 2048)}) {
        SCOPED_TRACE(testing::Message() << pixels.width() << "x" << pixels.height());
        auto c = open(image(pixels.width(), pixels.height()), 1, std::nullopt);
        EditorCanvasView* canvas = c->view()->canvasView();
        EXPECT_GE(canvas->width(), 480);
        EXPECT_GE(canvas->height(), 300);
        canvas->repaint();
        EXPECT_GT(canvas->paintCount(), 0);
        // A drag far beyond the canvas stays inside the image.
        c->editorDocument().setTool(EditorTool::rectangle);
        QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(canvas->width() / 2, canvas->height() / 2));
        QTest::mouseMove(canvas, QPoint(canvas->width() - 1, 0));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(canvas->width() - 1, 0));
        for (const Annotation& a : c->editorDocument().annotations())
            EXPECT_TRUE(QRectF(0, 0, pixels.width(), pixels.height()).contains(a.normalizedRect()));
        keys(*c, QKeySequence(Qt::CTRL | Qt::Key_C));
        ASSERT_FALSE(recorded.copied.isEmpty());
        EXPECT_EQ(recorded.copied.last().size(), pixels);
    }
}

TEST_F(WindowTest, CopyAndPinCloseTheWindowSaveAndSaveAsLeaveItOpen)
{
    auto c = open(image(400, 300));
    keys(*c, QKeySequence(Qt::CTRL | Qt::Key_S));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !recorded.toasts.isEmpty(); }));
    EXPECT_EQ(recorded.toasts, (QList<QPair<QString, QString>>{{"Saved Quandrel 2026-01-01 at 10.00.00.png", "checkmark.circle.fill"}}));
    keys(*c, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    EXPECT_EQ(recorded.saved.size(), 2);
    EXPECT_TRUE(c->window()->isVisible());
    keys(*c, QKeySequence(Qt::CTRL | Qt::Key_C));
    EXPECT_EQ(recorded.copied.size(), 1);
    EXPECT_EQ(recorded.toasts.last(), qMakePair(QStringLiteral("Copied"), QStringLiteral("checkmark.circle.fill")));
    EXPECT_FALSE(c->window()->isVisible());
    EXPECT_EQ(recorded.closed, 1);
    auto d = open(image(400, 300));
    keys(*d, QKeySequence(Qt::CTRL | Qt::Key_P));
    EXPECT_EQ(recorded.pinned.size(), 1);
    EXPECT_FALSE(d->window()->isVisible());
    auto e = open(image(400, 300)); // Ctrl+W closes without output
    keys(*e, QKeySequence(Qt::CTRL | Qt::Key_W));
    EXPECT_FALSE(e->window()->isVisible());
    EXPECT_EQ(recorded.closed, 3);
    EXPECT_EQ(recorded.copied.size() + recorded.pinned.size(), 2);
}

TEST_F(WindowTest, CommandsUseTheFlattenedImageWithTheCropAndOpenText)
{
    auto c = open(image(400, 300));
    EditorDocument& doc = c->editorDocument();
    doc.add(Annotation::create(Kind::rectangle(), {10, 10}, {100, 100}, editorPalette[5], 8));
    doc.applyCrop(QRectF(0, 0, 200, 150));
    // A text still being typed is part of what is copied.
    doc.setTool(EditorTool::text);
    EditorCanvasView* canvas = c->view()->canvasView();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, canvas->mapping().toWidget(QPointF(20, 120)).toPoint());
    QTest::keyClicks(canvas->textField(), QStringLiteral("typed"));
    c->view()->findChild<QPushButton*>(QStringLiteral("copyButton"))->click();
    ASSERT_EQ(recorded.copied.size(), 1);
    EXPECT_EQ(recorded.copied[0].size(), QSize(200, 150));
    ASSERT_EQ(doc.annotations().size(), 2);
    EXPECT_EQ(doc.annotations()[1].kind, Kind::text(QStringLiteral("typed")));
    EXPECT_EQ(recorded.copied[0].pixelColor(10, 149 - 10), QColor(0, 0, 0));
}

TEST_F(WindowTest, AFailedFlatteningUsesTheCapturedImageAndSaysSo)
{
    auto c = open(image(400, 300));
    c->editorDocument().add(Annotation::create(Kind::rectangle(), {10, 10}, {100, 100}, editorPalette[0], 8));
    c->flatten = [](const EditorDocument&) { return std::optional<QImage>(); };
    keys(*c, QKeySequence(Qt::CTRL | Qt::Key_S));
    ASSERT_EQ(recorded.saved.size(), 1);
    EXPECT_EQ(recorded.saved[0], c->editorDocument().image());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !recorded.toasts.isEmpty(); }));
    EXPECT_TRUE(recorded.toasts.last().first.contains(QStringLiteral("without the annotations")));
    keys(*c, QKeySequence(Qt::CTRL | Qt::Key_C));
    ASSERT_EQ(recorded.copied.size(), 1);
    EXPECT_EQ(recorded.copied[0], c->editorDocument().image());
    EXPECT_EQ(recorded.toasts.last().first, QStringLiteral("Copied without the annotations"));
}

TEST_F(WindowTest, TheDefaultSaveWritesTheEditedImageAsOpaqueRgb)
{
    auto c = open(image(64, 48));
    c->editorDocument().add(Annotation::create(Kind::highlight(), {8, 8}, {40, 30}, RGBA{1.0, 0.84, 0.04, 1.0}, 4));
    c->outputs.save = defaults().save;
    QTemporaryDir saved;
    folder = saved.path();
    keys(*c, QKeySequence(Qt::CTRL | Qt::Key_S));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !recorded.toasts.isEmpty(); }, 20000));
    const QStringList files = QDir(saved.path()).entryList({QStringLiteral("*.png")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QImageReader reader(saved.filePath(files.front()));
    QImage decoded = reader.read();
    EXPECT_FALSE(decoded.hasAlphaChannel()) << "written as RGB, not RGB with alpha";
    // Pixel by pixel: the decoded image carries no colour space.
    decoded.setColorSpace(QColorSpace());
    QImage flat = c->editorDocument().flattened().convertToFormat(QImage::Format_RGB32);
    flat.setColorSpace(QColorSpace());
    EXPECT_EQ(decoded.convertToFormat(QImage::Format_RGB32), flat);
    EXPECT_EQ(recorded.toasts.last().first, QStringLiteral("Saved ") + files.front());
}

TEST_F(WindowTest, SavingIntoAnUnwritableFolderShowsTheErrorAndKeepsTheWindow)
{
    auto c = open(image(64, 48));
    c->outputs.save = [](const QImage& i, double s, const QString& f) { return QtFuture::makeReadyFuture(saveImage(i, s, f)); };
    // Even root cannot create files in /proc.
    folder = QStringLiteral("/proc");
    QString shown;
    whenModal([&shown](QWidget* box) {
        for (QLabel* label : box->findChildren<QLabel*>())
            shown += label->text() + QLatin1Char('\n');
        box->close();
    });
    // The default alert is a message box.
    c->outputs.alert = defaults().alert;
    keys(*c, QKeySequence(Qt::CTRL | Qt::Key_S));
    ASSERT_TRUE(QTest::qWaitFor([&shown] { return !shown.isEmpty(); }));
    EXPECT_TRUE(shown.contains(QStringLiteral("Couldn't save the screenshot"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("/proc"))) << shown.toStdString();
    EXPECT_TRUE(recorded.toasts.isEmpty());
    EXPECT_TRUE(c->window()->isVisible());
}

TEST_F(WindowTest, ACancelledSaveAsWritesNothing)
{
    QTemporaryDir dir;
    folder = dir.path();
    auto c = open(image(64, 48));
    c->outputs.saveAs = defaults().saveAs;
    bool asked = false;
    whenModal([&asked](QWidget* dialog) {
        asked = true;
        dialog->close();
    });
    keys(*c, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    ASSERT_TRUE(QTest::qWaitFor([&asked] { return asked; }));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    EXPECT_TRUE(c->window()->isVisible());
    EXPECT_TRUE(recorded.toasts.isEmpty());
}

// Save returns at once; the window can close (and its owner drop the controller, as the
// coordinator does) while the file is still being written, and the late answer finds nothing.
TEST_F(WindowTest, SaveReturnsAtOnceAndAWindowClosedMeanwhileIgnoresTheAnswer)
{
    auto c = open(image(400, 300));
    QPromise<SaveResult> encoding;
    encoding.start();
    c->outputs.save = [&encoding](const QImage&, double, const QString&) { return encoding.future(); };
    bool returned = false;
    bool waitedInside = false;
    // A nested loop under the shortcut would run this before the key press returns.
    QTimer::singleShot(0, [&] {
        if (!returned) {
            waitedInside = true;
            encoding.addResult(SaveResult(QStringLiteral("/somewhere/late.png")));
            encoding.finish();
        }
    });
    keys(*c, QKeySequence(Qt::CTRL | Qt::Key_S));
    returned = true;
    EXPECT_FALSE(waitedInside);
    EXPECT_TRUE(recorded.toasts.isEmpty());

    keys(*c, QKeySequence(Qt::CTRL | Qt::Key_C));
    EXPECT_EQ(recorded.closed, 1);
    c.reset();
    if (!waitedInside) {
        encoding.addResult(SaveResult(QStringLiteral("/somewhere/late.png")));
        encoding.finish();
    }
    // The answer's turn on the event loop comes and goes without a toast.
    bool turn = false;
    QTimer::singleShot(0, [&turn] { turn = true; });
    ASSERT_TRUE(QTest::qWaitFor([&turn] { return turn; }));
    ASSERT_EQ(recorded.toasts.size(), 1);
    EXPECT_EQ(recorded.toasts[0].first, QStringLiteral("Copied"));
}

TEST_F(WindowTest, AToolbarColourRecoloursTheSelectedTextAndResetsItsSizeAsOneStep)
{
    auto c = open(image(400, 300));
    EditorDocument& doc = c->editorDocument();
    Annotation text = Annotation::create(Kind::text(QStringLiteral("big")), {20, 20}, {20, 20}, editorPalette[0], 30);
    doc.add(text);
    doc.setSelectedID(text.id);
    const auto steps = doc.undoStack().size();
    c->view()->styleButton()->click();
    ASSERT_TRUE(c->view()->stylePanel()->isVisible());
    c->view()->swatch(4)->click();
    EXPECT_FALSE(c->view()->stylePanel()->isVisible());
    EXPECT_EQ(doc.color(), editorPalette[4]);
    EXPECT_EQ(doc.annotations()[0].color, editorPalette[4]);
    EXPECT_EQ(doc.annotations()[0].lineWidth, doc.lineWidthForStrokeSize());
    EXPECT_EQ(doc.undoStack().size(), steps + 1);

    c->view()->sizePicker()->activated(2);
    EXPECT_EQ(doc.strokeSize(), StrokeSize::large);
    EXPECT_EQ(doc.annotations()[0].lineWidth, 8);

    c->view()->pickColor = [](const QColor&, QWidget*) { return std::optional<QColor>(QColor(10, 20, 30, 128)); };
    c->view()->colorWell()->click();
    EXPECT_NEAR(doc.annotations()[0].color.alpha, 128 / 255.0, 1e-3);

    // Tool buttons carry their help, set the tool and never take the keyboard from the canvas.
    EXPECT_EQ(c->view()->toolButton(9)->toolTip(), QStringLiteral("Step Number (N)"));
    c->view()->toolButton(12)->click();
    EXPECT_EQ(doc.tool(), EditorTool::crop);
    EXPECT_TRUE(c->view()->canvasView()->hasFocus() || !QApplication::focusWidget());
}

TEST_F(WindowTest, SeveralEditorsAreIndependent)
{
    auto a = open(image(400, 300));
    auto b = open(image(200, 100));
    a->editorDocument().setTool(EditorTool::ellipse);
    a->editorDocument().add(Annotation::create(Kind::line(), {1, 1}, {50, 50}, editorPalette[0], 4));
    EXPECT_EQ(b->editorDocument().tool(), EditorTool::arrow);
    EXPECT_TRUE(b->editorDocument().annotations().isEmpty());
    // Ctrl+C acts on the window in front only.
    a->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(a->window()));
    keys(*a, QKeySequence(Qt::CTRL | Qt::Key_C));
    EXPECT_FALSE(a->window()->isVisible());
    EXPECT_TRUE(b->window()->isVisible());
}

TEST_F(WindowTest, UndoRedoAndResetCropFollowTheCropAndCopyTextReadsWhatTheWindowShows)
{
    auto c = open(image(400, 300));
    EditorDocument& doc = c->editorDocument();
    QPushButton* reset = c->view()->resetCropButton();
    EXPECT_FALSE(reset->isVisible());
    doc.applyCrop(QRectF(10, 10, 100, 100));
    EXPECT_TRUE(reset->isVisible());
    keys(*c, QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_FALSE(reset->isVisible());
    keys(*c, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EXPECT_TRUE(reset->isVisible());
    reset->click();
    EXPECT_FALSE(doc.crop());
    EXPECT_FALSE(reset->isVisible());
    doc.add(Annotation::create(Kind::line(), {1, 1}, {50, 50}, editorPalette[0], 4));
    keys(*c, QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_TRUE(doc.annotations().isEmpty());
    keys(*c, QKeySequence(Qt::CTRL | Qt::Key_Y));
    EXPECT_EQ(doc.annotations().size(), 1);

    // Without a reader the command is not offered; with one, it gets the cropped image.
    EXPECT_FALSE(c->view()->copyTextButton()->isVisible());
    std::optional<CapturedImage> read;
    c->onReadText = [&read](const CapturedImage& image) { read = image; };
    c->show();
    ASSERT_TRUE(c->view()->copyTextButton()->isVisible());
    doc.applyCrop(QRectF(10, 10, 100, 50));
    keys(*c, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->image.size(), QSize(100, 50));
    EXPECT_TRUE(c->window()->isVisible()); // the window stays
}
