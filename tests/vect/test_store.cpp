// The object store: slot numbering, frames, z-order, lookup, properties, the shared
// bitmap table, units and the hit testing a widget builds on.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "proc/bitmapcompare.h"
#include "vect/vxvmeasure.h"
#include "vect/vxvstore.h"

#include "storefixtures.h"

using namespace vx;

namespace {

TBitmap Solid(int w, int h, uint8_t v) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>(v + x + y);
  return b;
}

using vxvtest::AddKind;

TEST(VectStore, TemplateAndRootDefaults) {
  TVXVObjectStore st;
  const TVXVObject& t = st.Template();
  EXPECT_EQ(st.ObjRect(kVXVTemplate), (TRect{0, 0, 63, 63}));
  EXPECT_EQ(t.Kind, vxkFRAME);
  EXPECT_EQ(t.ShapeWidth, 10);
  EXPECT_EQ(t.ShapeHeight, 20);
  EXPECT_EQ(t.PenColor, clWhite);
  EXPECT_EQ(t.BrushStyle, bsClear);
  EXPECT_DOUBLE_EQ(t.ArcEnd, 2 * std::numbers::pi);
  EXPECT_EQ(t.Style, kVXVStyleAll);
  EXPECT_EQ(t.Parent, kVXVNone);
  ASSERT_TRUE(t.Font.has_value());
  EXPECT_EQ(t.Font->FaceNameString(), "Arial");
  const TBitmap* icon = st.ObjBitmap(kVXVTemplate);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->Width(), 64);
  EXPECT_EQ(icon->PixelFormat(), pf24bit);
  EXPECT_EQ(st.ObjRect(kVXVRoot).right, kVXVUnsizedRootExtent);
  st.SetImageSize(640, 480);
  EXPECT_EQ(st.ObjRect(kVXVRoot), (TRect{0, 0, 639, 479}));
}

TEST(VectStore, SlotsKeepTheirNumbers) {
  TVXVObjectStore st;
  for (int k = 0; k < 3; ++k) EXPECT_EQ(st.AddNewObject(), k);
  st.SetObjID(0, 100);
  st.SetObjID(2, 102);
  st.RemoveObject(1);
  EXPECT_EQ(st.ObjectsCount(), 2);
  EXPECT_FALSE(st.Exists(1));
  EXPECT_EQ(st.AddNewObject(), 3);  // a new slot at the end, the hole stays
  EXPECT_EQ(st.ObjID(0), 100);
  EXPECT_EQ(st.ObjID(2), 102);
  EXPECT_EQ(st.Resolve(kVXVLastSlot), 3);
  // Removing the last slot shrinks the array by one only, the hole before it stays.
  st.RemoveObject(3);
  EXPECT_EQ(st.SlotCount(), 3);
  st.RemoveObject(2);
  EXPECT_EQ(st.SlotCount(), 2);
  EXPECT_EQ(st.Resolve(kVXVLastSlot), kVXVNone);  // slot 1 is unused
  EXPECT_EQ(st.ObjectsCount(), 1);
  // Readers of a missing object are neutral, writers do nothing.
  st.SetObjID(1, 5);
  EXPECT_EQ(st.ObjID(1), 0);
  EXPECT_EQ(st.Object(77), nullptr);
}

TEST(VectStore, RecordsStayInPlaceAcrossBlocks) {
  TVXVObjectStore st;
  st.AddNewObject();
  const TVXVObject* first = st.Object(0);
  for (int k = 1; k < 3 * TVXVObjectStore::kBlockSize + 5; ++k) st.AddNewObject();
  EXPECT_EQ(st.Object(0), first);
  EXPECT_EQ(st.SlotCount(), 3 * TVXVObjectStore::kBlockSize + 5);
  EXPECT_EQ(st.Root().ChildCount, st.SlotCount());
  EXPECT_EQ(st.Root().Children.capacity() % 512, 0u);
}

