// VXV streams: our VXV4 output read back by an independent parser of the layout, every
// field round-tripped, the older layouts read from fixtures built here byte by byte, and
// truncated or damaged streams.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs/pngfilt.h"
#include "core/vxdefs.h"
#include "io/ioparams.h"
#include "platform/exceptions.h"
#include "platform/stream.h"
#include "proc/bitmapcompare.h"
#include "storefixtures.h"
#include "testsupport.h"
#include "vect/vxvstore.h"
#include "vxvfixtures.h"

using namespace vx;
using vxvtest::AddKind;
using vxvtest::Bytes;

namespace {

TBitmap Picture(int w, int h, uint8_t seed) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x)
      b.ScanLine(y)[x] = static_cast<uint8_t>(seed * 31 + x * 7 + y * 13);
  return b;
}

TBitmap TwoColour(int w, int h) {
  TBitmap b;
  b.SetPixelFormat(pf1bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) b.ScanLine(y)[0] = static_cast<uint8_t>(0x96 ^ y);
  return b;
}

TVXLogFont OddFont() {
  TVXLogFont f;
  f.Height = -20;
  f.Width = 3;
  f.Escapement = 450;
  f.Orientation = 451;
  f.Weight = 700;
  f.Italic = 1;
  f.Underline = 1;
  f.StrikeOut = 1;
  f.CharSet = 161;
  f.OutPrecision = 3;
  f.ClipPrecision = 2;
  f.Quality = 5;
  f.PitchAndFamily = 34;
  f.SetFaceName("Liberation Sans");
  return f;
}

// Every kind, every field away from its default, bitmaps shared and not, frames nested.
void FillRich(TVXVObjectStore& st) {
  st.SetScale(2.5);
  const TBitmap a = Picture(8, 6, 1), mono = TwoColour(10, 3);
  int id = 1;
  auto dress = [&](int32_t i) {
    TVXVObject& o = *st.Object(i);
    o.Name = "object " + std::to_string(id);
    o.ID = id * 1000 - 7;
    o.PenColor = 0x102030 + id;
    o.PenStyle = static_cast<TPenStyle>(id % kPenStyleCount);
    o.PenWidth = id + 1;
    o.BrushColor = 0x605040 - id;
    o.BrushStyle = static_cast<TBrushStyle>(id % kBrushStyleCount);
    o.Style = TVXVStyle::FromBits(static_cast<uint64_t>(id % 16));
    ++id;
  };
  const int32_t line = AddKind(st, vxkLINE, 90, 80, -5, 7);
  dress(line);
  st.SetObjBeginShape(line, vxsINARROW);
  st.SetObjEndShape(line, vxsOUTARROW);
  st.SetObjShapeWidth(line, 7);
  st.SetObjShapeHeight(line, 13);
  dress(AddKind(st, vxkBOX, 1, 2, 30, 40));
  dress(AddKind(st, vxkELLIPSE, 10, 20, 50, 45));
  const int32_t arc = AddKind(st, vxkARC, 0, 0, 100, 60);
  dress(arc);
  st.SetObjArcBegin(arc, 0.25);
  st.SetObjArcEnd(arc, -4.5);
  const int32_t bmp = AddKind(st, vxkBITMAP, 5, 5, 12, 10);
  dress(bmp);
  st.SetObjBitmap(bmp, &a);
  const int32_t frame = AddKind(st, vxkFRAME, 0, 0, 200, 200);
  dress(frame);
  const int32_t text = AddKind(st, vxkTEXT, 3, 4, 150, 30, frame);
  dress(text);
  st.SetObjText(text, "Hello, w\u00F6rld");
  st.SetObjTextAlign(text, kTextAlignCenter);
  st.SetObjFont(text, OddFont(), 0x0000AA);
  const int32_t monoObj = AddKind(st, vxkBITMAP, 0, 0, 9, 2, frame);
  dress(monoObj);
  st.SetObjBitmap(monoObj, &mono);
  const int32_t inner = AddKind(st, vxkFRAME, 10, 10, 20, 20, frame);
  dress(inner);
  const int32_t bmp2 = AddKind(st, vxkBITMAP, 11, 11, 19, 19, inner);
  dress(bmp2);
  const TBitmap a2(a);
  st.SetObjBitmap(bmp2, &a2);  // shares a's entry
  const int32_t bare = AddKind(st, vxkTEXT, 0, 0, 10, 10, inner);
  dress(bare);
  st.SetObjText(bare, "");
  st.Object(bare)->Font.reset();
  st.SetObjTextAlign(bare, kTextAlignRight);
  dress(AddKind(st, vxkBOX, -10, -20, -1, -2));
  dress(AddKind(st, vxkFRAME, 0, 0, 0, 0));  // an empty frame
}

