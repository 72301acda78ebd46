#include "EditorDocument.h"
#include "EditorTestSupport.h"

#include <QColorSpace>
#include <gtest/gtest.h>

using namespace quandrel;
using Kind = Annotation::Kind;

namespace {

constexpr RGBA blue{0.0, 0.48, 1.0, 1.0};

Annotation line(double x = 0) { return Annotation::create(Kind::line(), {x, 0}, {x + 10, 10}, blue, 4); }

// Each pixel names its own place: red = column, green = row from the top.
QImage coordinateImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x, y, 0));
    return image;
}

// A 200 × 100 document at scale 2 that counts its notifications.
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
    qsizetype steps() const { return document.undoStack().size(); }

    EditorDocument document{filledImage(200, 100, Qt::white), 2};
    int changes = 0, toolSignals = 0, colorSignals = 0, strokeSignals = 0, selectionSignals = 0, cropSignals = 0;
};

} // namespace

TEST_F(DocumentTest, TheUndoHistoryKeepsTwoHundredStepsAndRedoAllOfThem)
{
    for (int i = 0; i < 250; ++i)
        document.add(line(i));
    EXPECT_EQ(steps(), 200);
    while (!document.undoStack().isEmpty())
        document.undo();
    // The 50 oldest additions can no longer be undone.
    ASSERT_EQ(document.annotations().size(), 50);
    EXPECT_EQ(document.annotations().last().start, QPointF(49, 0));
    const int before = changes;
    document.undo();
    EXPECT_EQ(changes, before);
    int redos = 0;
    for (; !document.redoStack().isEmpty(); ++redos)
        document.redo();
    EXPECT_EQ(redos, 200);
    EXPECT_EQ(document.annotations().size(), 250);
}

TEST_F(DocumentTest, AddUpdateUndoAndRedo)
{
    document.undo(); // nothing to undo or redo
    document.redo();
    EXPECT_EQ(changes, 0);
    const Annotation first = line(1), second = line(2), third = line(3);
    for (const Annotation& a : {first, second, third})
        document.add(a);
    EXPECT_EQ(document.annotations(), (QList<Annotation>{first, second, third})); // new ones on top
    document.update(second.moved(5, 5), UndoRecording::record);                  // in place
    EXPECT_EQ(document.annotations(), (QList<Annotation>{first, second.moved(5, 5), third}));
    document.update(second.moved(6, 6), UndoRecording::skip); // changed, no undo step
    EXPECT_EQ(steps(), 4);
    document.update(line(9), UndoRecording::record); // gone: nothing recorded
    EXPECT_EQ(steps(), 4);
    EXPECT_EQ(changes, 5);

    document.undo();
    EXPECT_EQ(document.annotations(), (QList<Annotation>{first, second, third}));
    document.undo();
    EXPECT_EQ(document.annotations(), (QList<Annotation>{first, second}));
    document.redo();
    EXPECT_EQ(document.annotations(), (QList<Annotation>{first, second, third}));
    EXPECT_EQ(changes, 8);
    // A new step clears what could be redone.
    document.add(line(4));
    EXPECT_TRUE(document.redoStack().isEmpty());
}

TEST_F(DocumentTest, UndoingTheCreationOfTheSelectedAnnotationClearsTheSelection)
{
    const Annotation kept = line(1), created = line(2);
    document.add(kept);
    document.add(created);
    document.setSelectedID(created.id);
    selectionSignals = 0;
    document.undo();
    EXPECT_EQ(document.selectedID(), std::nullopt);
    EXPECT_EQ(selectionSignals, 1);
    document.redo(); // brings the annotation back but not the selection
    EXPECT_EQ(document.selectedID(), std::nullopt);
    document.setSelectedID(kept.id);
    document.undo();
    EXPECT_EQ(document.selectedID(), kept.id);
}

