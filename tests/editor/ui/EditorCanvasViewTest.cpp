// The canvas driven like a person would: mouse presses, drags and keys sent to the widget,
// the document checked afterwards.

#include "EditorCanvasView.h"
#include "EditorDocument.h"

#include <QApplication>
#include "TextMeasure.h"

#include <QWheelEvent>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>

using namespace quandrel;
using Kind = Annotation::Kind;
using Type = Annotation::Kind::Type;

namespace {

QImage grey(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(128, 128, 128));
    return image;
}

// A 400 × 300 image at scale 1 in a 440 × 340 canvas: one view point per image pixel.
class CanvasTest : public testing::Test {
protected:
    CanvasTest()
        : document(grey(400, 300), 1)
        , view(document)
    {
        view.resize(440, 340);
        view.show();
        view.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&view));
        view.setFocus();
    }

    QPointF at(QPointF imagePoint) const { return view.mapping().toWidget(imagePoint); }

    void mouse(QEvent::Type type, QPointF imagePoint, Qt::KeyboardModifiers modifiers = {})
    {
        const QPointF w = at(imagePoint);
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, w, view.mapToGlobal(w), Qt::LeftButton, buttons, modifiers);
        QApplication::sendEvent(&view, &event);
    }
    void press(QPointF p) { mouse(QEvent::MouseButtonPress, p); }
    void release(QPointF p) { mouse(QEvent::MouseButtonRelease, p); }
    void drag(QPointF from, QPointF to, Qt::KeyboardModifiers modifiers = {})
    {
        press(from);
        mouse(QEvent::MouseMove, (from + to) / 2, modifiers);
        mouse(QEvent::MouseMove, to, modifiers);
        release(to);
    }
    void doubleClick(QPointF p)
    {
        press(p);
        release(p);
        mouse(QEvent::MouseButtonDblClick, p);
        release(p);
    }
    bool key(int key, Qt::KeyboardModifiers modifiers = {}, const QString& text = {})
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(&view, &event);
        return event.isAccepted();
    }
    Annotation addRectangle(QPointF a = {100, 100}, QPointF b = {200, 150})
    {
        const Annotation r = Annotation::create(Kind::rectangle(), a, b, editorPalette[0], 4);
        document.add(r);
        return r;
    }
    Annotation addText(const QString& text, QPointF origin = {100, 100})
    {
        const Annotation t = Annotation::create(Kind::text(text), origin, origin, editorPalette[0], 4);
        document.add(t);
        return t;
    }
    void typeAndCommit(const QString& text, int commitKey = Qt::Key_Return)
    {
        TextAnnotationField* field = view.textField();
        ASSERT_NE(field, nullptr);
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key(commitKey));
    }

    EditorDocument document;
    EditorCanvasView view;
};

} // namespace

TEST_F(CanvasTest, AClickCreatesNothingAndClearsTheSelection)
{
    const Annotation r = addRectangle();
    document.setSelectedID(r.id);
    document.setTool(EditorTool::rectangle);
    QTest::mouseClick(&view, Qt::LeftButton, {}, at({300, 250}).toPoint());
    EXPECT_EQ(document.annotations().size(), 1);
    EXPECT_FALSE(document.selectedID());
}

TEST_F(CanvasTest, OnlyADragOfMoreThanThreePixelsCreatesAShape)
{
    document.setTool(EditorTool::rectangle);
    drag({50, 50}, {53, 50});
    EXPECT_TRUE(document.annotations().isEmpty());
    drag({50, 50}, {53.1, 50});
    ASSERT_EQ(document.annotations().size(), 1);
    EXPECT_EQ(document.annotations()[0].kind, Kind::rectangle());
    EXPECT_EQ(document.selectedID(), document.annotations()[0].id);
    EXPECT_EQ(document.undoStack().size(), 1);
    EXPECT_FALSE(view.draft());
}

TEST_F(CanvasTest, DrawingNeverLeavesTheImage)
{
    document.setTool(EditorTool::line);
    press({10, 10});
    const QPointF outside = view.mapping().toImage(QPointF(-500, -500));
    QMouseEvent move(QEvent::MouseMove, QPointF(900, -400), QPointF(900, -400), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&view, &move);
    release({400, 300});
    ASSERT_EQ(document.annotations().size(), 1);
    EXPECT_EQ(document.annotations()[0].end, QPointF(400, 300));
    EXPECT_EQ(outside, QPointF(0, 300));
}

