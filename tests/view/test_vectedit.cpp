// Editing in the vector view with synthesized mouse and key input: the interaction
// sets, placing objects, picking them by click and rubber band, grips, the inline text
// editor, measuring, and the clipboard.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <cmath>

#include "platform/stream.h"
#include "platform/syscolors.h"
#include "vecttest.h"

using namespace vx;
using namespace vxtest;

namespace {

struct Counts {
  int select = 0, changed = 0;
  void Select(TObject*) { ++select; }
  void Changed(TObject*) { ++changed; }
  void Attach(TVantixVect& v) {
    v.OnSelectObject = TNotifyEvent::Bind(this, &Counts::Select);
    v.OnVectorialChanged = TNotifyEvent::Bind(this, &Counts::Changed);
  }
};

TRect Box(const TVantixVect& v, int32_t i) {
  return v.ObjRect(i);
}

void ExpectBox(const TVantixVect& v, int32_t i, TRect r) {
  const TRect b = Box(v, i);
  EXPECT_EQ(b.left, r.left);
  EXPECT_EQ(b.top, r.top);
  EXPECT_EQ(b.right, r.right);
  EXPECT_EQ(b.bottom, r.bottom);
}

// ---- the interaction sets ----

TEST(VectInteract, FirstNewItemBecomesTheOnlyOne) {
  struct Case {
    TVXMouseInteractVt from, to, expect;
    bool clearsView;
  };
  const Case cases[] = {
      {{}, {miArea, miPutLine}, {miArea}, false},
      {{}, {miPutLine, miObjectSelect}, {miPutLine}, true},
      {{miArea}, {miArea, miLineLen}, {miLineLen}, false},
      {{miPutBox}, {}, {}, false},
      {{}, {miDragLen}, {miDragLen}, true},
      {{}, {miObjectSelect, miDragLen}, {miObjectSelect}, true},
  };
  for (const Case& c : cases) {
    auto v = MakeVect(100, 100, 100, 100);
    v->SetMouseInteractVt(c.from);
    v->SetMouseInteract({miSelect});
    v->SetMouseInteractVt(c.to);
    EXPECT_EQ(v->MouseInteractVt().Bits(), c.expect.Bits()) << c.to.Bits();
    EXPECT_EQ(v->MouseInteract().Empty(), c.clearsView) << c.to.Bits();
  }
}

TEST(VectInteract, ViewModesDropPlacingButKeepMeasuring) {
  auto v = MakeVect(100, 100, 100, 100);
  for (TVXMouseInteractVtItems item : {miPutBox, miObjectSelect, miArea, miLineLen, miDragLen}) {
    v->SetMouseInteractVt({item});
    v->SetMouseInteract({miSelectPolygon});
    const bool kept = item == miArea || item == miLineLen || item == miDragLen;
    EXPECT_EQ(v->MouseInteractVt().Contains(item), kept) << static_cast<int>(item);
    v->SetMouseInteract({});
  }
}

TEST(VectInteract, MeasuringShowsTheHintAndPlacingHidesIt) {
  auto v = MakeVect(100, 100, 100, 100);
  v->SetMouseInteractVt({miArea});
  EXPECT_TRUE(v->Hint()->isVisible());
  v->SetMouseInteractVt({miPutBox});
  EXPECT_FALSE(v->Hint()->isVisible());
}

// ---- placing ----

TEST(VectPlace, ClickPlacesTheTemplateSizeAndDragPlacesTheDraggedBox) {
  auto v = MakeVect(200, 200, 200, 200);
  Counts counts;
  counts.Attach(*v);
  v->SetMouseInteractVt({miPutBox});
  Press(v->viewport(), 10, 10);
  Release(v->viewport(), 10, 10);
  ASSERT_EQ(v->ObjectsCount(), 1);
  ExpectBox(*v, 0, {10, 10, 73, 73});
  EXPECT_EQ(v->ObjKind(0), vxkBOX);
  Drag(v->viewport(), 10, 10, 30, 20);
  ASSERT_EQ(v->ObjectsCount(), 2);
  ExpectBox(*v, 1, {10, 10, 30, 20});
  ASSERT_EQ(v->SelObjectsCount(), 1);
  EXPECT_EQ(v->SelObjects(0), 1);
  EXPECT_EQ(counts.changed, 2);
  EXPECT_EQ(v->InsertKind(), 0);
  // Dragged backwards: stored ordered. A line keeps its direction.
  Drag(v->viewport(), 30, 20, 10, 10);
  ExpectBox(*v, 2, {10, 10, 30, 20});
  v->SetMouseInteractVt({miPutLine});
  Drag(v->viewport(), 30, 20, 10, 10);
  ExpectBox(*v, 3, {30, 20, 10, 10});
  EXPECT_EQ(v->ObjKind(3), vxkLINE);
}

TEST(VectPlace, ZoomedDragMapsItsEndsToTheImage) {
  auto v = MakeVect(200, 200, 200, 200);
  v->SetZoom(200);
  v->SetMouseInteractVt({miPutEllipse});
  Drag(v->viewport(), 10, 10, 31, 21);
  // Client 31 and 21 at 200 %: 15.5 and 10.5, to the even neighbour.
  ExpectBox(*v, 0, {5, 5, 16, 10});
}

TEST(VectPlace, CtrlSnapsLinesAndMakesCircles) {
  auto v = MakeVect(200, 200, 200, 200);
  v->SetMouseInteractVt({miPutLine});
  Press(v->viewport(), 10, 10);
  Move(v->viewport(), 60, 15, Qt::LeftButton, Qt::ControlModifier);
  Release(v->viewport(), 60, 15);
  ExpectBox(*v, 0, {10, 10, 60, 10});  // nearly horizontal: horizontal
  v->SetMouseInteractVt({miPutEllipse});
  Press(v->viewport(), 10, 10);
  Move(v->viewport(), 40, 20, Qt::LeftButton, Qt::ControlModifier);
  Release(v->viewport(), 40, 20);
  ExpectBox(*v, 1, {10, 10, 40, 40});  // the larger offset on both axes
}

TEST(VectPlace, DragLengthShowsItsHintAndAddsNothing) {
  auto v = MakeVect(200, 200, 200, 200);
  v->SetZoom(200);
  v->SetMouseInteractVt({miDragLen});
  Press(v->viewport(), 10, 10);
  Move(v->viewport(), 40, 50);
  EXPECT_TRUE(v->Hint()->isVisible());
  EXPECT_EQ(v->Hint()->Text(), "25.00 Pixels");  // 50 client pixels at 200 %
  Release(v->viewport(), 40, 50);
  EXPECT_EQ(v->ObjectsCount(), 0);
  EXPECT_FALSE(v->Hint()->isVisible());
}

TEST(VectPlace, PlacedTextOpensTheEditorAndEnterStoresIt) {
  auto v = MakeVect(200, 200, 200, 200);
  Counts counts;
  counts.Attach(*v);
  v->SetMouseInteractVt({miPutText});
  Drag(v->viewport(), 20, 20, 120, 50);
  ASSERT_EQ(v->ObjectsCount(), 1);
  ASSERT_NE(v->TextEditor(), nullptr);
  EXPECT_EQ(v->EditedText(), 0);
  EXPECT_EQ(v->TextEditor()->geometry(), QRect(20, 20, 100, 30));
  EXPECT_FALSE(v->TextEditor()->hasFrame());
  Type(v->TextEditor(), "Hi there");
  Key(v->TextEditor(), Qt::Key_Return);
  EXPECT_EQ(v->TextEditor(), nullptr);
  EXPECT_EQ(v->EditedText(), -1);
  EXPECT_EQ(v->ObjText(0), "Hi there");
  EXPECT_EQ(counts.changed, 2);  // placed, then edited
}

// ---- picking ----

class Picking : public ::testing::Test {
 protected:
  void SetUp() override {
    v = MakeVect(200, 200, 200, 200);
    counts.Attach(*v);
    a = AddObj(*v, vxkBOX, 10, 10, 30, 30, bsSolid);
    b = AddObj(*v, vxkBOX, 60, 60, 80, 80);
    c = AddObj(*v, vxkLINE, 140, 50, 100, 10);  // reversed
    v->SetMouseInteractVt({miObjectSelect});
  }
  void Click(int x, int y, Qt::KeyboardModifiers m = Qt::NoModifier) {
    Press(v->viewport(), x, y, Qt::LeftButton, m);
    Release(v->viewport(), x, y, Qt::LeftButton, m);
  }
  std::vector<int32_t> Sel() const { return v->SelectedObjects(); }
  std::unique_ptr<TVantixVect> v;
  Counts counts;
  int32_t a = 0, b = 0, c = 0;
};

TEST_F(Picking, ClickFarAwayPicksTheNearestObject) {
  Click(150, 150);  // 99 from b's corner, 100.5 from the line's end
  EXPECT_EQ(Sel(), std::vector<int32_t>{b});
  EXPECT_EQ(counts.select, 1);
}

TEST_F(Picking, ShiftClickTogglesAndAPlainClickLeavesOnlyThatObject) {
  Click(20, 20);  // inside the filled box
  Click(70, 60, Qt::ShiftModifier);
  EXPECT_EQ(Sel(), (std::vector<int32_t>{a, b}));
  Click(120, 30, Qt::ShiftModifier);
  EXPECT_EQ(Sel(), (std::vector<int32_t>{a, b, c}));
  Click(60, 70, Qt::ShiftModifier);  // b again: out
  EXPECT_EQ(Sel(), (std::vector<int32_t>{a, c}));
  Click(14, 25);  // a plain click on a selected object, clear of its grips
  EXPECT_EQ(Sel(), std::vector<int32_t>{a});
  Click(20, 20);  // on its centre grip: a grip drag of nothing, no selection change
  EXPECT_EQ(Sel(), std::vector<int32_t>{a});
}

TEST_F(Picking, RubberBandTakesWhatLiesWhollyInside) {
  // A frame holding one object: the object is picked, never the frame.
  TVXVObject frame = v->Objects().Template();
  frame.Kind = vxkFRAME;
  frame.Left = 5, frame.Top = 100, frame.Right = 50, frame.Bottom = 150;
  const int32_t f = v->AddVObject(kVXVRoot, frame);
  TVXVObject inner = v->Objects().Template();
  inner.Kind = vxkELLIPSE;
  inner.Left = 10, inner.Top = 110, inner.Right = 40, inner.Bottom = 140;
  const int32_t e = v->AddVObject(f, inner);
  Drag(v->viewport(), 5, 5, 150, 145);
  EXPECT_EQ(Sel(), (std::vector<int32_t>{a, b, c, e}));
  Drag(v->viewport(), 5, 5, 150, 55);
  EXPECT_EQ(Sel(), (std::vector<int32_t>{a, c}));  // the reversed line counts by its box
  EXPECT_GE(counts.select, 2);
}

TEST_F(Picking, SelectAllTakesWhatLiesOnTheImage) {
  AddObj(*v, vxkBOX, 150, 150, 250, 250);  // runs off the image
  v->SelAllObjects();
  EXPECT_EQ(Sel(), (std::vector<int32_t>{a, b, c}));
}

TEST_F(Picking, GripsAreFoundInTheirOrderWithHalfOpenSquares) {
  v->AddSelObject(b);  // 60..80
  struct Case {
    int x, y, grip;
  };
  const Case cases[] = {{60, 60, kGripTopLeft},  {80, 80, kGripBottomRight}, {70, 70, kGripCentre},
                        {80, 60, kGripTopRight}, {60, 80, kGripBottomLeft},  {56, 56, kGripTopLeft},
                        {64, 60, kGripNone},     {63, 63, kGripTopLeft},     {55, 60, kGripNone}};
  for (const Case& k : cases) EXPECT_EQ(v->FindSelGrip(k.x, k.y), k.grip) << k.x << "," << k.y;
  // A tiny box: the top-right and bottom-left squares override the top-left one.
  const int32_t tiny = AddObj(*v, vxkBOX, 150, 150, 152, 152);
  v->UnSelAllObjects();
  v->AddSelObject(tiny);
  EXPECT_EQ(v->FindSelGrip(150, 150), kGripTopRight);
  // A line has only its ends and centre.
  v->UnSelAllObjects();
  v->AddSelObject(c);
  EXPECT_EQ(v->FindSelGrip(140, 50), kGripTopLeft);
  EXPECT_EQ(v->FindSelGrip(100, 10), kGripBottomRight);
}

TEST_F(Picking, CornerDraggedPastTheOppositeOneIsOrderedOnRelease) {
  v->AddSelObject(b);
  Press(v->viewport(), 60, 60);
  ASSERT_EQ(v->DragGrip(), kGripTopLeft);
  Move(v->viewport(), 90, 100);
  ExpectBox(*v, b, {90, 100, 80, 80});  // unordered while dragging
  Release(v->viewport(), 90, 100);
  ExpectBox(*v, b, {80, 80, 90, 100});
  EXPECT_EQ(counts.changed, 1);
  // The centre moves the whole box, only when the object may move.
  Press(v->viewport(), 85, 90);
  ASSERT_EQ(v->DragGrip(), kGripCentre);
  Move(v->viewport(), 95, 95);
  Release(v->viewport(), 95, 95);
  ExpectBox(*v, b, {90, 85, 100, 105});
  v->SetObjStyle(b, {vxvsSelectable, vxvsSizeable, vxvsVisible});
  Drag(v->viewport(), 95, 95, 120, 120);
  ExpectBox(*v, b, {90, 85, 100, 105});
}

TEST_F(Picking, SlowGripDragAtHighZoomStillMoves) {
  v->SetZoom(400);
  v->AddSelObject(a);  // 10..30: centre 20 + 21 / 2 = 20 -> client 80
  Press(v->viewport(), 80, 80);
  ASSERT_EQ(v->DragGrip(), kGripCentre);
  for (int k = 1; k <= 8; ++k) Move(v->viewport(), 80 + k, 80);  // a quarter pixel a step
  Release(v->viewport(), 88, 80);
  ExpectBox(*v, a, {12, 10, 32, 30});
}

TEST_F(Picking, DoubleClickInsideATextEditsIt) {
  const int32_t t = AddObj(*v, vxkTEXT, 100, 120, 180, 150);
  v->SetObjText(t, "Old");
  DoubleClick(v->viewport(), 140, 135);
  ASSERT_NE(v->TextEditor(), nullptr);
  EXPECT_EQ(v->EditedText(), t);
  EXPECT_EQ(Sel(), std::vector<int32_t>{t});
  EXPECT_EQ(v->TextEditor()->text(), "Old");
  // While edited the object shows its frame, not its text.
  const QImage img = Grab(*v);
  EXPECT_EQ(PixelAt(img, 99, 119), 0x0000FF);
  Type(v->TextEditor(), "er");
  // A mouse-down elsewhere ends editing and keeps the text.
  Press(v->viewport(), 10, 190);
  EXPECT_EQ(v->TextEditor(), nullptr);
  EXPECT_EQ(v->ObjText(t), "Older");
}

// ---- the editor ----

TEST(VectEditor, EscapeUndoesTheTypingThenEnds) {
  auto v = MakeVect(200, 200, 200, 200);
  Counts counts;
  counts.Attach(*v);
  const int32_t t = AddObj(*v, vxkTEXT, 20, 20, 120, 50);
  v->SetObjText(t, "Kept");
  v->AddSelObject(t);
  Key(v.get(), Qt::Key_F2);
  ASSERT_NE(v->TextEditor(), nullptr);
  Type(v->TextEditor(), " and more");
  Key(v->TextEditor(), Qt::Key_Escape);
  EXPECT_EQ(v->TextEditor(), nullptr);
  EXPECT_EQ(v->ObjText(t), "Kept");
  EXPECT_EQ(counts.changed, 0);
  // Escape on the view closes the editor with what was typed.
  v->OpenTextEditor(t);
  Type(v->TextEditor(), "!");
  Key(v.get(), Qt::Key_Escape);
  EXPECT_EQ(v->TextEditor(), nullptr);
  EXPECT_EQ(v->ObjText(t), "Kept!");
}

TEST(VectEditor, FollowsItsObjectThroughZoomAndScroll) {
  auto v = MakeVect(200, 200, 400, 400);
  const int32_t t = AddObj(*v, vxkTEXT, 20, 20, 120, 50);
  v->SetObjFontHeight(t, -12);
  v->SetObjBrushStyle(t, bsSolid);
  v->OpenTextEditor(t);
  QLineEdit* first = v->TextEditor();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->font().pixelSize(), 12);
  EXPECT_EQ(first->palette().color(QPalette::Base), QColor(0, 255, 0));
  EXPECT_EQ(first->palette().color(QPalette::Text), QColor(255, 0, 0));
  Type(first, "typed");
  v->SetZoom(200);
  ASSERT_NE(v->TextEditor(), nullptr);
  EXPECT_EQ(v->TextEditor()->text(), "typed");
  EXPECT_EQ(v->TextEditor()->geometry(), QRect(40, 40, 200, 60));
  EXPECT_EQ(v->TextEditor()->font().pixelSize(), 24);
  v->SetViewXY(10, 5);
  EXPECT_EQ(v->TextEditor()->geometry(), QRect(30, 35, 200, 60));
  EXPECT_EQ(v->ObjText(t), "typed");
  v->SetMouseInteractVt({miPutBox});  // a change of mode ends editing
  EXPECT_EQ(v->TextEditor(), nullptr);
  EXPECT_EQ(v->EditedText(), -1);
}