std::vector<const TVXVObject*> TreeOrder(const TVXVObjectStore& st) {
  std::vector<const TVXVObject*> out;
  struct Level {
    const TVXVObject* f;
    size_t next;
  };
  std::vector<Level> stack{{&st.Root(), 0}};
  while (!stack.empty()) {
    if (stack.back().next >= stack.back().f->Children.size()) {
      stack.pop_back();
      continue;
    }
    const TVXVObject* o = st.Object(stack.back().f->Children[stack.back().next++]);
    out.push_back(o);
    if (o->IsFrame()) stack.push_back({o, 0});
  }
  return out;
}

std::vector<uint8_t> Save(TVXVObjectStore& st) {
  TMemoryStream s;
  st.SaveToStreamVXV(s);
  return s.Data();
}

// The fields a stored object carries, compared kind by kind.
void ExpectSameObject(const TVXVObject& a, const TVXVObject& b, bool compareName = true) {
  EXPECT_EQ(a.Left, b.Left);
  EXPECT_EQ(a.Top, b.Top);
  EXPECT_EQ(a.Right, b.Right);
  EXPECT_EQ(a.Bottom, b.Bottom);
  ASSERT_EQ(a.Kind, b.Kind);
  if (compareName) {
    EXPECT_EQ(a.Name, b.Name);
    EXPECT_EQ(a.ID, b.ID);
    EXPECT_EQ(a.Style, b.Style);
  }
  EXPECT_EQ(a.PenColor, b.PenColor);
  EXPECT_EQ(a.PenStyle, b.PenStyle);
  EXPECT_EQ(a.PenWidth, b.PenWidth);
  EXPECT_EQ(a.BrushColor, b.BrushColor);
  EXPECT_EQ(a.BrushStyle, b.BrushStyle);
  switch (a.Kind) {
    case vxkFRAME:
      EXPECT_EQ(a.ChildCount, b.ChildCount);
      break;
    case vxkLINE:
      EXPECT_EQ(a.BeginShape, b.BeginShape);
      EXPECT_EQ(a.EndShape, b.EndShape);
      EXPECT_EQ(a.ShapeWidth, b.ShapeWidth);
      EXPECT_EQ(a.ShapeHeight, b.ShapeHeight);
      break;
    case vxkARC:
      EXPECT_EQ(a.ArcBegin, b.ArcBegin);
      EXPECT_EQ(a.ArcEnd, b.ArcEnd);
      break;
    case vxkTEXT:
      EXPECT_EQ(a.TextAlign, b.TextAlign);
      EXPECT_EQ(a.Text, b.Text);
      EXPECT_EQ(a.Font, b.Font);
      break;
    default:
      break;
  }
}