TEST_F(DocumentTest, DeleteSelectedAndApplyStyleAreOneStepEach)
{
    const Annotation a = line(1);
    const Annotation text = Annotation::create(Kind::text("Hi"), {10, 10}, {10, 10}, blue, 20);
    document.add(a);
    document.add(text);
    document.deleteSelected(); // nothing selected
    document.applyStyleToSelection();
    document.setSelectedID(QUuid::createUuid()); // names nothing
    document.deleteSelected();
    EXPECT_EQ(steps(), 2);
    EXPECT_EQ(changes, 2);

    document.setSelectedID(text.id);
    document.setColor(editorPalette[2]);
    document.setStrokeSize(StrokeSize::small);
    document.applyStyleToSelection();
    ASSERT_EQ(document.selectedAnnotation()->color, editorPalette[2]);
    EXPECT_EQ(document.selectedAnnotation()->lineWidth, 4); // 2 points × scale 2
    EXPECT_EQ(steps(), 3);
    document.undo();
    EXPECT_EQ(document.selectedAnnotation(), text);

    document.setSelectedID(a.id);
    document.deleteSelected();
    EXPECT_EQ(document.annotations(), (QList<Annotation>{text}));
    EXPECT_EQ(document.selectedID(), std::nullopt);
    EXPECT_EQ(document.selectedAnnotation(), std::nullopt);
    document.undo();
    EXPECT_EQ(document.annotations(), (QList<Annotation>{a, text}));
}

TEST_F(DocumentTest, PlainSettersSignalOnlyRealChangesAndRecordNothing)
{
    document.setTool(EditorTool::arrow);
    document.setColor(editorPalette[0]);
    document.setStrokeSize(StrokeSize::medium);
    document.setSelectedID(std::nullopt);
    EXPECT_EQ(toolSignals + colorSignals + strokeSignals + selectionSignals, 0);
    const QUuid id = QUuid::createUuid();
    for (int i = 0; i < 2; ++i) {
        document.setTool(EditorTool::crop);
        document.setColor(editorPalette[4]);
        document.setStrokeSize(StrokeSize::large);
        document.setSelectedID(id);
    }
    EXPECT_EQ(toolSignals + colorSignals + strokeSignals + selectionSignals, 4);
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(document.undoStack().isEmpty());
}

TEST_F(DocumentTest, CropsAreWholePixelsInsideTheImageOrNone)
{
    const struct {
        QRectF asked;
        std::optional<QRectF> crop;
    } rows[] = {
        {{10.2, 10.7, 20.1, 20.1}, QRectF(10, 10, 21, 21)}, // rounded outwards
        {{-20, 50, 100, 100}, QRectF(0, 50, 80, 50)},        // clipped
        {{60, 40, -50, -30}, QRectF(10, 10, 50, 30)},        // dragged towards the origin
        {{196, 96, 10, 10}, QRectF(196, 96, 4, 4)},          // four by four is kept
        {{0, 0, 3, 100}, std::nullopt},                      // under four pixels
        {{0, 0, 100, 3}, std::nullopt},
        {{300, 300, 50, 50}, std::nullopt},                  // outside
        {{198, 0, 50, 50}, std::nullopt},                    // only 2 pixels inside
    };
    for (const auto& row : rows) {
        document.applyCrop(QRectF(1, 1, 10, 10));
        document.applyCrop(row.asked);
        EXPECT_EQ(document.crop(), row.crop) << row.asked.x() << "," << row.asked.y();
    }
}

TEST_F(DocumentTest, EachDifferentCropIsOneUndoableStepThatSaysSo)
{
    document.applyCrop(QRectF(0, 0, 3, 100)); // no crop to remove: no step
    EXPECT_EQ(changes + cropSignals, 0);
    const Annotation a = line(50);
    document.add(a);
    document.applyCrop(QRectF(10, 10, 50, 20));
    document.applyCrop(QRectF(10.5, 10, 49.5, 20)); // rounds to the same rectangle
    EXPECT_EQ(steps(), 2);
    EXPECT_EQ(cropSignals, 1);
    EXPECT_EQ(document.annotations(), (QList<Annotation>{a})); // the annotations stay
    document.applyCrop(std::nullopt);
    document.applyCrop(std::nullopt);
    EXPECT_EQ(steps(), 3);
    EXPECT_EQ(changes, 3);
    document.undo();
    EXPECT_EQ(document.crop(), QRectF(10, 10, 50, 20));
    EXPECT_EQ(cropSignals, 3);
    document.undo();
    EXPECT_EQ(document.crop(), std::nullopt);
    EXPECT_EQ(cropSignals, 4);
    document.undo(); // an annotation's undo leaves the unchanged crop alone
    EXPECT_EQ(cropSignals, 4);
}