TEST(VectEditor, RemovingTheEditedObjectEndsEditing) {
  auto v = MakeVect(200, 200, 200, 200);
  const int32_t t = AddObj(*v, vxkTEXT, 20, 20, 120, 50);
  v->AddSelObject(t);
  v->OpenTextEditor(t);
  v->RemoveObject(t);
  EXPECT_EQ(v->TextEditor(), nullptr);
  EXPECT_EQ(v->SelObjectsCount(), 0);
  EXPECT_EQ(v->ObjectsCount(), 0);
}

// ---- measuring ----

TEST(VectMeasure, RectangleAreaInPixelsAtAnyZoomAndInInches) {
  auto v = MakeVect(200, 200, 200, 200);
  v->SelectBitmapRect(0, 0, 10, 10);
  for (int zoom : {100, 200, 50}) {
    v->SetZoom(zoom);
    v->SelectBitmapRect(0, 0, 10, 10);
    EXPECT_DOUBLE_EQ(v->GetSelectionArea(), 100) << zoom;
  }
  v->SetZoom(100);
  v->SetDPI(100, 100);
  v->SetMUnit(vxuINCHES);
  EXPECT_NEAR(v->GetSelectionArea(), 0.01, 1e-12);
  v->SetMouseInteractVt({miArea});
  Move(v->viewport(), 50, 50, Qt::NoButton);
  EXPECT_EQ(v->Hint()->Text(), "0.01 Inches\u00B2");
  EXPECT_TRUE(v->Hint()->isVisible());
}

