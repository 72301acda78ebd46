#include "EditorDocument.h"
#include "EditorTestSupport.h"

#include <QColorSpace>
#include <gtest/gtest.h>

using namespace quandrel;
using Kind = Annotation::Kind;

namespace {

constexpr RGBA blue{0.0, 0.48, 1.0, 1.0};

Annotation line(double x = 0) { return Annotation::create(Kind::line(), {x, 0}, {x + 10, 10}, blue, 4); }

Annotation step(int number) { return Annotation::create(Kind::step(number), {50, 50}, {50, 50}, blue, 4); }

// Counts every notification a document gives.
class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        document.setOnChange([this] { ++changes; });
        QObject::connect(&document, &EditorDocument::toolChanged, [this] { ++toolSignals; });
        QObject::connect(&document, &EditorDocument::colorChanged, [this] { ++colorSignals; });
        QObject::connect(&document, &EditorDocument::strokeSizeChanged, [this] { ++strokeSignals; });
        QObject::connect(&document, &EditorDocument::selectionChanged, [this] { ++selectionSignals; });
        QObject::connect(&document, &EditorDocument::cropChanged, [this] { ++cropSignals; });
    }

    EditorDocument document{filledImage(200, 100, Qt::white), 2};
    int changes = 0;
    int toolSignals = 0;
    int colorSignals = 0;
    int strokeSignals = 0;
    int selectionSignals = 0;
    int cropSignals = 0;
};

} // namespace

TEST_F(DocumentTest, StartsEmptyWithTheArrowTheFirstColourAndMediumStrokes)
{
    EXPECT_TRUE(document.annotations().isEmpty());
    EXPECT_EQ(document.crop(), std::nullopt);
    EXPECT_EQ(document.tool(), EditorTool::arrow);
    EXPECT_EQ(document.color(), (RGBA{1.0, 0.23, 0.19, 1.0}));
    EXPECT_EQ(document.strokeSize(), StrokeSize::medium);
    EXPECT_EQ(document.selectedID(), std::nullopt);
    EXPECT_TRUE(document.undoStack().isEmpty());
    EXPECT_TRUE(document.redoStack().isEmpty());
    EXPECT_EQ(document.scale(), 2);
    EXPECT_EQ(document.image().size(), QSize(200, 100));
}

// --- undo and redo ---------------------------------------------------------------------

TEST_F(DocumentTest, TheUndoHistoryKeepsTwoHundredSteps)
{
    for (int i = 0; i < 250; ++i)
        document.add(line(i));
    EXPECT_EQ(document.undoStack().size(), 200);
    int undos = 0;
    while (!document.undoStack().isEmpty()) {
        document.undo();
        ++undos;
    }
    EXPECT_EQ(undos, 200);
    // The 50 oldest additions can no longer be undone.
    ASSERT_EQ(document.annotations().size(), 50);
    EXPECT_EQ(document.annotations().last().start, QPointF(49, 0));
    const int before = changes;
    document.undo();
    EXPECT_EQ(document.annotations().size(), 50);
    EXPECT_EQ(changes, before);
    // Everything can be redone again; redo is not bounded by the checkpoint's limit.
    int redos = 0;
    while (!document.redoStack().isEmpty()) {
        document.redo();
        ++redos;
    }
    EXPECT_EQ(redos, 200);
    EXPECT_EQ(document.annotations().size(), 250);
}

TEST_F(DocumentTest, UndoAndRedoRestoreTheAnnotations)
{
    const Annotation first = line(1);
    const Annotation second = line(2);
    document.add(first);
    document.add(second);
    document.update(second.moved(5, 5), UndoRecording::record);
    document.undo();
    EXPECT_EQ(document.annotations(), (QList<Annotation>{first, second}));
    document.undo();
    EXPECT_EQ(document.annotations(), (QList<Annotation>{first}));
    document.redo();
    document.redo();
    EXPECT_EQ(document.annotations(), (QList<Annotation>{first, second.moved(5, 5)}));
    EXPECT_EQ(changes, 3 + 4);
}