TEST_F(DocumentTest, QueriesNextStepTopmostHitAndLineWidth)
{
    EXPECT_EQ(document.nextStepNumber(), 1);
    document.add(line());
    for (const int n : {1, 2, 5})
        document.add(Annotation::create(Kind::step(n), {50, 50}, {50, 50}, blue, 4));
    EXPECT_EQ(document.nextStepNumber(), 6);
    EXPECT_TRUE(document.annotationAt({0, 5}, 6)); // 3.5 beside the line: within the tolerance only
    document.setSelectedID(document.annotations().last().id);
    document.deleteSelected();
    EXPECT_EQ(document.nextStepNumber(), 3);

    const Annotation below = Annotation::create(Kind::highlight(), {0, 0}, {100, 100}, blue, 4);
    const Annotation above = Annotation::create(Kind::highlight(), {60, 60}, {150, 100}, blue, 4);
    document.add(below);
    document.add(above);
    EXPECT_EQ(document.annotationAt({75, 75}, 6)->id, above.id);
    EXPECT_EQ(document.annotationAt({20, 20}, 6)->id, below.id);
    EXPECT_EQ(document.annotationAt({180, 20}, 6), std::nullopt);

    for (const auto& [size, width] : {std::pair{StrokeSize::small, 4.0}, {StrokeSize::medium, 8.0}, {StrokeSize::large, 16.0}}) {
        document.setStrokeSize(size);
        EXPECT_EQ(document.lineWidthForStrokeSize(), width);
    }
    EXPECT_EQ(EditorDocument(filledImage(10, 10, Qt::white), 1.5).lineWidthForStrokeSize(), 6);
}

TEST(FlattenTest, TheImageWithItsAnnotationsCutToTheCrop)
{
    EditorDocument document(coordinateImage(100, 100), 2);
    document.add(Annotation::create(Kind::highlight(), {0, 0}, {10, 10}, {0, 0, 0, 1}, 1));
    const QImage flat = document.flattened();
    ASSERT_EQ(flat.size(), QSize(100, 100));
    EXPECT_TRUE(flat.hasAlphaChannel());
    EXPECT_EQ(flat.pixelColor(5, 95), QColor(3, 57, 0)); // bottom-left: (5, 95) × 0.6
    EXPECT_EQ(flat.pixelColor(5, 85), QColor(5, 85, 0));
    EXPECT_EQ(document.image().pixelColor(5, 95), QColor(5, 95, 0)); // the capture is unchanged

    // A crop cuts rows counted from the top; annotations keep their full-image coordinates.
    EditorDocument cropped(coordinateImage(100, 100), 1);
    cropped.add(Annotation::create(Kind::highlight(), {10, 10}, {12, 12}, {0, 0, 0, 1}, 1));
    cropped.applyCrop(QRectF(10, 10, 50, 20));
    const QImage cut = cropped.flattened();
    ASSERT_EQ(cut.size(), QSize(50, 20));
    EXPECT_EQ(cut.pixelColor(0, 19), QColor(6, 53, 0)); // (10, 89) × 0.6
    for (int y = 0; y < 20; ++y)
        for (int x = 2; x < 50; ++x)
            ASSERT_EQ(cut.pixelColor(x, y), QColor(10 + x, 70 + y, 0)) << x << "," << y;
}

TEST(FlattenTest, KeepsTheColourSpaceAndAnEmptyImage)
{
    QImage image = coordinateImage(10, 10);
    image.setColorSpace(QColorSpace::DisplayP3);
    EXPECT_EQ(EditorDocument(image, 1).flattened().colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    EXPECT_EQ(EditorDocument(coordinateImage(10, 10), 1).flattened().colorSpace(), QColorSpace(QColorSpace::SRgb));
    EditorDocument empty(QImage(), 1);
    empty.add(line());
    EXPECT_TRUE(empty.flattened().isNull());
}