TEST(VectMeasure, MeasureHintEventMayRewriteTheText) {
  auto v = MakeVect(200, 200, 200, 200);
  double seen = -1;
  v->OnMeasureHint = [&](TObject*, std::string& text, double value) {
    seen = value;
    text = "length " + text;
  };
  v->SelectBitmapRect(0, 0, 30, 40);
  v->SetMouseInteractVt({miLineLen});
  Move(v->viewport(), 150, 150, Qt::NoButton);
  EXPECT_DOUBLE_EQ(seen, 140);
  EXPECT_EQ(v->Hint()->Text(), "length 140.00 Pixels");
  // Placed at the mouse, held inside the client.
  const QPoint at = v->viewport()->mapFromGlobal(v->Hint()->pos());
  EXPECT_EQ(at.x(), std::min(150, v->ClientWidth() - v->Hint()->width() - 1));
}

TEST(VectMeasure, PolygonLengthRunsToTheCursorWhileDrawn) {
  auto v = MakeVect(200, 200, 200, 200);
  v->SetMouseInteract({miSelectPolygon});
  v->SetMouseInteractVt({miLineLen});
  Press(v->viewport(), 10, 10);
  Release(v->viewport(), 10, 10);
  Press(v->viewport(), 50, 10);
  Release(v->viewport(), 50, 10);
  Move(v->viewport(), 50, 40, Qt::NoButton);
  EXPECT_DOUBLE_EQ(v->GetSelectionLen(), 70);
  v->MeasureToCursor = false;
  EXPECT_DOUBLE_EQ(v->GetSelectionLen(), 40);
  v->MeasureToCursor = true;
  DoubleClick(v->viewport(), 50, 40);
  ASSERT_FALSE(v->PolygonDrawing());
  EXPECT_DOUBLE_EQ(v->GetSelectionLen(), 120);  // closed: 40 + 30 + 50
}