TEST_F(CanvasTest, HandlesAreGrabbedWithAnyToolButCrop)
{
    const Annotation r = addRectangle({100, 100}, {200, 150});
    document.setSelectedID(r.id);
    // 7.5 points left of the (100, 100) corner: within the 9-point grab radius, outside the
    // rectangle's 6-point hit band.
    ASSERT_FALSE(r.hitTest({92.5, 100}, 6));
    document.setTool(EditorTool::ellipse);
    drag({92.5, 100}, {80, 90});
    ASSERT_EQ(document.annotations().size(), 1);
    EXPECT_EQ(document.annotations()[0].normalizedRect(), QRectF(80, 90, 120, 60));

    document.setTool(EditorTool::crop);
    drag({92.5, 120}, {150, 200});
    EXPECT_EQ(document.annotations()[0].normalizedRect(), QRectF(80, 90, 120, 60));
    EXPECT_TRUE(document.crop());
}

TEST_F(CanvasTest, DraggingTheSelectedShapeWithADrawingToolMovesIt)
{
    const Annotation r = addRectangle({100, 100}, {200, 150});
    document.setSelectedID(r.id);
    document.setTool(EditorTool::arrow);
    drag({150, 100}, {170, 130}); // on the bottom edge
    ASSERT_EQ(document.annotations().size(), 1);
    EXPECT_EQ(document.annotations()[0].id, r.id);
    EXPECT_EQ(document.annotations()[0].start, QPointF(120, 130));
    EXPECT_EQ(document.annotations()[0].end, QPointF(220, 180));
    EXPECT_EQ(document.tool(), EditorTool::arrow);
    EXPECT_EQ(document.undoStack().size(), 2); // the addition and the one move
}

TEST_F(CanvasTest, AMoveIsTakenFromTheStoredAnnotationNotAccumulated)
{
    const Annotation r = addRectangle({100, 100}, {200, 150});
    document.setTool(EditorTool::select);
    press({100, 125});
    for (int i = 1; i <= 10; ++i)
        mouse(QEvent::MouseMove, {100.0 + i, 125});
    ASSERT_TRUE(view.moving());
    EXPECT_EQ(view.moving()->start, QPointF(110, 100));
    // The document is untouched until the release.
    EXPECT_EQ(document.annotations()[0], r);
    release({110, 125});
    EXPECT_EQ(document.annotations()[0].start, QPointF(110, 100));
}

TEST_F(CanvasTest, AClickWithoutMovementRecordsNothing)
{
    addRectangle();
    const auto steps = document.undoStack().size();
    document.setTool(EditorTool::select);
    QTest::mouseClick(&view, Qt::LeftButton, {}, at({100, 125}).toPoint());
    EXPECT_TRUE(document.selectedID());
    EXPECT_EQ(document.undoStack().size(), steps);
}

TEST_F(CanvasTest, ShiftSnapsLinesTo45DegreesAndShapesToSquares)
{
    document.setTool(EditorTool::line);
    drag({0, 0}, {100, 40}, Qt::ShiftModifier);
    ASSERT_EQ(document.annotations().size(), 1);
    EXPECT_NEAR(document.annotations()[0].end.x(), 107.70, 0.01);
    EXPECT_NEAR(document.annotations()[0].end.y(), 0, 1e-9);

    key(Qt::Key_Escape); // the new line is selected; its start handle would be grabbed
    drag({0, 0}, {100, 80}, Qt::ShiftModifier);
    ASSERT_EQ(document.annotations().size(), 2);
    EXPECT_NEAR(document.annotations()[1].end.x(), 90.55, 0.01);
    EXPECT_NEAR(document.annotations()[1].end.y(), 90.55, 0.01);

    key(Qt::Key_Escape);
    document.setTool(EditorTool::rectangle);
    drag({10, 10}, {50, 20}, Qt::ShiftModifier);
    ASSERT_EQ(document.annotations().size(), 3);
    EXPECT_EQ(document.annotations()[2].end, QPointF(50, 50));
}

TEST_F(CanvasTest, ShiftWhileResizingKeepsTheOppositeCornerAndMakesASquare)
{
    const Annotation r = addRectangle({100, 100}, {200, 150});
    document.setSelectedID(r.id);
    drag({200, 150}, {260, 170}, Qt::ShiftModifier);
    EXPECT_EQ(document.annotations()[0].normalizedRect(), QRectF(100, 100, 160, 160));
}