TEST(VXVWrite, MatchesTheDescribedLayout) {
  TVXVObjectStore st;
  FillRich(st);
  const auto data = Save(st);
  const vxvtest::ParsedVXV v = vxvtest::ParseVXV4(data);
  EXPECT_EQ(v.length, data.size());
  EXPECT_EQ(v.scale, 2.5);
  EXPECT_EQ(v.compressionLevelFlag, 2);  // zlib's default level
  // The table is compacted; the template's own reference is left out of its count.
  const auto& table = st.Bitmaps();
  ASSERT_EQ(v.counts.size(), table.size());
  const int32_t templ = st.Template().BitmapIndex;
  ASSERT_GE(templ, 0);
  EXPECT_EQ(v.counts[static_cast<size_t>(templ)], 0);
  EXPECT_TRUE(v.pngs[static_cast<size_t>(templ)].empty());
  int shared = 0;
  for (size_t k = 0; k < table.size(); ++k) {
    EXPECT_EQ(v.counts[k], table[k].RefCount - (static_cast<int32_t>(k) == templ));
    if (v.counts[k] == 2) ++shared;
    if (v.counts[k] <= 0) continue;
    TMemoryStream png(v.pngs[k]);
    TBitmap back;
    TIOParamsVals params;
    bool abort = false;
    TProgressRec pr;
    pr.Aborting = &abort;
    ReadPNGStream(png, back, params, pr, false);
    ASSERT_FALSE(abort);
    EXPECT_TRUE(BitmapCompareX(back, *table[k].Bitmap)) << "entry " << k;
  }
  EXPECT_EQ(shared, 1);
  // With no frame holding children the count is ObjectsCount; here it counts the
  // top-level blocks, which the blocks then match.
  EXPECT_EQ(v.objectCount, st.Root().ChildCount);
  const auto objects = TreeOrder(st);
  ASSERT_EQ(v.objects.size(), objects.size());
  for (size_t k = 0; k < objects.size(); ++k) {
    SCOPED_TRACE("object " + std::to_string(k));
    const TVXVObject& o = *objects[k];
    const vxvtest::ParsedObject& p = v.objects[k];
    EXPECT_EQ(p.left, o.Left);
    EXPECT_EQ(p.top, o.Top);
    EXPECT_EQ(p.right, o.Right);
    EXPECT_EQ(p.bottom, o.Bottom);
    EXPECT_EQ(p.kind, static_cast<uint8_t>(o.Kind));
    EXPECT_EQ(p.name, o.Name);
    EXPECT_EQ(p.id, o.ID);
    EXPECT_EQ(p.penColor, o.PenColor);
    EXPECT_EQ(p.penStyle, static_cast<uint8_t>(o.PenStyle));
    EXPECT_EQ(p.penWidth, o.PenWidth);
    EXPECT_EQ(p.brushColor, o.BrushColor);
    EXPECT_EQ(p.brushStyle, static_cast<uint8_t>(o.BrushStyle));
    EXPECT_EQ(p.style, o.Style.Bits());
    if (o.Kind == vxkFRAME) {
      EXPECT_EQ(p.childCount, o.ChildCount);
    }
    if (o.Kind == vxkLINE) {
      EXPECT_EQ(p.beginShape, static_cast<uint8_t>(o.BeginShape));
      EXPECT_EQ(p.endShape, static_cast<uint8_t>(o.EndShape));
      EXPECT_EQ(p.shapeWidth, o.ShapeWidth);
      EXPECT_EQ(p.shapeHeight, o.ShapeHeight);
    }
    if (o.Kind == vxkARC) {
      EXPECT_EQ(p.arcBegin, o.ArcBegin);
      EXPECT_EQ(p.arcEnd, o.ArcEnd);
    }
    if (o.Kind == vxkBITMAP) {
      EXPECT_EQ(p.bitmapIndex, o.BitmapIndex);
    }
    if (o.Kind == vxkTEXT) {
      EXPECT_EQ(p.textAlign, o.TextAlign);
      EXPECT_EQ(p.text, o.Text);
      ASSERT_EQ(p.hasFont, o.Font.has_value());
      if (p.hasFont) {
        EXPECT_EQ(p.font, o.Font->ToBytes());
      }
    }
  }
  // The font record's own layout: height at 0, escapement at 8, weight at 16, the
  // character set at 23 and the face name from 28.
  const auto& f = v.objects[6].font;
  EXPECT_EQ(f[0], static_cast<uint8_t>(-20));
  EXPECT_EQ(f[8] | f[9] << 8, 450);
  EXPECT_EQ(f[16] | f[17] << 8, 700);
  EXPECT_EQ(f[20], 1);
  EXPECT_EQ(f[23], 161);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[28])), "Liberation Sans");
}