TEST(VectMeasure, ScaleFromTheSelectionsLength) {
  auto v = MakeVect(200, 200, 200, 200);
  v->SetDPI(254, 254);
  v->SetMUnit(vxuCENTIMETERS);
  v->SetSelectionBase(vxsbBitmap);
  v->AddSelPoint(0, 0);
  v->AddSelPoint(100, 0);
  v->SetScaleFromSelectionLen(5);
  EXPECT_NEAR(v->GetSelectionLen(), 5, 1e-9);
  EXPECT_NEAR(v->Scale(), 5, 1e-9);  // 100 pixels are 1 cm unscaled
}

// ---- clipboard ----

class Clip : public ::testing::Test {
 protected:
  void SetUp() override {
    v = MakeVect(200, 200, 400, 400);
    counts.Attach(*v);
    box = AddObj(*v, vxkBOX, 10, 10, 40, 30, bsSolid);
    v->SetObjName(box, "box");
    v->SetObjID(box, 7);
    pic = AddObj(*v, vxkBITMAP, 50, 10, 60, 20);
    TBitmap b;
    b.SetSize(4, 3);
    FillImage(b, 0x00AA55);
    v->SetObjBitmap(pic, &b);
    text = AddObj(*v, vxkTEXT, 10, 50, 90, 70);
    v->SetObjText(text, "label");
    v->SetObjFontAngle(text, 30);
  }
  std::unique_ptr<TVantixVect> v;
  Counts counts;
  int32_t box = 0, pic = 0, text = 0;
};

