// The canvas driven like a person would: mouse presses, drags and keys sent to the widget,
// the document checked afterwards.

#include "EditorCanvasView.h"
#include "EditorDocument.h"
#include "TextMeasure.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cmath>

using namespace quandrel;
using Kind = Annotation::Kind;

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
    void click(QPointF p) { QTest::mouseClick(&view, Qt::LeftButton, {}, at(p).toPoint()); }
    void drag(QPointF from, QPointF to, Qt::KeyboardModifiers modifiers = {})
    {
        press(from);
        mouse(QEvent::MouseMove, (from + to) / 2, modifiers);
        mouse(QEvent::MouseMove, to, modifiers);
        release(to);
    }
    bool key(int key, Qt::KeyboardModifiers modifiers = {}, const QString& text = {})
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(&view, &event);
        return event.isAccepted();
    }
    Annotation add(Kind kind, QPointF a = {100, 100}, QPointF b = {200, 150})
    {
        const QPointF end = kind.is(Kind::Type::text) ? a : b;
        const Annotation r = Annotation::create(std::move(kind), a, end, editorPalette[0], 4);
        document.add(r);
        return r;
    }
    void typeAndCommit(const QString& text, int commitKey = Qt::Key_Return)
    {
        TextAnnotationField* field = view.textField();
        ASSERT_NE(field, nullptr);
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key(commitKey));
    }
    Annotation only() const { return document.annotations().value(0); }

    EditorDocument document;
    EditorCanvasView view;
};

} // namespace

TEST_F(CanvasTest, OnlyADragOfMoreThanThreePixelsCreatesAShapeAClickSelectsAndStepsCountOn)
{
    const Annotation r = add(Kind::rectangle());
    document.setSelectedID(r.id);
    document.setTool(EditorTool::rectangle);
    click({300, 250}); // clears the selection, creates nothing
    EXPECT_FALSE(document.selectedID());
    drag({50, 50}, {53, 50});
    EXPECT_EQ(document.annotations().size(), 1);
    drag({50, 50}, {53.1, 50});
    ASSERT_EQ(document.annotations().size(), 2);
    EXPECT_EQ(document.annotations()[1].kind, Kind::rectangle());
    EXPECT_EQ(document.selectedID(), document.annotations()[1].id);
    EXPECT_EQ(document.undoStack().size(), 2);
    EXPECT_FALSE(view.draft());

    // A click on a shape with the select tool selects it and records nothing.
    document.setTool(EditorTool::select);
    click({100, 125});
    EXPECT_EQ(document.selectedID(), r.id);
    EXPECT_EQ(document.undoStack().size(), 2);
    // Step badges count on without changing the selection.
    document.setTool(EditorTool::step);
    click({300, 250});
    click({340, 250});
    ASSERT_EQ(document.annotations().size(), 4);
    EXPECT_EQ(document.annotations()[2].kind, Kind::step(1));
    EXPECT_EQ(document.annotations()[3].kind, Kind::step(2));
    EXPECT_EQ(document.selectedID(), r.id);
}

TEST_F(CanvasTest, HandlesAreGrabbedWithAnyToolButCropShiftMakesASquareAndACropClickRemovesTheCrop)
{
    const Annotation r = add(Kind::rectangle(), {100, 100}, {200, 150});
    document.setSelectedID(r.id);
    // 7.5 points left of the (100, 100) corner: within the 9-point grab radius, outside the
    // rectangle's 6-point hit band.
    ASSERT_FALSE(r.hitTest({92.5, 100}, 6));
    document.setTool(EditorTool::ellipse);
    drag({92.5, 100}, {80, 90});
    EXPECT_EQ(only().normalizedRect(), QRectF(80, 90, 120, 60));
    drag({200, 150}, {260, 170}, Qt::ShiftModifier); // the opposite corner stays
    EXPECT_EQ(only().normalizedRect(), QRectF(80, 90, 180, 180));

    document.setTool(EditorTool::crop);
    drag({72.5, 120}, {150, 200});
    EXPECT_EQ(only().normalizedRect(), QRectF(80, 90, 180, 180));
    EXPECT_EQ(document.crop(), QRectF(72, 120, 78, 80));
    click({300, 50}); // a click removes the crop
    EXPECT_FALSE(document.crop());
    EXPECT_EQ(document.undoStack().size(), 5);
}