TEST_F(CanvasTest, ACropClickRemovesTheCrop)
{
    document.setTool(EditorTool::crop);
    drag({50, 50}, {250, 200});
    ASSERT_TRUE(document.crop());
    EXPECT_EQ(*document.crop(), QRectF(50, 50, 200, 150));
    QTest::mouseClick(&view, Qt::LeftButton, {}, at({100, 100}).toPoint());
    EXPECT_FALSE(document.crop());
    EXPECT_EQ(document.undoStack().size(), 2);
}

TEST_F(CanvasTest, TypedTextIsTrimmedAndBlankTextCreatesNothing)
{
    document.setTool(EditorTool::text);
    QTest::mouseClick(&view, Qt::LeftButton, {}, at({60, 70}).toPoint());
    ASSERT_NE(view.textField(), nullptr);
    EXPECT_EQ(view.textField()->placeholderText(), QStringLiteral("Text"));
    EXPECT_GE(view.textField()->width(), 220);
    typeAndCommit(QStringLiteral("   word  "));
    ASSERT_EQ(document.annotations().size(), 1);
    EXPECT_EQ(document.annotations()[0].kind, Kind::text(QStringLiteral("word")));
    EXPECT_EQ(document.annotations()[0].start, QPointF(60, 70));
    EXPECT_EQ(view.textField(), nullptr);
    EXPECT_TRUE(view.hasFocus());

    QTest::mouseClick(&view, Qt::LeftButton, {}, at({300, 200}).toPoint());
    typeAndCommit(QStringLiteral("    "), Qt::Key_Tab);
    EXPECT_EQ(document.annotations().size(), 1);
}

TEST_F(CanvasTest, TextIsCommittedByTabAndByClickingElsewhere)
{
    document.setTool(EditorTool::text);
    QTest::mouseClick(&view, Qt::LeftButton, {}, at({60, 70}).toPoint());
    typeAndCommit(QStringLiteral("one"), Qt::Key_Tab);
    QTest::mouseClick(&view, Qt::LeftButton, {}, at({60, 200}).toPoint());
    QTest::keyClicks(view.textField(), QStringLiteral("two"));
    // A click elsewhere closes the field first, keeping the text, and opens a new one.
    QTest::mouseClick(&view, Qt::LeftButton, {}, at({300, 250}).toPoint());
    ASSERT_EQ(document.annotations().size(), 2);
    EXPECT_EQ(document.annotations()[1].kind, Kind::text(QStringLiteral("two")));
    ASSERT_NE(view.textField(), nullptr);
}

TEST_F(CanvasTest, EscapeDiscardsTheTyping)
{
    document.setTool(EditorTool::text);
    QTest::mouseClick(&view, Qt::LeftButton, {}, at({60, 70}).toPoint());
    typeAndCommit(QStringLiteral("lost"), Qt::Key_Escape);
    EXPECT_TRUE(document.annotations().isEmpty());
    EXPECT_EQ(view.textField(), nullptr);

    const Annotation t = addText(QStringLiteral("kept"));
    const auto steps = document.undoStack().size();
    QTest::mouseClick(&view, Qt::LeftButton, {}, at(t.bounds().center()).toPoint());
    ASSERT_NE(view.textField(), nullptr);
    EXPECT_EQ(view.textField()->text(), QStringLiteral("kept"));
    view.textField()->selectAll();
    typeAndCommit(QStringLiteral("changed"), Qt::Key_Escape);
    ASSERT_EQ(document.annotations().size(), 1);
    EXPECT_EQ(document.annotations()[0], t);
    EXPECT_EQ(document.undoStack().size(), steps);
}

TEST_F(CanvasTest, ReEditingChangesTheTextInPlaceAndEmptyingDeletesIt)
{
    const Annotation t = addText(QStringLiteral("before"));
    addRectangle({300, 20}, {380, 60});
    document.setTool(EditorTool::text);
    QTest::mouseClick(&view, Qt::LeftButton, {}, at(t.bounds().center()).toPoint());
    view.textField()->selectAll();
    typeAndCommit(QStringLiteral("after"));
    ASSERT_EQ(document.annotations().size(), 2);
    EXPECT_EQ(document.annotations()[0].id, t.id); // same place in the list
    EXPECT_EQ(document.annotations()[0].kind, Kind::text(QStringLiteral("after")));

    const auto steps = document.undoStack().size();
    QTest::mouseClick(&view, Qt::LeftButton, {}, at(t.start + QPointF(5, 5)).toPoint());
    view.textField()->clear();
    QTest::keyClick(view.textField(), Qt::Key_Return);
    ASSERT_EQ(document.annotations().size(), 1);
    EXPECT_EQ(document.undoStack().size(), steps + 1);
}