TEST_F(Clip, CopyAndPasteRoundTripsTheObjectsBesideTheOriginals) {
  EXPECT_FALSE(v->CopyToClipboard());  // nothing selected
  v->AddSelObject(box);
  v->AddSelObject(pic);
  v->AddSelObject(text);
  ASSERT_TRUE(v->CopyToClipboard());
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(data->hasFormat(kVXVMimeType));
  ASSERT_TRUE(data->hasImage());
  const QImage picture = qvariant_cast<QImage>(data->imageData());
  EXPECT_GE(picture.width(), 81);  // 10..90 and a margin
  ASSERT_TRUE(v->PasteFromClipboard());
  ASSERT_EQ(v->ObjectsCount(), 6);
  ASSERT_EQ(v->SelObjectsCount(), 3);
  const int32_t nb = v->SelObjects(0), np = v->SelObjects(1), nt = v->SelObjects(2);
  ExpectBox(*v, nb, {20, 20, 50, 40});  // one step aside: the originals are in sight
  EXPECT_EQ(v->ObjName(nb), "box");
  EXPECT_EQ(v->ObjID(nb), 7);
  EXPECT_EQ(v->ObjBrushStyle(nb), bsSolid);
  ASSERT_NE(v->ObjBitmap(np), nullptr);
  EXPECT_EQ(v->ObjBitmap(np)->Width(), 4);
  EXPECT_EQ(v->ObjBitmap(np), v->ObjBitmap(pic));  // equal pictures share one entry
  EXPECT_EQ(v->ObjText(nt), "label");
  EXPECT_EQ(v->ObjFontAngle(nt), 30);
  ExpectBox(*v, box, {10, 10, 40, 30});
  EXPECT_EQ(counts.changed, 1);
}