TEST(VXVRoundTrip, EveryFieldComesBack) {
  TVXVObjectStore st;
  FillRich(st);
  const auto data = Save(st);
  TVXVObjectStore back;
  int changes = 0;
  back.OnChanged = [&](int32_t) { ++changes; };
  TMemoryStream s(data);
  back.LoadFromStreamVXV(s);
  EXPECT_GT(changes, 0);
  EXPECT_EQ(s.Position(), static_cast<int64_t>(data.size()));
  EXPECT_EQ(back.Scale(), 2.5);
  EXPECT_EQ(back.ObjectsCount(), st.ObjectsCount());
  const auto a = TreeOrder(st), b = TreeOrder(back);
  ASSERT_EQ(a.size(), b.size());
  for (size_t k = 0; k < a.size(); ++k) {
    SCOPED_TRACE("object " + std::to_string(k));
    ExpectSameObject(*a[k], *b[k]);
  }
  // Bitmaps by content and by sharing.
  auto bitmapOf = [](const TVXVObjectStore& store, const TVXVObject* o) {
    return o->BitmapIndex >= 0 ? store.Bitmaps()[static_cast<size_t>(o->BitmapIndex)].Bitmap.get()
                               : nullptr;
  };
  std::vector<int32_t> entriesA, entriesB;
  for (size_t k = 0; k < a.size(); ++k) {
    if (a[k]->Kind != vxkBITMAP) continue;
    ASSERT_NE(bitmapOf(back, b[k]), nullptr);
    EXPECT_TRUE(BitmapCompareX(*bitmapOf(st, a[k]), *bitmapOf(back, b[k])));
    entriesA.push_back(a[k]->BitmapIndex);
    entriesB.push_back(b[k]->BitmapIndex);
    EXPECT_EQ(st.Bitmaps()[static_cast<size_t>(a[k]->BitmapIndex)].RefCount -
                  (a[k]->BitmapIndex == st.Template().BitmapIndex),
              back.Bitmaps()[static_cast<size_t>(b[k]->BitmapIndex)].RefCount -
                  (b[k]->BitmapIndex == back.Template().BitmapIndex));
  }
  ASSERT_EQ(entriesA.size(), 3u);
  EXPECT_EQ(entriesB[0], entriesB[2]);  // still one shared entry
  EXPECT_NE(entriesB[0], entriesB[1]);
  // The template keeps its own bitmap through the load.
  ASSERT_NE(back.ObjBitmap(kVXVTemplate), nullptr);
  EXPECT_TRUE(BitmapCompareX(*back.ObjBitmap(kVXVTemplate), *st.ObjBitmap(kVXVTemplate)));
  // Saved again, the same bytes.
  EXPECT_EQ(Save(back), data);
}

TEST(VXVRoundTrip, FilesAndEmbeddedBlocks) {
  TVXVObjectStore st;
  FillRich(st);
  const std::string path = vxtest::TempDir() + "/objects.vxv";
  st.SaveToFileVXV(path);
  TVXVObjectStore back;
  back.LoadFromFileVXV(path);
  EXPECT_EQ(back.ObjectsCount(), st.ObjectsCount());
  EXPECT_THROW(back.LoadFromFileVXV(path + ".missing"), EFOpenError);
  // A block followed by other data: the reader stops right behind it.
  TMemoryStream s;
  s.Write("abc", 3);
  st.SaveToStreamVXV(s);
  const int64_t end = s.Position();
  s.Write("tail", 4);
  s.SetPosition(3);
  back.LoadFromStreamVXV(s);
  EXPECT_EQ(s.Position(), end);
  EXPECT_EQ(back.ObjectsCount(), st.ObjectsCount());
}

// ---- the older layouts ----

// A 24-bit BMP file of w x h, bottom row first.
std::vector<uint8_t> BmpFile(const TBitmap& pic) {
  const int w = pic.Width(), h = pic.Height();
  const int rowLen = (w * 3 + 3) / 4 * 4;
  Bytes b;
  b.U8('B').U8('M').I32(54 + rowLen * h).I32(0).I32(54);
  b.I32(40)
      .I32(w)
      .I32(h)
      .U8(1)
      .U8(0)
      .U8(24)
      .U8(0)
      .I32(0)
      .I32(rowLen * h)
      .I32(2835)
      .I32(2835)
      .I32(0)
      .I32(0);
  for (int y = h - 1; y >= 0; --y) {
    b.Raw(pic.ScanLine(y), static_cast<size_t>(w) * 3);
    b.Zero(static_cast<size_t>(rowLen - w * 3));
  }
  return b.Data();
}

std::vector<uint8_t> PngFile(const TBitmap& pic) {
  TBitmap copy(pic);
  TMemoryStream s;
  TIOParamsVals params;
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  WritePNGStream(s, copy, params, pr);
  return s.Data();
}

struct LegacyFields {
  uint8_t kind = 0;
  int32_t l = 0, t = 0, r = 0, b = 0;
  int32_t childCount = 0;
  uint8_t beginShape = 0, endShape = 0;
  int32_t shapeW = 10, shapeH = 20;
  int32_t penColor = 0, penWidth = 1, brushColor = 0;
  uint8_t penStyle = 0, brushStyle = 1;
  double arc0 = 0, arc1 = 0;
  int32_t bitmap = -1;
  bool fontPtr = false;
  uint8_t align = 0;
};