TEST(VectStore, BoxesAreOrderedLinesKeepDirection) {
  TVXVObjectStore st;
  const int32_t box = AddKind(st, vxkBOX, 30, 40, 10, 20);
  const int32_t line = AddKind(st, vxkLINE, 30, 40, 10, 20);
  EXPECT_EQ(st.ObjRect(box), (TRect{10, 20, 30, 40}));
  EXPECT_EQ(st.ObjRect(line), (TRect{30, 40, 10, 20}));
  EXPECT_EQ(st.ObjWidth(box), 21);
  st.SetObjLeft(box, 0);
  EXPECT_EQ(st.ObjRect(box), (TRect{0, 20, 20, 40}));
  st.SetObjHeight(box, 5);
  EXPECT_EQ(st.ObjRect(box).bottom, 24);
}

TEST(VectStore, FramesHoldChildrenAndGoWithThem) {
  TVXVObjectStore st;
  std::vector<int32_t> removed;
  st.OnRemoving = [&](int32_t i) { removed.push_back(i); };
  const int32_t before = st.AddNewObject();
  const int32_t frame = AddKind(st, vxkFRAME, 0, 0, 10, 10);
  const int32_t a = AddKind(st, vxkBOX, 1, 1, 2, 2, frame);
  const int32_t inner = AddKind(st, vxkFRAME, 0, 0, 5, 5, frame);
  const int32_t b = AddKind(st, vxkLINE, 3, 3, 4, 4, inner);
  const int32_t after = AddKind(st, vxkBOX, 0, 0, 1, 1);
  EXPECT_EQ(AddKind(st, vxkBOX, 0, 0, 1, 1, a), kVXVNone);  // a box holds nothing
  EXPECT_EQ(st.Object(frame)->Children, (std::vector<int32_t>{a, inner}));
  EXPECT_EQ(st.Object(b)->Parent, inner);
  EXPECT_EQ(st.ObjectsCount(), 6);
  st.RemoveObject(frame);
  EXPECT_EQ(removed, (std::vector<int32_t>{frame, a, inner, b}));
  EXPECT_EQ(st.ObjectsCount(), 2);
  EXPECT_EQ(st.Root().Children, (std::vector<int32_t>{before, after}));
  for (int32_t gone : {frame, a, inner, b}) EXPECT_FALSE(st.Exists(gone));
  // A frame that holds objects keeps its kind, so they stay reachable.
  const int32_t f2 = AddKind(st, vxkFRAME, 0, 0, 1, 1);
  AddKind(st, vxkBOX, 0, 0, 1, 1, f2);
  st.SetObjKind(f2, vxkBOX);
  EXPECT_EQ(st.ObjKind(f2), vxkFRAME);
}

TEST(VectStore, ZOrderWithinAndAcrossFrames) {
  TVXVObjectStore st;
  int changes = 0;
  st.OnChanged = [&](int32_t) { ++changes; };
  const int32_t a = st.AddNewObject(), b = st.AddNewObject(), c = st.AddNewObject();
  const int32_t d = st.AddNewObject();
  auto order = [&] { return st.Root().Children; };
  st.SetObjFrontOf(a, c);
  EXPECT_EQ(order(), (std::vector<int32_t>{b, c, a, d}));
  st.SetObjBackTo(d, b);
  EXPECT_EQ(order(), (std::vector<int32_t>{d, b, c, a}));
  st.SetObjFrontOf(d, -1);
  EXPECT_EQ(order(), (std::vector<int32_t>{b, c, a, d}));
  st.SetObjBackTo(a, -1);
  EXPECT_EQ(order(), (std::vector<int32_t>{a, b, c, d}));
  EXPECT_EQ(changes, 4);
  // a and b are frames (the template's kind): moving c next to a child of a takes c into a.
  const int32_t child = AddKind(st, vxkBOX, 0, 0, 1, 1, a);
  st.SetObjFrontOf(c, child);
  EXPECT_EQ(st.Object(a)->Children, (std::vector<int32_t>{child, c}));
  EXPECT_EQ(st.Object(c)->Parent, a);
  EXPECT_EQ(order(), (std::vector<int32_t>{a, b, d}));
  // A frame cannot go inside itself.
  st.SetObjBackTo(a, c);
  EXPECT_EQ(st.Object(a)->Parent, kVXVRoot);
  EXPECT_EQ(st.GetObjPos(kVXVRoot, d), 2);
  EXPECT_EQ(st.GetObjPos(a, d), -1);
}