TEST_F(Clip, CutThenPasteRestoresInPlace) {
  v->AddSelObject(box);
  ASSERT_TRUE(v->CutToClipboard());
  EXPECT_EQ(v->ObjectsCount(), 2);
  EXPECT_EQ(v->SelObjectsCount(), 0);
  ASSERT_TRUE(v->PasteFromClipboard());
  ASSERT_EQ(v->SelObjectsCount(), 1);
  ExpectBox(*v, v->SelObjects(0), {10, 10, 40, 30});
}

TEST_F(Clip, PasteBringsObjectsOutOfSightIntoView) {
  v->AddSelObject(box);
  ASSERT_TRUE(v->CopyToClipboard());
  v->SetViewXY(150, 100);
  ASSERT_TRUE(v->PasteFromClipboard());
  ExpectBox(*v, v->SelObjects(0), {150, 100, 180, 120});
}

TEST_F(Clip, FramesTravelWithTheirChildren) {
  TVXVObject frame = v->Objects().Template();
  frame.Kind = vxkFRAME;
  frame.Left = 100, frame.Top = 100, frame.Right = 150, frame.Bottom = 150;
  const int32_t f = v->AddVObject(kVXVRoot, frame);
  TVXVObject child = v->Objects().Template();
  child.Kind = vxkLINE;
  child.Left = 110, child.Top = 140, child.Right = 140, child.Bottom = 110;
  const int32_t c = v->AddVObject(f, child);
  v->AddSelObject(f);
  v->AddSelObject(c);  // inside the selected frame: copied once, with it
  ASSERT_TRUE(v->CopyToClipboard());
  ASSERT_TRUE(v->PasteFromClipboard());
  ASSERT_EQ(v->SelObjectsCount(), 1);
  const TVXVObject* pasted = v->Objects().Object(v->SelObjects(0));
  ASSERT_NE(pasted, nullptr);
  EXPECT_EQ(pasted->Kind, vxkFRAME);
  ASSERT_EQ(pasted->ChildCount, 1);
  ExpectBox(*v, pasted->Children[0], {120, 150, 150, 120});
}

TEST_F(Clip, DamagedFragmentsPasteNothingAndPicturesInsertAsBitmaps) {
  auto* bad = new QMimeData;
  bad->setData(kVXVMimeType, QByteArray("VXV4\x10\0\0\0garbage", 15));
  QImage picture(12, 8, QImage::Format_RGB32);
  picture.fill(QColor(0, 0, 255));
  bad->setImageData(picture);
  QGuiApplication::clipboard()->setMimeData(bad);
  EXPECT_FALSE(v->PasteFromClipboard());
  EXPECT_EQ(v->ObjectsCount(), 3);
  v->SetViewXY(30, 40);
  ASSERT_TRUE(v->InsertFromClipboard());
  ASSERT_EQ(v->SelObjectsCount(), 1);
  const int32_t i = v->SelObjects(0);
  EXPECT_EQ(v->ObjKind(i), vxkBITMAP);
  ExpectBox(*v, i, {30, 40, 41, 47});
  ASSERT_NE(v->ObjBitmap(i), nullptr);
  EXPECT_EQ(ColorToRGB(const_cast<TBitmap*>(v->ObjBitmap(i))->Canvas().Pixel(3, 3)), 0xFF0000);
}

}  // namespace