// The record as it lay in memory on a 32-bit system: fields aligned to their size,
// pointers 4 bytes, doubles at 64.
std::vector<uint8_t> LegacyRecord(const LegacyFields& f) {
  Bytes b;
  b.Zero(96);
  b.PutI32At(0, f.l);
  b.PutI32At(4, f.t);
  b.PutI32At(8, f.r);
  b.PutI32At(12, f.b);
  b.Data()[16] = f.kind;
  b.PutI32At(20, 0x11111111);  // parent: ignored
  b.PutI32At(24, f.childCount);
  b.PutI32At(28, 0x22222222);  // children pointer: ignored
  b.Data()[32] = f.beginShape;
  b.Data()[33] = f.endShape;
  b.PutI32At(36, f.shapeW);
  b.PutI32At(40, f.shapeH);
  b.PutI32At(44, f.penColor);
  b.Data()[48] = f.penStyle;
  b.PutI32At(52, f.penWidth);
  b.PutI32At(56, f.brushColor);
  b.Data()[60] = f.brushStyle;
  b.PutF64At(64, f.arc0);
  b.PutF64At(72, f.arc1);
  b.PutI32At(80, f.bitmap);
  b.PutI32At(84, 0x33333333);  // text pointer
  b.PutI32At(88, f.fontPtr ? 0x44444444 : 0);
  b.Data()[92] = f.align;
  return b.Data();
}

// line; frame { text with font; bitmap 0 }; arc. Scale 3 (VXV1) or 1.5 (VXV2).
std::vector<uint8_t> LegacyFixture(int version, const TBitmap& pic) {
  Bytes b;
  b.Raw(version == 1 ? "VXV1" : "VXV2", 4).I32(0);
  if (version == 1)
    b.I32(3);
  else
    b.F64(1.5);
  b.I32(2).I32(1).Raw(BmpFile(pic)).I32(0);
  b.I32(3);
  b.Raw(LegacyRecord({.kind = 1,
                      .l = 5,
                      .t = 6,
                      .r = 1,
                      .b = 2,
                      .beginShape = 2,
                      .endShape = 1,
                      .shapeW = 4,
                      .shapeH = 9,
                      .penColor = 0xFF,
                      .penWidth = 2,
                      .penStyle = 1}));
  b.Raw(LegacyRecord({.kind = 0, .r = 100, .b = 100, .childCount = 2}));
  b.Raw(LegacyRecord({.kind = 6,
                      .l = 1,
                      .t = 2,
                      .r = 60,
                      .b = 20,
                      .penColor = 0xAA0000,
                      .fontPtr = true,
                      .align = 2}));
  b.Str("old text");
  b.Raw(OddFont().ToBytes().data(), 60);
  b.Raw(LegacyRecord({.kind = 5, .l = 0, .t = 0, .r = 2, .b = 1, .bitmap = 0}));
  b.Raw(LegacyRecord({.kind = 4, .r = 40, .b = 30, .brushStyle = 0, .arc0 = 1.25, .arc1 = 3.5}));
  b.PutI32At(4, static_cast<int32_t>(b.Size()));
  return b.Data();
}