TEST_F(CanvasTest, RightToLeftCombiningAndEmojiTextIsKeptAsTyped)
{
    const QString typed = QStringLiteral("שלום e\u0301t\u00e9 \U0001F600 مرحبا");
    document.setTool(EditorTool::text);
    QTest::mouseClick(&view, Qt::LeftButton, {}, at({40, 150}).toPoint());
    view.textField()->insertPlainText(typed);
    QTest::keyClick(view.textField(), Qt::Key_Return);
    ASSERT_EQ(document.annotations().size(), 1);
    EXPECT_EQ(document.annotations()[0].kind.text(), typed);
    // It is drawn: the flattened image differs from the plain grey inside its bounds.
    const QImage flat = document.flattened();
    const QRectF b = document.annotations()[0].bounds();
    int inked = 0;
    for (int x = int(b.left()); x < int(b.right()); ++x)
        for (int y = int(b.top()); y < int(b.bottom()); ++y)
            inked += flat.pixelColor(x, flat.height() - 1 - y) != QColor(128, 128, 128);
    EXPECT_GT(inked, 50);
}

TEST_F(CanvasTest, DoubleClickOpensATextButOnlySelectsARectangle)
{
    const Annotation t = addText(QStringLiteral("hello"), {50, 200});
    const Annotation r = addRectangle({200, 50}, {300, 150});
    document.setTool(EditorTool::select);
    doubleClick(t.bounds().center());
    ASSERT_NE(view.textField(), nullptr);
    EXPECT_EQ(view.textField()->text(), QStringLiteral("hello"));
    EXPECT_EQ(document.selectedID(), t.id);
    QTest::keyClick(view.textField(), Qt::Key_Return);

    doubleClick({200, 100});
    EXPECT_EQ(view.textField(), nullptr);
    EXPECT_EQ(document.selectedID(), r.id);
}

TEST_F(CanvasTest, ToolKeysWorkWithShiftButNotWithControlAltOrSuper)
{
    EXPECT_TRUE(key(Qt::Key_R, {}, QStringLiteral("r")));
    EXPECT_EQ(document.tool(), EditorTool::rectangle);
    EXPECT_TRUE(key(Qt::Key_N, Qt::ShiftModifier, QStringLiteral("N")));
    EXPECT_EQ(document.tool(), EditorTool::step);
    for (Qt::KeyboardModifier modifier : {Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier}) {
        EXPECT_FALSE(key(Qt::Key_V, modifier, QStringLiteral("v")));
        EXPECT_EQ(document.tool(), EditorTool::step);
    }
    EXPECT_FALSE(key(Qt::Key_X, {}, QStringLiteral("x"))); // no tool: passed on
    const char keys[] = "valropmhtnbuc";
    for (size_t i = 0; i < allEditorTools.size(); ++i) {
        key(Qt::Key_A, {}, QString(QChar(keys[i])));
        EXPECT_EQ(document.tool(), allEditorTools[i]) << keys[i];
    }
}

TEST_F(CanvasTest, ArrowKeysNudgeTheSelectionOneUndoStepEachOrPassOn)
{
    EXPECT_FALSE(key(Qt::Key_Left));
    const Annotation r = addRectangle({100, 100}, {200, 150});
    document.setSelectedID(r.id);
    const auto steps = document.undoStack().size();
    EXPECT_TRUE(key(Qt::Key_Left));
    EXPECT_TRUE(key(Qt::Key_Up, Qt::ShiftModifier));
    EXPECT_TRUE(key(Qt::Key_Down));
    EXPECT_TRUE(key(Qt::Key_Right, Qt::ShiftModifier));
    EXPECT_EQ(document.annotations()[0].start, QPointF(109, 109));
    EXPECT_EQ(document.undoStack().size(), steps + 4);

    EXPECT_TRUE(key(Qt::Key_Escape));
    EXPECT_FALSE(document.selectedID());
    document.setSelectedID(r.id);
    EXPECT_TRUE(key(Qt::Key_Backspace));
    EXPECT_TRUE(document.annotations().isEmpty());
}