TEST(VectStore, LookupIsDepthFirstInChildOrder) {
  TVXVObjectStore st;
  const int32_t frame = AddKind(st, vxkFRAME, 0, 0, 1, 1);
  const int32_t top = AddKind(st, vxkBOX, 0, 0, 1, 1);
  const int32_t nested = AddKind(st, vxkBOX, 0, 0, 1, 1, frame);
  st.SetObjName(top, "x");
  st.SetObjName(nested, "x");
  st.SetObjID(top, 7);
  st.SetObjID(nested, 7);
  EXPECT_EQ(st.GetObjFromName("x"), nested);
  EXPECT_EQ(st.GetObjFromID(7), nested);
  EXPECT_EQ(st.GetObjFromName("y"), -1);
  EXPECT_EQ(st.GetObjFromID(8), -1);
}

TEST(VectStore, ExtentsEncloseEveryObject) {
  TVXVObjectStore st;
  EXPECT_EQ(st.GetObjectsExtents(), (TRect{0, 0, 0, 0}));
  AddKind(st, vxkLINE, 50, 60, 40, 45);
  const int32_t f = AddKind(st, vxkFRAME, 100, 100, 100, 100);
  AddKind(st, vxkBOX, 5, 70, 8, 200, f);
  EXPECT_EQ(st.GetObjectsExtents(), (TRect{5, 45, 100, 200}));
}

TEST(VectStore, FontProperties) {
  TVXVObjectStore st;
  const int32_t t = AddKind(st, vxkTEXT, 0, 0, 10, 10);
  st.SetObjFontAngle(t, 45.67);
  EXPECT_EQ(st.ObjFont(t)->Escapement, 456);
  EXPECT_DOUBLE_EQ(st.ObjFontAngle(t), 45.6);
  st.SetObjFontStyles(t, {fsBold, fsUnderline});
  EXPECT_EQ(st.ObjFont(t)->Weight, kFontWeightBold);
  EXPECT_EQ(st.ObjFontStyles(t), (TFontStyles{fsBold, fsUnderline}));
  st.SetObjFontName(t, "A face name that is far longer than thirty-one bytes");
  EXPECT_EQ(st.ObjFontName(t).size(), 31u);
  TVXLogFont f;
  f.Height = -30;
  st.SetObjFont(t, f, clRed);
  EXPECT_EQ(st.ObjFontHeight(t), -30);
  EXPECT_EQ(st.ObjPenColor(t), clRed);
  // An object without a font reads 0 and ignores font writes.
  st.Object(t)->Font.reset();
  EXPECT_EQ(st.ObjFontAngle(t), 0);
  st.SetObjFontAngle(t, 90);
  st.SetObjFontHeight(t, 12);
  EXPECT_FALSE(st.Object(t)->Font.has_value());
}