void ExpectLegacyObjects(const TVXVObjectStore& st, const TBitmap& pic) {
  const auto o = TreeOrder(st);
  ASSERT_EQ(o.size(), 5u);
  EXPECT_EQ(o[0]->Kind, vxkLINE);
  EXPECT_EQ((TRect{o[0]->Left, o[0]->Top, o[0]->Right, o[0]->Bottom}), (TRect{5, 6, 1, 2}));
  EXPECT_EQ(o[0]->BeginShape, vxsOUTARROW);
  EXPECT_EQ(o[0]->EndShape, vxsINARROW);
  EXPECT_EQ(o[0]->ShapeWidth, 4);
  EXPECT_EQ(o[0]->ShapeHeight, 9);
  EXPECT_EQ(o[0]->PenColor, 0xFF);
  EXPECT_EQ(o[0]->PenStyle, psDash);
  EXPECT_EQ(o[0]->PenWidth, 2);
  // Name, ID and style are not in these layouts.
  EXPECT_EQ(o[0]->Name, "");
  EXPECT_EQ(o[0]->ID, 0);
  EXPECT_EQ(o[0]->Style, kVXVStyleAll);
  EXPECT_EQ(o[1]->Kind, vxkFRAME);
  EXPECT_EQ(o[1]->ChildCount, 2);
  EXPECT_EQ(o[2]->Kind, vxkTEXT);
  EXPECT_EQ(o[2]->Parent, st.Root().Children[1]);
  EXPECT_EQ(o[2]->Text, "old text");
  EXPECT_EQ(o[2]->TextAlign, 2);
  EXPECT_EQ(o[2]->Font, OddFont());
  EXPECT_EQ(o[3]->Kind, vxkBITMAP);
  ASSERT_GE(o[3]->BitmapIndex, 0);
  EXPECT_TRUE(BitmapCompareX(*st.Bitmaps()[static_cast<size_t>(o[3]->BitmapIndex)].Bitmap, pic));
  EXPECT_EQ(o[4]->Kind, vxkARC);
  EXPECT_EQ(o[4]->ArcBegin, 1.25);
  EXPECT_EQ(o[4]->ArcEnd, 3.5);
  EXPECT_EQ(o[4]->BrushStyle, bsSolid);
}

TEST(VXVRead, LegacyLayouts) {
  const TBitmap pic = Picture(3, 2, 4);
  for (int version : {1, 2}) {
    SCOPED_TRACE("VXV" + std::to_string(version));
    const auto data = LegacyFixture(version, pic);
    TVXVObjectStore st;
    TMemoryStream s(data);
    st.LoadFromStreamVXV(s);
    EXPECT_EQ(st.Scale(), version == 1 ? 3.0 : 1.5);
    ExpectLegacyObjects(st, pic);
    EXPECT_EQ(s.Position(), static_cast<int64_t>(data.size()));
  }
}

// VXV3: as VXV4 but text objects have no alignment byte.
std::vector<uint8_t> Vxv3Fixture(const TBitmap& pic, int32_t declaredCount) {
  Bytes payload;
  payload.I32(declaredCount);
  auto head = [&](int32_t l, int32_t t, int32_t r, int32_t b, uint8_t kind,
                  const std::string& name) {
    payload.I32(l)
        .I32(t)
        .I32(r)
        .I32(b)
        .U8(kind)
        .Str(name)
        .I32(42)
        .I32(0x123456)
        .U8(2)
        .I32(3)
        .I32(0x654321)
        .U8(6)
        .U8(0x9);
  };
  head(0, 0, 50, 50, 0, "frame");
  payload.I32(1);
  head(1, 1, 20, 10, 6, "label");
  payload.Str("v3 text").U8(1).Raw(OddFont().ToBytes().data(), 60);
  head(4, 4, 6, 5, 5, "");
  payload.I32(0);
  Bytes b;
  b.Raw("VXV3", 4)
      .I32(0)
      .F64(0.75)
      .I32(1)
      .I32(2)
      .Raw(PngFile(pic))
      .Raw(vxvtest::Deflate(payload.Data()));
  b.PutI32At(4, static_cast<int32_t>(b.Size()));
  return b.Data();
}

TEST(VXVRead, Vxv3AndCountsOfEveryObject) {
  const TBitmap pic = Picture(5, 4, 9);
  // Two top-level blocks; a count of 3 is what a writer counting every object puts.
  for (int32_t count : {2, 3}) {
    SCOPED_TRACE(count);
    TVXVObjectStore st;
    TMemoryStream s(Vxv3Fixture(pic, count));
    st.LoadFromStreamVXV(s);
    EXPECT_EQ(st.Scale(), 0.75);
    const auto o = TreeOrder(st);
    ASSERT_EQ(o.size(), 3u);
    EXPECT_EQ(o[0]->Name, "frame");
    EXPECT_EQ(o[1]->Text, "v3 text");
    EXPECT_EQ(o[1]->TextAlign, 0);
    EXPECT_EQ(o[1]->Font, OddFont());
    EXPECT_EQ(o[1]->Style, (TVXVStyle{vxvsSelectable, vxvsVisible}));
    EXPECT_EQ(o[1]->PenStyle, psDot);
    EXPECT_EQ(o[1]->BrushStyle, bsCross);
    EXPECT_EQ(o[1]->ID, 42);
    EXPECT_EQ(o[2]->Parent, kVXVRoot);
    ASSERT_NE(st.ObjBitmap(st.Root().Children[1]), nullptr);
    EXPECT_TRUE(BitmapCompareX(*st.ObjBitmap(st.Root().Children[1]), pic));
    EXPECT_EQ(st.Bitmaps()[static_cast<size_t>(o[2]->BitmapIndex)].RefCount, 1);
  }
  // Four would promise an object that is not there.
  TVXVObjectStore st;
  TMemoryStream s(Vxv3Fixture(pic, 4));
  EXPECT_THROW(st.LoadFromStreamVXV(s), EReadError);
  EXPECT_EQ(st.ObjectsCount(), 3);
}