TEST_F(CanvasTest, StepBadgesCountOnWithoutChangingTheSelection)
{
    const Annotation r = addRectangle();
    document.setSelectedID(r.id);
    document.setTool(EditorTool::step);
    QTest::mouseClick(&view, Qt::LeftButton, {}, at({300, 250}).toPoint());
    QTest::mouseClick(&view, Qt::LeftButton, {}, at({340, 250}).toPoint());
    ASSERT_EQ(document.annotations().size(), 3);
    EXPECT_EQ(document.annotations()[1].kind, Kind::step(1));
    EXPECT_EQ(document.annotations()[2].kind, Kind::step(2));
    EXPECT_EQ(document.selectedID(), r.id);
}

TEST_F(CanvasTest, ADragRepaintsOnlyAroundTheShape)
{
    document.setTool(EditorTool::rectangle);
    QApplication::processEvents();
    press({50, 50});
    QApplication::processEvents();
    mouse(QEvent::MouseMove, {80, 70});
    const QRect dirty = view.pendingRepaint().boundingRect();
    EXPECT_FALSE(dirty.isEmpty());
    EXPECT_LT(dirty.width() * dirty.height(), view.width() * view.height() / 4);
    EXPECT_TRUE(dirty.contains(at({80, 70}).toPoint()));
    release({80, 70});
}

TEST_F(CanvasTest, APenStrokeIsOneAnnotationAndOneUndoStepAndMovesLikeAShape)
{
    document.setTool(EditorTool::pen);
    press({50, 50});
    for (const QPointF p : {QPointF(60, 70), QPointF(80, 90), QPointF(80.3, 90.2), QPointF(120, 60)})
        mouse(QEvent::MouseMove, p);
    release({120, 60});
    ASSERT_EQ(document.annotations().size(), 1);
    const Annotation stroke = document.annotations()[0];
    EXPECT_TRUE(stroke.kind.is(Type::pen));
    EXPECT_EQ(stroke.kind.unitPoints().size(), 4); // the sample under a view point away was skipped
    EXPECT_EQ(document.selectedID(), stroke.id);
    EXPECT_EQ(document.undoStack().size(), 1);

    // With the pen still active, dragging the selected stroke moves it.
    drag({80, 90}, {90, 100});
    ASSERT_EQ(document.annotations().size(), 1);
    EXPECT_EQ(document.annotations()[0].start, stroke.start + QPointF(10, 10));
    document.undo();
    document.undo();
    EXPECT_TRUE(document.annotations().isEmpty());
}

TEST_F(CanvasTest, ShiftReturnAddsALineAndTheFirstLineStaysWhereItWasTyped)
{
    document.setTool(EditorTool::text);
    press({100, 100});
    release({100, 100});
    ASSERT_NE(view.textField(), nullptr);
    QTest::keyClicks(view.textField(), QStringLiteral("one"));
    const int singleHeight = view.textField()->height();
    QTest::keyClick(view.textField(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(view.textField(), QStringLiteral("two"));
    EXPECT_GT(view.textField()->height(), singleHeight); // the field grows
    QTest::keyClick(view.textField(), Qt::Key_Return);
    ASSERT_EQ(document.annotations().size(), 1);
    const Annotation text = document.annotations()[0];
    EXPECT_EQ(text.kind.text(), QStringLiteral("one\ntwo"));
    const double oneLine = measureText(QStringLiteral("one"), text.textFontSize(), FontWeight::semibold).height();
    EXPECT_DOUBLE_EQ(text.start.y() + text.bounds().height(), 100 + oneLine); // the top, as for one line
}

TEST_F(CanvasTest, ZoomedInADragStillLandsOnTheImagePointsUnderThePointer)
{
    const QPointF pointer = at({200, 150});
    QWheelEvent wheel(pointer, view.mapToGlobal(pointer), {}, QPoint(0, 120 * 4), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &wheel);
    ASSERT_TRUE(view.zoom().factor.has_value());
    EXPECT_NEAR(view.mapping().zoomFactor(), std::pow(CanvasZoom::step, 4), 1e-9);
    EXPECT_NEAR(QLineF(view.mapping().toImage(pointer), QPointF(200, 150)).length(), 0, 1.0);
    document.setTool(EditorTool::rectangle);
    drag({190, 140}, {210, 160});
    ASSERT_EQ(document.annotations().size(), 1);
    EXPECT_NEAR(QLineF(document.annotations()[0].start, QPointF(190, 140)).length(), 0, 0.5);
    EXPECT_NEAR(QLineF(document.annotations()[0].end, QPointF(210, 160)).length(), 0, 0.5);
    view.zoomToFit();
    EXPECT_FALSE(view.zoom().factor.has_value());
}