TEST(VectStore, SharedBitmapsCountReferences) {
  TVXVObjectStore st;
  const TBitmap pic = Solid(8, 6, 10);
  const int32_t a = AddKind(st, vxkBITMAP, 0, 0, 7, 5);
  const int32_t b = AddKind(st, vxkBITMAP, 0, 0, 7, 5);
  st.SetObjBitmap(a, &pic);
  const TBitmap same(pic);
  st.SetObjBitmap(b, &same);
  const int32_t e = st.Object(a)->BitmapIndex;
  EXPECT_EQ(st.Object(b)->BitmapIndex, e);
  EXPECT_EQ(st.Bitmaps()[static_cast<size_t>(e)].RefCount, 2);
  // Copying a bitmap object shares its entry too.
  const int32_t c = st.AddVObject(kVXVRoot, *st.Object(a));
  EXPECT_EQ(st.Bitmaps()[static_cast<size_t>(e)].RefCount, 3);
  // Storing an object's own bitmap again changes nothing.
  st.SetObjBitmap(c, st.ObjBitmap(c));
  EXPECT_EQ(st.Bitmaps()[static_cast<size_t>(e)].RefCount, 3);
  st.RemoveObject(a);
  st.RemoveObject(c);
  ASSERT_NE(st.ObjBitmap(b), nullptr);
  EXPECT_TRUE(BitmapCompareX(*st.ObjBitmap(b), pic));
  st.RemoveObject(b);
  EXPECT_EQ(st.Bitmaps()[static_cast<size_t>(e)].RefCount, 0);
  EXPECT_EQ(st.Bitmaps()[static_cast<size_t>(e)].Bitmap, nullptr);
  // The empty entry is reused before the table grows.
  const size_t entries = st.Bitmaps().size();
  const int32_t d = AddKind(st, vxkBITMAP, 0, 0, 1, 1);
  const TBitmap other = Solid(3, 3, 99);
  st.SetObjBitmap(d, &other);
  EXPECT_EQ(st.Object(d)->BitmapIndex, e);
  EXPECT_EQ(st.Bitmaps().size(), entries);
}

TEST(VectStore, WithoutSharingEveryObjectHasItsOwnCopy) {
  TVXVObjectStore st;
  st.SetShareBitmaps(false);
  const TBitmap pic = Solid(4, 4, 1);
  const int32_t a = AddKind(st, vxkBITMAP, 0, 0, 3, 3);
  st.SetObjBitmap(a, &pic);
  const int32_t b = st.AddVObject(kVXVRoot, *st.Object(a));
  EXPECT_NE(st.Object(a)->BitmapIndex, st.Object(b)->BitmapIndex);
  EXPECT_NE(st.ObjBitmap(a), st.ObjBitmap(b));
  EXPECT_TRUE(BitmapCompareX(*st.ObjBitmap(a), *st.ObjBitmap(b)));
}

TEST(VectStore, CompactingRenumbersEveryHolder) {
  TVXVObjectStore st;  // entry 0: the template's icon
  const TBitmap p1 = Solid(2, 2, 1), p2 = Solid(2, 2, 50);
  const int32_t a = AddKind(st, vxkBITMAP, 0, 0, 1, 1);
  const int32_t b = AddKind(st, vxkBITMAP, 0, 0, 1, 1);
  st.SetObjBitmap(a, &p1);
  st.SetObjBitmap(b, &p2);
  st.SetObjBitmap(kVXVTemplate, nullptr);  // entry 0 empties
  st.RemoveObject(a);                      // entry 1 empties
  st.SetObjBitmap(kVXVTemplate, &p1);      // takes entry 0 again
  st.SetObjBitmap(kVXVTemplate, nullptr);
  const TBitmap p3 = Solid(5, 5, 3);
  st.SetObjBitmap(kVXVTemplate, &p3);
  st.CompactBitmaps();
  ASSERT_EQ(st.Bitmaps().size(), 2u);
  EXPECT_TRUE(BitmapCompareX(*st.ObjBitmap(b), p2));
  EXPECT_TRUE(BitmapCompareX(*st.ObjBitmap(kVXVTemplate), p3));
}

TEST(VectStore, RemoveAllEmptiesTheTable) {
  TVXVObjectStore st;
  std::vector<int32_t> removed;
  st.OnRemoving = [&](int32_t i) { removed.push_back(i); };
  const TBitmap p = Solid(2, 2, 1);
  st.SetObjBitmap(AddKind(st, vxkBITMAP, 0, 0, 1, 1), &p);
  st.RemoveAllObjects();
  EXPECT_EQ(removed, (std::vector<int32_t>{kVXVNone}));
  EXPECT_EQ(st.ObjectsCount(), 0);
  EXPECT_EQ(st.SlotCount(), 0);
  EXPECT_TRUE(st.Bitmaps().empty());
  EXPECT_EQ(st.ObjBitmap(kVXVTemplate), nullptr);
  EXPECT_EQ(st.AddNewObject(), 0);
}