TEST_F(DocumentTest, ANewCheckpointClearsRedo)
{
    document.add(line(1));
    document.undo();
    ASSERT_EQ(document.redoStack().size(), 1);
    document.add(line(2));
    EXPECT_TRUE(document.redoStack().isEmpty());
    const QList<Annotation> now = document.annotations();
    document.redo();
    EXPECT_EQ(document.annotations(), now);
}

TEST_F(DocumentTest, UndoWithNothingToUndoDoesNothing)
{
    document.undo();
    document.redo();
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(document.redoStack().isEmpty());
    EXPECT_TRUE(document.undoStack().isEmpty());
}

TEST_F(DocumentTest, UndoingTheCreationOfTheSelectedAnnotationClearsTheSelection)
{
    const Annotation kept = line(1);
    const Annotation created = line(2);
    document.add(kept);
    document.add(created);
    document.setSelectedID(created.id);
    selectionSignals = 0;
    document.undo();
    EXPECT_EQ(document.selectedID(), std::nullopt);
    EXPECT_EQ(selectionSignals, 1);
    // Redo brings the annotation back but not the selection.
    document.redo();
    EXPECT_EQ(document.selectedID(), std::nullopt);

    // A selection that survives the undo stays.
    document.setSelectedID(kept.id);
    document.undo();
    EXPECT_EQ(document.selectedID(), kept.id);
}

TEST_F(DocumentTest, UndoRestoresTheCropAndSaysSo)
{
    document.applyCrop(QRectF(10, 10, 50, 20));
    cropSignals = 0;
    document.undo();
    EXPECT_EQ(document.crop(), std::nullopt);
    EXPECT_EQ(cropSignals, 1);
    document.redo();
    EXPECT_EQ(document.crop(), QRectF(10, 10, 50, 20));
    EXPECT_EQ(cropSignals, 2);
    // Undoing an annotation leaves an unchanged crop alone: no crop signal.
    document.add(line());
    document.undo();
    EXPECT_EQ(cropSignals, 2);
}

// --- mutations -------------------------------------------------------------------------

TEST_F(DocumentTest, AddPutsNewAnnotationsOnTop)
{
    const Annotation a = line(1), b = line(2);
    document.add(a);
    document.add(b);
    EXPECT_EQ(document.annotations(), (QList<Annotation>{a, b}));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(document.undoStack().size(), 2);
    EXPECT_TRUE(document.undoStack().first().annotations.isEmpty());
}

TEST_F(DocumentTest, UpdateReplacesInPlace)
{
    const Annotation a = line(1), b = line(2), c = line(3);
    for (const Annotation& x : {a, b, c})
        document.add(x);
    Annotation recoloured = b;
    recoloured.color = RGBA{0, 0, 0, 1};
    document.update(recoloured, UndoRecording::record);
    EXPECT_EQ(document.annotations(), (QList<Annotation>{a, recoloured, c}));
    EXPECT_EQ(document.undoStack().size(), 4);
    // Without recording: changed and notified, but no undo step.
    document.update(recoloured.moved(1, 1), UndoRecording::skip);
    EXPECT_EQ(document.annotations()[1], recoloured.moved(1, 1));
    EXPECT_EQ(document.undoStack().size(), 4);
    EXPECT_EQ(changes, 5);
}

TEST_F(DocumentTest, UpdatingAnAnnotationThatIsGoneRecordsNothing)
{
    document.add(line(1));
    const int before = changes;
    document.update(line(2), UndoRecording::record);
    EXPECT_EQ(document.undoStack().size(), 1);
    EXPECT_EQ(changes, before);
    EXPECT_EQ(document.annotations().size(), 1);
}