// ---- truncated and damaged streams ----

// Every strict prefix fails, keeps a prefix of the objects (each whole), and leaves the
// template's bitmap in place.
void ExpectPrefixesKeepPrefixes(const std::vector<uint8_t>& data, const TVXVObjectStore& full) {
  const auto all = TreeOrder(full);
  size_t partial = 0;
  TVXVObjectStore st;
  const TBitmap icon = *st.ObjBitmap(kVXVTemplate);
  for (size_t cut = 0; cut < data.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    TMemoryStream s(
        std::vector<uint8_t>(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(cut)));
    EXPECT_THROW(st.LoadFromStreamVXV(s), EVXError);
    const auto got = TreeOrder(st);
    ASSERT_LE(got.size(), all.size());
    EXPECT_EQ(st.ObjectsCount(), static_cast<int32_t>(got.size()));
    if (!got.empty() && got.size() < all.size()) ++partial;
    for (size_t k = 0; k < got.size(); ++k) {
      // A frame cut short holds the children that came.
      TVXVObject expect = *all[k];
      if (expect.IsFrame()) expect.ChildCount = got[k]->ChildCount;
      ExpectSameObject(expect, *got[k], expect.Name != "" || got[k]->Name != "");
      if (::testing::Test::HasFailure()) return;
    }
    ASSERT_NE(st.ObjBitmap(kVXVTemplate), nullptr);
    EXPECT_TRUE(BitmapCompareX(*st.ObjBitmap(kVXVTemplate), icon));
  }
  EXPECT_GT(partial, 0u);
}

TEST(VXVDamage, TruncationAtEveryByte) {
  TVXVObjectStore rich;
  FillRich(rich);
  {
    SCOPED_TRACE("VXV4");
    ExpectPrefixesKeepPrefixes(Save(rich), rich);
  }
  const TBitmap pic = Picture(3, 2, 4);
  const auto legacy = LegacyFixture(1, pic);
  TVXVObjectStore full;
  TMemoryStream s(legacy);
  full.LoadFromStreamVXV(s);
  {
    SCOPED_TRACE("VXV1");
    ExpectPrefixesKeepPrefixes(legacy, full);
  }
}

// A VXV4 stream without bitmaps around the given object data.
std::vector<uint8_t> Vxv4With(const std::vector<uint8_t>& payload) {
  Bytes b;
  b.Raw("VXV4", 4).I32(0).F64(1).I32(0).Raw(vxvtest::Deflate(payload));
  return b.Data();
}

Bytes BoxBlock() {
  Bytes p;
  p.I32(0).I32(0).I32(5).I32(5).U8(2).Str("box").I32(1).I32(0).U8(0).I32(1).I32(0).U8(1).U8(15);
  return p;
}