TEST(BitmapCompareX, SameSizeFormatAndPixels) {
  TBitmap a = Solid(5, 3, 7), b = Solid(5, 3, 7);
  // Row padding is no part of the picture.
  b.ScanLine(0)[15] ^= 0xFF;
  EXPECT_TRUE(BitmapCompareX(a, b));
  b.ScanLine(2)[14] ^= 1;
  EXPECT_FALSE(BitmapCompareX(a, b));
  EXPECT_FALSE(BitmapCompareX(a, Solid(3, 5, 7)));
  TBitmap c(a);
  c.SetPixelFormat(pf32bit);
  EXPECT_FALSE(BitmapCompareX(a, c));
  TBitmap m1, m2;
  for (TBitmap* m : {&m1, &m2}) {
    m->SetPixelFormat(pf1bit);
    m->SetSize(10, 2);
    m->ScanLine(0)[0] = 0xA5;
  }
  m2.ScanLine(0)[1] |= 0x3F;  // the bits past the tenth pixel
  EXPECT_TRUE(BitmapCompareX(m1, m2));
  m2.ScanLine(0)[1] |= 0x40;  // the tenth pixel
  EXPECT_FALSE(BitmapCompareX(m1, m2));
  m2 = m1;
  m2.SetPalette({TRGB{0, 0, 0}, TRGB{0, 0, 255}});
  EXPECT_FALSE(BitmapCompareX(m1, m2));
}

TEST(VectUnits, CoefficientsFollowUnitDpiAndScale) {
  TVXVObjectStore st;
  EXPECT_EQ(st.CoefX(), 1);
  st.SetDPI(254, 100);
  st.SetMUnit(vxuCENTIMETERS);
  EXPECT_NEAR(st.CoefX(), 0.01, 1e-15);
  EXPECT_NEAR(st.CoefY(), 0.0254, 1e-15);
  const struct {
    TVXUnits unit;
    double perInch;
  } table[] = {{vxuINCHES, 1}, {vxuMILLIMETERS, 25.4}, {vxuMETERS, 0.0254}, {vxuKM, 0.0000254}};
  for (const auto& row : table) {
    st.SetMUnit(row.unit);
    EXPECT_NEAR(st.CoefY() / row.perInch, 0.01, 1e-12) << strunits[static_cast<int>(row.unit)];
  }
  st.SetMUnit(vxuMILLIMETERS);
  st.SetScale(3);
  EXPECT_NEAR(st.CoefX(), 0.3, 1e-12);
  // 50 pixels shall measure 2 mm.
  st.SetScaleFromPixels(50, 2);
  EXPECT_NEAR(50 * st.CoefX(), 2, 1e-12);
  const double scale = st.Scale();
  st.SetScaleFromPixels(0, 2);
  st.SetDPI(0, 0);  // no division by zero either
  EXPECT_TRUE(std::isfinite(st.CoefX()));
  st.SetDPI(254, 254);
  EXPECT_EQ(st.Scale(), scale);
}

TEST(VectUnits, ScaleFromSelectionMeasuresInPixels) {
  TVXVObjectStore st;
  st.SetDPI(100, 100);
  st.SetMUnit(vxuINCHES);
  st.SetScale(7);
  double coefSeen = 0;
  st.SetScaleFromSelectionLen(5, [&] {
    coefSeen = st.CoefX();
    return 40.9;  // truncated to 40 pixels
  });
  EXPECT_EQ(coefSeen, 1);
  EXPECT_NEAR(40 * st.CoefX(), 5, 1e-12);
}