TEST_F(DocumentTest, DeleteSelectedRemovesItAndClearsTheSelection)
{
    const Annotation a = line(1), b = line(2);
    document.add(a);
    document.add(b);
    document.deleteSelected(); // nothing selected
    EXPECT_EQ(document.undoStack().size(), 2);
    document.setSelectedID(QUuid::createUuid()); // an id that names nothing
    document.deleteSelected();
    EXPECT_EQ(document.undoStack().size(), 2);
    EXPECT_EQ(changes, 2);

    document.setSelectedID(a.id);
    document.deleteSelected();
    EXPECT_EQ(document.annotations(), (QList<Annotation>{b}));
    EXPECT_EQ(document.selectedID(), std::nullopt);
    EXPECT_EQ(document.undoStack().size(), 3);
    EXPECT_EQ(changes, 3);
    document.undo();
    EXPECT_EQ(document.annotations(), (QList<Annotation>{a, b}));
}

TEST_F(DocumentTest, ApplyStyleToSelectionUsesTheCurrentColourAndStrokeAsOneStep)
{
    const Annotation text = Annotation::create(Kind::text("Hi"), {10, 10}, {10, 10}, blue, 20);
    document.add(text);
    document.applyStyleToSelection(); // nothing selected: nothing happens
    EXPECT_EQ(document.undoStack().size(), 1);

    document.setSelectedID(text.id);
    document.setColor(editorPalette[2]);
    document.setStrokeSize(StrokeSize::small);
    document.applyStyleToSelection();
    ASSERT_EQ(document.annotations().size(), 1);
    EXPECT_EQ(document.annotations()[0].color, editorPalette[2]);
    EXPECT_EQ(document.annotations()[0].lineWidth, 4); // 2 points × scale 2
    EXPECT_EQ(document.annotations()[0].id, text.id);
    EXPECT_EQ(document.undoStack().size(), 2);
    document.undo();
    EXPECT_EQ(document.annotations()[0], text);
}

TEST_F(DocumentTest, PlainSettersSignalOnlyRealChangesAndRecordNothing)
{
    document.setTool(EditorTool::arrow);
    document.setColor(editorPalette[0]);
    document.setStrokeSize(StrokeSize::medium);
    document.setSelectedID(std::nullopt);
    EXPECT_EQ(toolSignals + colorSignals + strokeSignals + selectionSignals, 0);

    document.setTool(EditorTool::crop);
    document.setTool(EditorTool::crop);
    document.setColor(editorPalette[4]);
    document.setStrokeSize(StrokeSize::large);
    const QUuid id = QUuid::createUuid();
    document.setSelectedID(id);
    document.setSelectedID(id);
    EXPECT_EQ(toolSignals, 1);
    EXPECT_EQ(colorSignals, 1);
    EXPECT_EQ(strokeSignals, 1);
    EXPECT_EQ(selectionSignals, 1);
    EXPECT_EQ(document.tool(), EditorTool::crop);
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(document.undoStack().isEmpty());
}

// --- crop ------------------------------------------------------------------------------

TEST_F(DocumentTest, CropRoundsOutwardsToWholePixels)
{
    document.applyCrop(QRectF(10.2, 10.7, 20.1, 20.1));
    EXPECT_EQ(document.crop(), QRectF(10, 10, 21, 21));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(cropSignals, 1);
    EXPECT_EQ(document.undoStack().size(), 1);
}

TEST_F(DocumentTest, CropIsClippedToTheImage)
{
    document.applyCrop(QRectF(-20, 50, 100, 100));
    EXPECT_EQ(document.crop(), QRectF(0, 50, 80, 50));
}

TEST_F(DocumentTest, ACropDraggedTowardsTheOriginIsTheSameCrop)
{
    document.applyCrop(QRectF(60, 40, -50, -30));
    EXPECT_EQ(document.crop(), QRectF(10, 10, 50, 30));
    document.applyCrop(QRectF(10, 10, 50, 30));
    EXPECT_EQ(document.undoStack().size(), 1); // the same crop: no second step
}

TEST_F(DocumentTest, ACropUnderFourPixelsRemovesTheCrop)
{
    document.applyCrop(QRectF(0, 0, 3, 100));
    EXPECT_EQ(document.crop(), std::nullopt);
    EXPECT_TRUE(document.undoStack().isEmpty()); // nothing to remove: no step
    EXPECT_EQ(changes, 0);

    document.applyCrop(QRectF(10, 10, 50, 50));
    document.applyCrop(QRectF(0, 0, 100, 3));
    EXPECT_EQ(document.crop(), std::nullopt);
    EXPECT_EQ(document.undoStack().size(), 2); // the removal is undoable
    document.undo();
    EXPECT_EQ(document.crop(), QRectF(10, 10, 50, 50));
}