TEST_F(CanvasTest, DraggingTheSelectedShapeMovesItFromWhereItWas)
{
    const Annotation r = add(Kind::rectangle(), {100, 100}, {200, 150});
    document.setSelectedID(r.id);
    document.setTool(EditorTool::arrow);
    press({150, 100}); // on the bottom edge
    for (int i = 1; i <= 10; ++i)
        mouse(QEvent::MouseMove, {150.0 + i, 100.0 + 2 * i});
    ASSERT_TRUE(view.moving());
    EXPECT_EQ(view.moving()->start, QPointF(110, 120)); // from the stored annotation, not accumulated
    EXPECT_EQ(only(), r);                                // the document is untouched until the release
    release({160, 120});
    EXPECT_EQ(only().id, r.id);
    EXPECT_EQ(only().start, QPointF(110, 120));
    EXPECT_EQ(only().end, QPointF(210, 170));
    EXPECT_EQ(document.tool(), EditorTool::arrow);
    EXPECT_EQ(document.undoStack().size(), 2); // the addition and the one move
}

// Right-to-left, combining and emoji text is kept as typed.
TEST_F(CanvasTest, TypedTextIsTrimmedCommittedByReturnTabOrAClickAndBlankMakesNothing)
{
    const QString typed = QStringLiteral("שלום e\u0301t\u00e9 \U0001F600 مرحبا");
    document.setTool(EditorTool::text);
    click({60, 70});
    ASSERT_NE(view.textField(), nullptr);
    EXPECT_GE(view.textField()->width(), 220);
    view.textField()->insertPlainText(QStringLiteral("   ") + typed + QStringLiteral("  "));
    QTest::keyClick(view.textField(), Qt::Key_Return);
    EXPECT_EQ(only().kind, Kind::text(typed));
    EXPECT_EQ(only().start, QPointF(60, 70));
    EXPECT_EQ(view.textField(), nullptr);
    EXPECT_TRUE(view.hasFocus());

    click({300, 200});
    typeAndCommit(QStringLiteral("    "), Qt::Key_Tab);
    EXPECT_EQ(document.annotations().size(), 1);
    click({60, 200});
    typeAndCommit(QStringLiteral("one"), Qt::Key_Tab);
    click({60, 150});
    QTest::keyClicks(view.textField(), QStringLiteral("two"));
    click({300, 250}); // closes the field first, keeping the text, and opens a new one
    ASSERT_EQ(document.annotations().size(), 3);
    EXPECT_EQ(document.annotations()[2].kind, Kind::text(QStringLiteral("two")));
    ASSERT_NE(view.textField(), nullptr);
    typeAndCommit(QStringLiteral("lost"), Qt::Key_Escape);
    EXPECT_EQ(document.annotations().size(), 3);
    EXPECT_EQ(view.textField(), nullptr);
}

TEST_F(CanvasTest, ReEditingChangesTheTextInPlaceEscapeKeepsItAndEmptyingDeletesIt)
{
    const Annotation t = add(Kind::text(QStringLiteral("before")));
    add(Kind::rectangle(), {300, 20}, {380, 60});
    document.setTool(EditorTool::text);
    click(t.bounds().center());
    ASSERT_NE(view.textField(), nullptr);
    EXPECT_EQ(view.textField()->text(), QStringLiteral("before"));
    view.textField()->selectAll();
    typeAndCommit(QStringLiteral("changed"), Qt::Key_Escape);
    EXPECT_EQ(only(), t);
    const auto steps = document.undoStack().size();

    click(t.bounds().center());
    view.textField()->selectAll();
    typeAndCommit(QStringLiteral("after"));
    ASSERT_EQ(document.annotations().size(), 2);
    EXPECT_EQ(only().id, t.id); // same place in the list
    EXPECT_EQ(only().kind, Kind::text(QStringLiteral("after")));

    click(t.start + QPointF(5, 5));
    view.textField()->clear();
    QTest::keyClick(view.textField(), Qt::Key_Return);
    EXPECT_EQ(document.annotations().size(), 1);
    EXPECT_EQ(document.undoStack().size(), steps + 2);
}

TEST_F(CanvasTest, DoubleClickOpensATextButOnlySelectsARectangle)
{
    const Annotation t = add(Kind::text(QStringLiteral("hello")), {50, 200});
    const Annotation r = add(Kind::rectangle(), {200, 50}, {300, 150});
    document.setTool(EditorTool::select);
    const auto doubleClick = [this](QPointF p) {
        press(p);
        release(p);
        mouse(QEvent::MouseButtonDblClick, p);
        release(p);
    };
    doubleClick(t.bounds().center());
    ASSERT_NE(view.textField(), nullptr);
    EXPECT_EQ(view.textField()->text(), QStringLiteral("hello"));
    EXPECT_EQ(document.selectedID(), t.id);
    QTest::keyClick(view.textField(), Qt::Key_Return);
    doubleClick({200, 100});
    EXPECT_EQ(view.textField(), nullptr);
    EXPECT_EQ(document.selectedID(), r.id);
}