TEST(VectUnits, MeasureTexts) {
  TVXVObjectStore st;
  st.SetDPI(100, 100);
  st.SetMUnit(vxuINCHES);
  const std::vector<TPoint> rect{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  const double area = PolygonArea(rect) * st.CoefX() * st.CoefY();
  EXPECT_NEAR(area, 0.01, 1e-15);
  EXPECT_EQ(st.MeasureText(area, true), "0.01 Inches\u00B2");
  st.SetMUnit(vxuMILLIMETERS);
  st.SetFloatDigits(3);
  EXPECT_EQ(st.MeasureText(12.34567, false), "12.346 MM");
}

TEST(VectMeasure, AreasAndLengths) {
  const std::vector<TPoint> rect{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  EXPECT_EQ(PolygonArea(rect), 100);
  EXPECT_EQ(PolygonArea({{0, 0}, {10, 0}}), 0);
  const std::vector<TPoint> tri{{0, 0}, {4, 0}, {4, 3}};
  EXPECT_EQ(PolygonArea(tri), 6);
  EXPECT_EQ(PolylineLength(tri, false, 1, 1), 7);
  EXPECT_EQ(PolylineLength(tri, true, 1, 1), 12);
  EXPECT_EQ(PolylineLength({{0, 0}, {3, 4}}, true, 1, 1), 5);  // two vertices: no closing edge
  EXPECT_NEAR(PolylineLength(tri, false, 2, 0.5), 8 + 1.5, 1e-12);
  EXPECT_NEAR(DragLength(30, 40, 200, 1, 1), 25, 1e-12);
}

TEST(VectMeasure, DistancesToEachKind) {
  TVXVObject line;
  line.Kind = vxkLINE;
  line.Left = 0, line.Top = 0, line.Right = 10, line.Bottom = 0;
  EXPECT_EQ(CalcDistPtObj(line, 5, 3), 3);
  EXPECT_EQ(CalcDistPtObj(line, 13, 4), 5);  // past the end: the nearer end point
  TVXVObject box;
  box.Kind = vxkBOX;
  box.Left = 0, box.Top = 0, box.Right = 20, box.Bottom = 10;
  box.BrushStyle = bsClear;
  EXPECT_EQ(CalcDistPtObj(box, 5, 5), 5);  // inside a clear box: to the nearest edge
  EXPECT_EQ(CalcDistPtObj(box, 25, 5), 5);
  box.BrushStyle = bsSolid;
  EXPECT_EQ(CalcDistPtObj(box, 5, 5), 0);
  for (TVXVObjectKind k : {vxkFRAME, vxkBITMAP, vxkTEXT}) {
    box.Kind = k;
    box.BrushStyle = bsClear;
    EXPECT_EQ(CalcDistPtObj(box, 5, 5), 0);
  }
  TVXVObject ell;
  ell.Kind = vxkELLIPSE;
  ell.Left = 0, ell.Top = 0, ell.Right = 200, ell.Bottom = 200;
  EXPECT_NEAR(CalcDistPtObj(ell, 100, 100), 100, 0.1);
  EXPECT_NEAR(CalcDistPtObj(ell, 200, 100), 0, 1e-9);  // a chord end
  EXPECT_NEAR(CalcDistPtObj(ell, 100, 250), 50, 0.1);
  ell.Right = 2;  // rx = 1: too small to outline
  EXPECT_EQ(CalcDistPtObj(ell, 0, 0), kVXVFarDistance);
}

// The nearest object by brute force over the children, the way the rule reads.
int32_t BruteNearest(const TVXVObjectStore& st, int x, int y, const TRect& visible) {
  double best = 1000000000;
  int32_t found = kVXVRoot;
  const auto& c = st.Root().Children;
  for (size_t k = c.size(); k-- > 0;) {
    const TVXVObject& o = *st.Object(c[k]);
    if (!o.Style.Contains(vxvsSelectable) || !BoxesMeet(o.OrderedBox(), visible)) continue;
    const double d = CalcDistPtObj(o, x, y);
    if (d < best) {
      best = d;
      found = c[k];
    }
  }
  return found;
}

TEST(VectFindNear, MatchesTheExhaustiveSearch) {
  TVXVObjectStore st;
  std::mt19937 rng(5);
  const TVXVObjectKind kinds[] = {vxkLINE, vxkBOX, vxkELLIPSE, vxkARC, vxkBITMAP, vxkTEXT};
  for (int k = 0; k < 600; ++k) {
    const int x = static_cast<int>(rng() % 2000), y = static_cast<int>(rng() % 2000);
    const int32_t i = AddKind(st, kinds[rng() % 6], x, y, x + static_cast<int>(rng() % 200) - 50,
                              y + static_cast<int>(rng() % 200) - 50);
    st.SetObjBrushStyle(i, rng() % 2 ? bsClear : bsSolid);
    if (rng() % 7 == 0) st.SetObjStyle(i, {vxvsVisible});
  }
  const TRect visible{0, 0, 1500, 1500};
  for (int q = 0; q < 300; ++q) {
    const int x = static_cast<int>(rng() % 2100) - 50, y = static_cast<int>(rng() % 2100) - 50;
    EXPECT_EQ(st.FindNearObj(kVXVRoot, x, y, visible), BruteNearest(st, x, y, visible))
        << x << "," << y;
  }
}

TEST(VectFindNear, TiesFramesAndNothing) {
  TVXVObjectStore st;
  const TRect all{0, 0, 1000, 1000};
  EXPECT_EQ(st.FindNearObj(kVXVRoot, 5, 5, all), kVXVRoot);
  const int32_t lower = AddKind(st, vxkBOX, 10, 10, 20, 20);
  const int32_t upper = AddKind(st, vxkBOX, 10, 10, 20, 20);
  EXPECT_EQ(st.FindNearObj(kVXVRoot, 0, 0, all), upper);  // a tie keeps the upper one
  st.SetObjStyle(upper, {vxvsVisible});
  EXPECT_EQ(st.FindNearObj(kVXVRoot, 0, 0, all), lower);
  // Far away still finds the nearest one.
  EXPECT_EQ(st.FindNearObj(kVXVRoot, 900, 900, all), lower);
  // A horizontal line (a box of height 0) and a reversed line count as visible.
  const int32_t flat = AddKind(st, vxkLINE, 500, 100, 400, 100);
  EXPECT_EQ(st.FindNearObj(kVXVRoot, 450, 102, all), flat);
  // Off the visible part: not a candidate.
  EXPECT_EQ(st.FindNearObj(kVXVRoot, 450, 102, TRect{0, 0, 300, 300}), lower);
  // Frames are searched inside; an empty frame stands for itself.
  const int32_t frame = AddKind(st, vxkFRAME, 600, 600, 700, 700);
  EXPECT_EQ(st.FindNearObj(kVXVRoot, 650, 650, all), frame);
  const int32_t inner = AddKind(st, vxkLINE, 600, 640, 700, 640, frame);
  EXPECT_EQ(st.FindNearObj(kVXVRoot, 650, 641, all), inner);
  EXPECT_EQ(VisibleImagePart(100, 50, 400, 300, 200), (TRect{50, 25, 250, 175}));
}

TEST(VectFindNear, RubberBandTakesObjectsCompletelyInside) {
  TVXVObjectStore st;
  const int32_t in = AddKind(st, vxkBOX, 10, 10, 20, 20);
  AddKind(st, vxkBOX, 10, 10, 120, 20);  // sticks out
  const int32_t reversed = AddKind(st, vxkLINE, 50, 50, 30, 30);
  const int32_t frame = AddKind(st, vxkFRAME, 0, 0, 500, 500);
  const int32_t nested = AddKind(st, vxkELLIPSE, 60, 60, 70, 70, frame);
  const int32_t fixed = AddKind(st, vxkBOX, 60, 60, 70, 70);
  st.SetObjStyle(fixed, {vxvsVisible});
  EXPECT_EQ(st.ObjectsInside(TRect{100, 100, 0, 0}), (std::vector<int32_t>{in, reversed, nested}));
}

}  // namespace