TEST(VXVDamage, RefusedWithTheObjectsBefore) {
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    int32_t kept;
  };
  std::vector<Case> cases;
  auto withBox = [](int32_t count, const std::vector<uint8_t>& next) {
    Bytes p = BoxBlock();
    Bytes all;
    all.I32(count).Raw(p.Data()).Raw(next);
    return Vxv4With(all.Data());
  };
  {
    Bytes p;
    p.I32(0).I32(0).I32(1).I32(1).U8(2).I32(0x7FFFFFF0);  // name length
    cases.push_back({"huge name", withBox(2, p.Data()), 1});
  }
  {
    Bytes p;
    p.I32(0).I32(0).I32(1).I32(1).U8(9);
    cases.push_back({"unknown kind", withBox(2, p.Data()), 1});
  }
  {
    Bytes p = BoxBlock();
    p.Data()[p.Size() - 2] = 77;  // the brush style byte
    cases.push_back({"unknown brush style", withBox(2, p.Data()), 1});
  }
  {
    Bytes p;
    p.I32(0).I32(0).I32(1).I32(1).U8(0).Str("").I32(0).I32(0).U8(0).I32(1).I32(0).U8(1).U8(15).I32(
        -1);
    cases.push_back({"negative child count", withBox(2, p.Data()), 1});
  }
  {
    // Frames inside frames, far deeper than any drawing needs.
    Bytes p;
    for (int k = 0; k < 400; ++k)
      p.I32(0)
          .I32(0)
          .I32(1)
          .I32(1)
          .U8(0)
          .Str("")
          .I32(0)
          .I32(0)
          .U8(0)
          .I32(1)
          .I32(0)
          .U8(1)
          .U8(15)
          .I32(1);
    cases.push_back({"deep frames", withBox(2, p.Data()), 1 + kVXVMaxFrameDepth});
  }
  cases.push_back({"object count", Vxv4With(Bytes().I32(-5).Data()), 0});
  {
    Bytes b;
    b.Raw("VXV4", 4).I32(0).F64(1).I32(0x7FFFFFFF);
    cases.push_back({"bitmap count", b.Data(), 0});
  }
  {
    Bytes b;
    b.Raw("VXV1", 4).I32(0).I32(1).I32(0).I32(0x00FFFFFF).Zero(200);
    cases.push_back({"legacy object count", b.Data(), 0});
  }
  {
    Bytes b;
    b.Raw("VXV2", 4).I32(0).F64(1).I32(0).I32(1).Raw(
        LegacyRecord({.kind = 0, .childCount = 50000000}));
    cases.push_back({"legacy child count", b.Data(), 0});
  }
  {
    Bytes b;
    b.Raw("VXV4", 4).I32(0).F64(1).I32(1).I32(1);
    b.Raw(PngFile(Picture(4, 4, 1)));
    b.Data()[b.Size() - 30] ^= 0x55;  // inside the pixel data
    cases.push_back({"damaged bitmap", b.Data(), 0});
  }
  {
    auto d = withBox(1, {});
    d[d.size() - 8] ^= 0xFF;  // damage inside the compressed data
    cases.push_back({"damaged zlib data", d, -1});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TVXVObjectStore st;
    TMemoryStream s(c.data);
    EXPECT_THROW(st.LoadFromStreamVXV(s), EReadError);
    if (c.kept >= 0) {
      EXPECT_EQ(st.ObjectsCount(), c.kept);
    }
  }
}

TEST(VXVDamage, UnknownSignature) {
  TVXVObjectStore st;
  st.AddNewObject();
  for (const char* sig : {"VXV5", "vxv4", "\x89PNG", "VXV0"}) {
    TMemoryStream s(std::vector<uint8_t>(sig, sig + 4));
    s.Write("\0\0\0\0\0\0\0\0\0\0\0\0", 12);
    s.SetPosition(0);
    try {
      st.LoadFromStreamVXV(s);
      ADD_FAILURE() << sig << " was accepted";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), "unrecognized VXV stream");
    }
  }
  EXPECT_EQ(st.ObjectsCount(), 0);
}

TEST(VXVDamage, BitmapsObeyThePixelLimit) {
  TVXVObjectStore rich;
  FillRich(rich);
  const auto data = Save(rich);
  const uint64_t old = MaxImagePixels();
  SetMaxImagePixels(20);  // below the 8 x 6 picture
  TVXVObjectStore st;
  TMemoryStream s(data);
  std::string reason;
  try {
    st.LoadFromStreamVXV(s);
  } catch (const EReadError& e) {
    reason = e.what();
  }
  SetMaxImagePixels(old);
  EXPECT_NE(reason.find("limit"), std::string::npos) << reason;
  // A header claiming a huge picture is refused before anything is sized.
  Bytes b;
  b.Raw("VXV4", 4).I32(0).F64(1).I32(1).I32(1);
  auto png = PngFile(Picture(2, 2, 1));
  png[16] = 0x00, png[17] = 0x01, png[18] = 0x00, png[19] = 0x00;  // width 65536
  png[20] = 0x00, png[21] = 0x01, png[22] = 0x00, png[23] = 0x00;  // height 65536
  b.Raw(png);
  TMemoryStream big(b.Data());
  EXPECT_THROW(st.LoadFromStreamVXV(big), EReadError);
}

}  // namespace