TEST_F(CanvasTest, ShiftReturnAddsALineAndTheFirstLineStaysWhereItWasTyped)
{
    document.setTool(EditorTool::text);
    click({100, 100});
    QTest::keyClicks(view.textField(), QStringLiteral("one"));
    const int singleHeight = view.textField()->height();
    QTest::keyClick(view.textField(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(view.textField(), QStringLiteral("two"));
    EXPECT_GT(view.textField()->height(), singleHeight); // the field grows
    QTest::keyClick(view.textField(), Qt::Key_Return);
    const Annotation text = only();
    EXPECT_EQ(text.kind.text(), QStringLiteral("one\ntwo"));
    const double oneLine = measureText(QStringLiteral("one"), text.textFontSize(), FontWeight::semibold).height();
    EXPECT_DOUBLE_EQ(text.start.y() + text.bounds().height(), 100 + oneLine); // the top, as for one line
}

TEST_F(CanvasTest, ToolKeysWorkWithShiftButNotWithControlAltOrSuperAndArrowKeysNudge)
{
    EXPECT_TRUE(key(Qt::Key_R, {}, QStringLiteral("r")));
    EXPECT_EQ(document.tool(), EditorTool::rectangle);
    EXPECT_TRUE(key(Qt::Key_N, Qt::ShiftModifier, QStringLiteral("N")));
    EXPECT_EQ(document.tool(), EditorTool::step);
    for (Qt::KeyboardModifier modifier : {Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier})
        EXPECT_FALSE(key(Qt::Key_V, modifier, QStringLiteral("v")));
    EXPECT_FALSE(key(Qt::Key_X, {}, QStringLiteral("x"))); // no tool: passed on
    EXPECT_EQ(document.tool(), EditorTool::step);
    key(Qt::Key_A, {}, QStringLiteral("c")); // the character decides, not the key code
    EXPECT_EQ(document.tool(), EditorTool::crop);

    // Arrow keys nudge the selection, one undo step each, or pass on.
    EXPECT_FALSE(key(Qt::Key_Left));
    const Annotation r = add(Kind::rectangle(), {100, 100}, {200, 150});
    document.setSelectedID(r.id);
    const auto steps = document.undoStack().size();
    EXPECT_TRUE(key(Qt::Key_Left));
    EXPECT_TRUE(key(Qt::Key_Up, Qt::ShiftModifier));
    EXPECT_TRUE(key(Qt::Key_Down));
    EXPECT_TRUE(key(Qt::Key_Right, Qt::ShiftModifier));
    EXPECT_EQ(only().start, QPointF(109, 109));
    EXPECT_EQ(document.undoStack().size(), steps + 4);

    EXPECT_TRUE(key(Qt::Key_Escape));
    EXPECT_FALSE(document.selectedID());
    document.setSelectedID(r.id);
    EXPECT_TRUE(key(Qt::Key_Backspace));
    EXPECT_TRUE(document.annotations().isEmpty());
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
    const Annotation stroke = only();
    EXPECT_TRUE(stroke.kind.is(Kind::Type::pen));
    EXPECT_EQ(stroke.kind.unitPoints().size(), 4); // the sample under a view point away was skipped
    EXPECT_EQ(document.selectedID(), stroke.id);
    EXPECT_EQ(document.undoStack().size(), 1);
    drag({80, 90}, {90, 100}); // the pen still active: the selected stroke moves
    ASSERT_EQ(document.annotations().size(), 1);
    EXPECT_EQ(only().start, stroke.start + QPointF(10, 10));
}

TEST_F(CanvasTest, ZoomedInADragStillLandsOnTheImagePointsUnderThePointer)
{
    const QPointF pointer = at({200, 150});
    QWheelEvent wheel(pointer, view.mapToGlobal(pointer), {}, QPoint(0, 120 * 4), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &wheel);
    EXPECT_NEAR(view.mapping().zoomFactor(), std::pow(CanvasZoom::step, 4), 1e-9);
    EXPECT_NEAR(QLineF(view.mapping().toImage(pointer), QPointF(200, 150)).length(), 0, 1.0);
    document.setTool(EditorTool::rectangle);
    drag({190, 140}, {210, 160});
    EXPECT_NEAR(QLineF(only().start, QPointF(190, 140)).length(), 0, 0.5);
    EXPECT_NEAR(QLineF(only().end, QPointF(210, 160)).length(), 0, 0.5);
    view.zoomToFit();
    EXPECT_FALSE(view.zoom().factor.has_value());
}