TEST_F(DocumentTest, ACropOutsideTheImageRemovesTheCrop)
{
    document.applyCrop(QRectF(10, 10, 50, 50));
    document.applyCrop(QRectF(300, 300, 50, 50));
    EXPECT_EQ(document.crop(), std::nullopt);
    // Only 2 pixels of this one are inside: too narrow.
    document.applyCrop(QRectF(198, 0, 50, 50));
    EXPECT_EQ(document.crop(), std::nullopt);
}

TEST_F(DocumentTest, AFourByFourCropIsKept)
{
    document.applyCrop(QRectF(196, 96, 10, 10));
    EXPECT_EQ(document.crop(), QRectF(196, 96, 4, 4));
}

TEST_F(DocumentTest, ApplyingTheSameCropTwiceRecordsOneStep)
{
    document.applyCrop(QRectF(10, 10, 50, 20));
    document.applyCrop(QRectF(10.5, 10, 49.5, 20)); // rounds to the same rectangle
    EXPECT_EQ(document.undoStack().size(), 1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(cropSignals, 1);
    document.applyCrop(std::nullopt);
    document.applyCrop(std::nullopt);
    EXPECT_EQ(document.undoStack().size(), 2);
    EXPECT_EQ(changes, 2);
}

TEST_F(DocumentTest, CropLeavesTheAnnotationsWhereTheyAre)
{
    const Annotation a = line(50);
    document.add(a);
    document.applyCrop(QRectF(40, 0, 50, 50));
    EXPECT_EQ(document.annotations(), (QList<Annotation>{a}));
}

// --- queries ---------------------------------------------------------------------------

TEST_F(DocumentTest, NextStepNumberContinuesAfterTheHighest)
{
    EXPECT_EQ(document.nextStepNumber(), 1);
    document.add(line());
    EXPECT_EQ(document.nextStepNumber(), 1);
    for (const int n : {1, 2, 5})
        document.add(step(n));
    EXPECT_EQ(document.nextStepNumber(), 6);
    const Annotation five = document.annotations().last();
    document.setSelectedID(five.id);
    document.deleteSelected();
    EXPECT_EQ(document.nextStepNumber(), 3);
}

TEST(DocumentLineWidthTest, StrokeSizesBecomePixelsByTheImageScale)
{
    EditorDocument document(filledImage(100, 50, Qt::white), 2);
    const std::pair<StrokeSize, double> rows[] = {{StrokeSize::small, 4}, {StrokeSize::medium, 8}, {StrokeSize::large, 16}};
    for (const auto& [size, width] : rows) {
        document.setStrokeSize(size);
        EXPECT_EQ(document.lineWidthForStrokeSize(), width);
    }
    EditorDocument plain(filledImage(100, 50, Qt::white), 1);
    EXPECT_EQ(plain.lineWidthForStrokeSize(), 4);
    EditorDocument fractional(filledImage(100, 50, Qt::white), 1.5);
    EXPECT_EQ(fractional.lineWidthForStrokeSize(), 6);
}

TEST_F(DocumentTest, AnnotationAtFindsTheTopmostHit)
{
    const Annotation below = Annotation::create(Kind::highlight(), {0, 0}, {100, 100}, blue, 4);
    const Annotation above = Annotation::create(Kind::highlight(), {50, 50}, {150, 100}, blue, 4);
    document.add(below);
    document.add(above);
    EXPECT_EQ(document.annotationAt({75, 75}, 6)->id, above.id);
    EXPECT_EQ(document.annotationAt({20, 20}, 6)->id, below.id);
    EXPECT_EQ(document.annotationAt({180, 20}, 6), std::nullopt);
}

TEST_F(DocumentTest, SelectedAnnotationIsFoundById)
{
    EXPECT_EQ(document.selectedAnnotation(), std::nullopt);
    const Annotation a = line(1);
    document.add(a);
    document.setSelectedID(a.id);
    EXPECT_EQ(document.selectedAnnotation(), a);
    document.setSelectedID(QUuid::createUuid());
    EXPECT_EQ(document.selectedAnnotation(), std::nullopt);
}

TEST(SnapshotTest, ComparesAnnotationsAndCropExactly)
{
    const Annotation a = line(1);
    EXPECT_EQ((Snapshot{{a}, QRectF(0, 0, 4, 4)}), (Snapshot{{a}, QRectF(0, 0, 4, 4)}));
    EXPECT_NE((Snapshot{{a}, QRectF(0, 0, 4, 4)}), (Snapshot{{a}, std::nullopt}));
    EXPECT_NE((Snapshot{{a}, QRectF(0, 0, 4, 4)}), (Snapshot{{a}, QRectF(0, 0, 4, 4.0000001)}));
    EXPECT_NE((Snapshot{{a}, std::nullopt}), (Snapshot{{}, std::nullopt}));
}

// --- flattening ------------------------------------------------------------------------

namespace {

// Each pixel names its own place: red = column, green = row from the top.
QImage coordinateImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x, y, 0));
    return image;
}

} // namespace

TEST(FlattenTest, WithoutACropItIsTheWholeImageWithTheAnnotations)
{
    EditorDocument document(coordinateImage(100, 100), 2);
    document.add(Annotation::create(Kind::highlight(), {0, 0}, {10, 10}, {0, 0, 0, 1}, 1));
    const QImage flat = document.flattened();
    ASSERT_EQ(flat.size(), QSize(100, 100));
    EXPECT_TRUE(flat.hasAlphaChannel());
    // The highlight is at the bottom-left: rows 90…99 from the top.
    EXPECT_EQ(flat.pixelColor(5, 95), QColor(3, 57, 0)); // (5, 95) × 0.6
    EXPECT_EQ(flat.pixelColor(5, 85), QColor(5, 85, 0));
    EXPECT_EQ(flat.pixelColor(50, 50), QColor(50, 50, 0));
    // The captured image is not changed.
    EXPECT_EQ(document.image().pixelColor(5, 95), QColor(5, 95, 0));
}

TEST(FlattenTest, ACropCutsTheRowsCountedFromTheTop)
{
    EditorDocument document(coordinateImage(100, 100), 2);
    document.applyCrop(QRectF(10, 10, 50, 20));
    const QImage flat = document.flattened();
    ASSERT_EQ(flat.size(), QSize(50, 20));
    // Rows 70 to 89 from the top, columns 10 to 59.
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ(flat.pixelColor(x, y), QColor(10 + x, 70 + y, 0)) << x << "," << y;
}

TEST(FlattenTest, AnnotationsKeepTheirFullImageCoordinatesUnderACrop)
{
    EditorDocument document(coordinateImage(100, 100), 1);
    document.add(Annotation::create(Kind::highlight(), {10, 10}, {12, 12}, {0, 0, 0, 1}, 1));
    document.applyCrop(QRectF(10, 10, 50, 20));
    const QImage flat = document.flattened();
    // Image pixel (10, 10) bottom-left-origin is the crop's bottom-left pixel.
    EXPECT_EQ(flat.pixelColor(0, 19), QColor(6, 53, 0)); // (10, 89) × 0.6
    EXPECT_EQ(flat.pixelColor(2, 19), QColor(12, 89, 0));
}

TEST(FlattenTest, KeepsTheImagesColourSpace)
{
    QImage image = coordinateImage(10, 10);
    image.setColorSpace(QColorSpace::DisplayP3);
    EditorDocument document(image, 1);
    EXPECT_EQ(document.flattened().colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    EditorDocument untagged(coordinateImage(10, 10), 1);
    EXPECT_EQ(untagged.flattened().colorSpace(), QColorSpace(QColorSpace::SRgb));
}

TEST(FlattenTest, AnEmptyImageComesBackAsItIs)
{
    EditorDocument document(QImage(), 1);
    document.add(line());
    EXPECT_TRUE(document.flattened().isNull());
}
