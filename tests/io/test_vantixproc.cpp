// The processing component: attachment, the operation template on every kind of
// selection, undo, clipboard, clearing, hidden data and the operations' wiring.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/clipboard.h"
#include "proc/dibtransfer.h"
#include "proc/pointops.h"
#include "proc/vantixproc.h"
#include "testhost.h"

using namespace vx;
using vxtest::TTestHost;
using vxtest::TTestPicture;

namespace {

TRGB Colour(int x, int y) {
  return TRGB{static_cast<uint8_t>(x * 9 + y * 3), static_cast<uint8_t>(x * 2 + y * 7 + 40),
              static_cast<uint8_t>(x * 5 ^ y * 11)};
}

void Fill(TBitmap& b, int w, int h) {
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const TRGB c = Colour(x, y);
      std::memcpy(b.ScanLine(y) + 3 * x, &c, 3);
    }
}

TRGB Px(const TBitmap& b, int x, int y) {
  const uint8_t* p = b.ScanLine(y) + 3 * x;
  return TRGB{p[0], p[1], p[2]};
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
    return false;
  const size_t n = static_cast<size_t>((a.Width() * StorageBits(a.PixelFormat()) + 7) / 8);
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), n) != 0) return false;
  return true;
}

// Checks that exactly the pixels where inside(x, y) holds were inverted.
void ExpectNegatedWhere(const TBitmap& b, const std::function<bool(int, int)>& inside) {
  int errors = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      TRGB want = Colour(x, y);
      if (inside(x, y))
        want = TRGB{uint8_t(255 - want.b), uint8_t(255 - want.g), uint8_t(255 - want.r)};
      if (!(Px(b, x, y) == want) && errors++ < 5) ADD_FAILURE() << "pixel " << x << "," << y;
    }
}

bool InRect(int x, int y, int x1, int y1, int x2, int y2) {
  return x >= x1 && x <= x2 && y >= y1 && y <= y2;
}

class ClipboardGuard {
 public:
  ClipboardGuard() { Clipboard().Clear(); }
  ~ClipboardGuard() { Clipboard().Clear(); }
};

// ---- the operation template ----

TEST(ProcTemplate, SelectionDecidesWhatChanges) {
  const std::vector<TPoint> square = {{10, 10}, {20, 10}, {20, 20}, {10, 20}};
  const std::vector<TPoint> triangle = {{3, 2}, {28, 9}, {8, 22}};
  struct Case {
    std::string name;
    std::function<void(TVantixProc&, TTestHost&)> select;
    std::function<bool(int, int)> inside;
  };
  const std::vector<Case> cases = {
      {"no selection", [](TVantixProc&, TTestHost&) {}, [](int, int) { return true; }},
      {"own rectangle", [](TVantixProc& p, TTestHost&) { p.Select(10, 10, 20, 20); },
       [](int x, int y) { return InRect(x, y, 10, 10, 20, 20); }},
      {"own rectangle, corners swapped",
       [](TVantixProc& p, TTestHost&) { p.Select(20, 20, 10, 10); },
       [](int x, int y) { return InRect(x, y, 10, 10, 20, 20); }},
      {"own selection cleared",
       [](TVantixProc& p, TTestHost&) {
         p.Select(10, 10, 20, 20);
         p.SelectAll();
       },
       [](int, int) { return true; }},
      {"x1 = -1 is none", [](TVantixProc& p, TTestHost&) { p.Select(-1, 5, 8, 9); },
       [](int, int) { return true; }},
      {"own rectangle past the edge", [](TVantixProc& p, TTestHost&) { p.Select(25, 18, 90, 90); },
       [](int x, int y) { return InRect(x, y, 25, 18, 31, 23); }},
      {"own rectangle outside", [](TVantixProc& p, TTestHost&) { p.Select(40, 40, 50, 50); },
       [](int, int) { return false; }},
      {"host rectangle",
       [](TVantixProc&, TTestHost& h) {
         h.selKind = skRectangle;
         h.selRect = Rect(10, 10, 20, 20);
       },
       [](int x, int y) { return InRect(x, y, 10, 10, 20, 20); }},
      // A rectangle-shaped polygon takes the direct path: column and row 20 included,
      // which a clip through the polygon would leave out.
      {"host rectangle polygon",
       [&](TVantixProc&, TTestHost& h) {
         h.selKind = skPolygon;
         h.selRect = Rect(10, 10, 20, 20);
         h.selPolygon = square;
       },
       [](int x, int y) { return InRect(x, y, 10, 10, 20, 20); }},
      {"host triangle",
       [&](TVantixProc&, TTestHost& h) {
         h.selKind = skPolygon;
         h.selRect = Rect(3, 2, 28, 22);
         h.selPolygon = triangle;
       },
       [&](int x, int y) { return PointInPolygonEvenOdd(triangle, x, y); }},
      // The host's selection wins over the component's own.
      // The component's own selection calls reach the view, whose selection then counts.
      {"select through the view", [](TVantixProc& p, TTestHost&) { p.Select(2, 2, 1, 1); },
       [](int x, int y) { return InRect(x, y, 1, 1, 2, 2); }},
      {"select all through the view",
       [](TVantixProc& p, TTestHost& h) {
         h.selKind = skRectangle;
         h.selRect = Rect(10, 10, 20, 20);
         p.SelectAll();
       },
       [](int, int) { return true; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TTestHost host;
    Fill(*host.GetFBitmap(), 32, 24);
    TVantixProc proc;
    proc.SetAttachedVantix(&host);
    c.select(proc, host);
    if (c.name.rfind("own", 0) == 0 || c.name.rfind("x1", 0) == 0)
      proc.SetAttachedBitmap(host.GetFBitmap());
    proc.Negative();
    ExpectNegatedWhere(*host.GetFBitmap(), c.inside);
  }
}

TEST(ProcTemplate, PolygonOnOneBitImage) {
  TBitmap b;
  SizeBitmap(b, 40, 20, pf1bit);
  std::memset(b.Bits(), 0, b.BitsSize());
  TTestHost host;
  host.GetFBitmap()->Assign(b);
  TVantixProc proc;
  proc.SetAttachedVantix(&host);
  const std::vector<TPoint> tri = {{5, 1}, {37, 6}, {9, 18}};
  host.selKind = skPolygon;
  host.selRect = Rect(5, 1, 37, 18);
  host.selPolygon = tri;
  proc.Negative();
  const TBitmap& r = *host.GetFBitmap();
  ASSERT_EQ(r.PixelFormat(), pf1bit);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x)
      EXPECT_EQ(GetPixelbw(r.ScanLine(y), x), PointInPolygonEvenOdd(tri, x, y)) << x << "," << y;
}

TEST(ProcTemplate, ProgressAndUpdate) {
  TTestHost host;
  Fill(*host.GetFBitmap(), 8, 24);
  TVantixProc proc;
  proc.SetAttachedVantix(&host);
  std::vector<int> seen;
  TObject* sender = nullptr;
  proc.OnProgress = [&](TObject* s, int percent) {
    sender = s;
    seen.push_back(percent);
  };
  proc.Negative();
  ASSERT_EQ(seen.size(), 24u);
  EXPECT_EQ(sender, &proc);
  EXPECT_EQ(seen.back(), 102);  // trunc(24 * 100 / 23.5)
  EXPECT_EQ(host.updates, 1);
  EXPECT_EQ(host.imageChanges, 1);
  // A format the operation does not take: nothing at all happens.
  host.GetFBitmap()->SetPixelFormat(pf1bit);
  proc.ConvertToGray();
  EXPECT_EQ(host.updates, 1);
  EXPECT_EQ(proc.UndoBitmap().PixelFormat(), pf24bit);  // no undo copy was taken
}

// ---- attachment ----

TEST(ProcAttachment, FollowsTheHostAndForgetsDestroyedOnes) {
  auto host = std::make_unique<TTestHost>();
  Fill(*host->GetFBitmap(), 4, 4);
  TVantixProc proc;
  proc.SetAttachedVantix(host.get());
  EXPECT_EQ(proc.AttachedBitmap(), host->GetFBitmap());
  EXPECT_EQ(host->handlers.size(), 1u);
  proc.SetAttachedBitmap(nullptr);  // ignored while attached
  EXPECT_EQ(proc.AttachedBitmap(), host->GetFBitmap());
  host->ReplaceBitmap();
  EXPECT_EQ(proc.AttachedBitmap(), host->GetFBitmap());

  // Re-attaching elsewhere removes exactly our handler from the old host.
  TTestHost other;
  proc.SetAttachedVantix(&other);
  EXPECT_TRUE(host->handlers.empty());
  EXPECT_EQ(other.handlers.size(), 1u);
  proc.SetAttachedVantix(host.get());
  EXPECT_TRUE(other.handlers.empty());

  host.reset();
  EXPECT_EQ(proc.AttachedVantix(), nullptr);
  EXPECT_EQ(proc.AttachedBitmap(), nullptr);
  proc.Negative();  // must not touch the dead host's bitmap (checked under ASan)
  proc.Undo();
  proc.Clear();

  auto picture = std::make_unique<TTestPicture>();
  Fill(picture->bitmap, 3, 3);
  proc.SetAttachedTImage(picture.get());
  EXPECT_EQ(proc.AttachedBitmap(), &picture->bitmap);
  picture->bitmap.SetModified(false);
  proc.Negative();
  EXPECT_TRUE(picture->bitmap.Modified());
  picture.reset();
  EXPECT_EQ(proc.AttachedBitmap(), nullptr);
  proc.ConvertToGray();

  TBitmap bare;
  Fill(bare, 2, 2);
  proc.SetAttachedBitmap(&bare);
  proc.Negative();
  EXPECT_EQ(Px(bare, 1, 1), (TRGB{uint8_t(255 - Colour(1, 1).b), uint8_t(255 - Colour(1, 1).g),
                                  uint8_t(255 - Colour(1, 1).r)}));
}

TEST(ProcAttachment, DestroyedComponentUnhooksFromHost) {
  TTestHost host;
  {
    TVantixProc proc;
    proc.SetAttachedVantix(&host);
    EXPECT_EQ(host.handlers.size(), 1u);
  }
  EXPECT_TRUE(host.handlers.empty());
  host.ReplaceBitmap();
}

TEST(ProcAttachment, BackgroundGoesToTheHost) {
  TTestHost host;
  TVantixProc proc;
  proc.SetBackground(clRed);
  EXPECT_EQ(proc.Background(), clRed);
  proc.SetAttachedVantix(&host);
  EXPECT_EQ(proc.Background(), 0);
  proc.SetBackground(clBlue);
  EXPECT_EQ(host.background, clBlue);
  EXPECT_FALSE(proc.DoPreviews({peAll}));
}

// ---- undo ----

TEST(ProcUndo, RepeatsAndRestoresFormatAndSize) {
  TBitmap b, original;
  Fill(b, 9, 7);
  original.Assign(b);
  TVantixProc proc;
  proc.SetAttachedBitmap(&b);
  EXPECT_FALSE(proc.CanUndo());
  proc.Negative();
  EXPECT_TRUE(proc.CanUndo());
  proc.Undo();
  EXPECT_TRUE(SamePixels(b, original));
  b.ScanLine(0)[0] ^= 0xFF;
  proc.Undo();
  EXPECT_TRUE(SamePixels(b, original));

  proc.ConvertToBWOrdered();
  EXPECT_EQ(b.PixelFormat(), pf1bit);
  proc.Resample(3, -1, rfNone);
  proc.Undo();  // only one step: back to the 1-bit image
  EXPECT_EQ(b.PixelFormat(), pf1bit);
  EXPECT_EQ(b.Width(), 9);

  proc.ClearUndo();
  EXPECT_FALSE(proc.CanUndo());
  const TBitmap before(b);
  proc.Undo();
  EXPECT_TRUE(SamePixels(b, before));

  proc.SetAutoUndo(false);
  proc.ConvertTo24Bit();
  EXPECT_FALSE(proc.CanUndo());
}

TEST(ProcUndo, OneByNImagesCannotBeUndone) {
  for (const auto& [w, h] : {std::pair{1, 8}, std::pair{8, 1}}) {
    TBitmap b;
    Fill(b, w, h);
    const TBitmap original(b);
    TVantixProc proc;
    proc.SetAttachedBitmap(&b);
    proc.Negative();
    EXPECT_FALSE(proc.CanUndo());
    proc.Undo();
    EXPECT_FALSE(SamePixels(b, original));
  }
}

// The copy belongs to the image it was taken from: once the target is another
// bitmap, restoring it would overwrite a different image.
TEST(ProcUndo, NeverRestoresOntoAnotherImage) {
  TTestHost host;
  Fill(*host.GetFBitmap(), 6, 5);
  TVantixProc proc;
  proc.SetAttachedVantix(&host);
  proc.Negative();
  ASSERT_TRUE(proc.CanUndo());

  host.ReplaceBitmap();  // e.g. a thumbnail view moving to its next image
  SizeBitmap(*host.GetFBitmap(), 3, 3, pf1bit);
  std::memset(host.GetFBitmap()->Bits(), 0xFF, host.GetFBitmap()->BitsSize());
  const TBitmap next(*host.GetFBitmap());
  EXPECT_FALSE(proc.CanUndo());
  proc.Undo();
  EXPECT_TRUE(SamePixels(*host.GetFBitmap(), next));

  TBitmap bare;
  Fill(bare, 4, 4);
  const TBitmap bareBefore(bare);
  proc.SetAttachedBitmap(&bare);
  proc.Undo();
  EXPECT_TRUE(SamePixels(bare, bareBefore));

  // A copy taken from the new target is restored as usual.
  proc.Negative();
  ASSERT_TRUE(proc.CanUndo());
  proc.Undo();
  EXPECT_TRUE(SamePixels(bare, bareBefore));
}

// ---- clipboard and clearing ----

TEST(ProcClipboard, CopyPasteRoundTripAndLayout) {
  ClipboardGuard guard;
  TBitmap a, b;
  Fill(a, 13, 5);
  TVantixProc pa, pb;
  pa.SetAttachedBitmap(&a);
  pb.SetAttachedBitmap(&b);
  pa.CopyToClipboard();
  ASSERT_TRUE(Clipboard().HasDIB());
  const std::vector<uint8_t> dib = Clipboard().GetDIB();
  ASSERT_EQ(dib.size(), 44u + 40u * 5u);  // rows of 39 bytes padded to 40
  const uint8_t header[16] = {40, 0, 0, 0, 13, 0, 0, 0, 5, 0, 0, 0, 1, 0, 24, 0};
  EXPECT_EQ(std::memcmp(dib.data(), header, 16), 0);
  for (size_t i = 16; i < 40; ++i) EXPECT_EQ(dib[i], 0) << i;
  EXPECT_EQ(std::memcmp(&dib[40], a.ScanLine(4), 39), 0);  // bottom row first
  pb.PasteFromClipboard();
  EXPECT_TRUE(SamePixels(a, b));

  // A 1-bit image keeps its bits through the clipboard.
  TBitmap m, m2;
  SizeBitmap(m, 19, 3, pf1bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 19; ++x) SetPixelbw(m.ScanLine(y), x, (x * y + x) % 3 == 1);
  pa.SetAttachedBitmap(&m);
  pb.SetAttachedBitmap(&m2);
  pa.CopyToClipboard();
  EXPECT_EQ(Clipboard().GetDIB().size(), 52u + 4u * 3u);
  pb.PasteFromClipboard();
  EXPECT_TRUE(SamePixels(m, m2));
}

TEST(ProcClipboard, BadClipboardContentChangesNothing) {
  ClipboardGuard guard;
  TBitmap b;
  Fill(b, 4, 4);
  const TBitmap original(b);
  TVantixProc proc;
  proc.SetAttachedBitmap(&b);
  std::vector<uint8_t> bad = CopyBitmaptoDIB(b);
  bad.resize(60);  // header promises rows that are not there
  Clipboard().SetDIB(bad);
  proc.PasteFromClipboard();
  proc.PointPasteFromClip(1, 1);
  proc.Select(0, 0, 2, 2);
  proc.SelPasteFromClipStretch();
  EXPECT_TRUE(SamePixels(b, original));
  EXPECT_FALSE(proc.CanUndo());
}

TEST(ProcClipboard, SelectionCopiesCutsAndPastes) {
  ClipboardGuard guard;
  TTestHost host;
  Fill(*host.GetFBitmap(), 30, 20);
  host.background = clWhite;
  TVantixProc proc;
  proc.SetAttachedVantix(&host);
  const TBitmap original(*host.GetFBitmap());

  host.selKind = skRectangle;
  host.selRect = Rect(0, 3, 0, 9);  // a single column at x = 0
  proc.SelCopyToClip();
  TBitmap got;
  ASSERT_EQ(CopyDIB2Bitmap(Clipboard().GetDIB(), got), 24);
  ASSERT_EQ(got.Width(), 1);
  ASSERT_EQ(got.Height(), 7);
  for (int y = 0; y < 7; ++y) EXPECT_EQ(Px(got, 0, y), Colour(0, y + 3));

  const std::vector<TPoint> tri = {{4, 2}, {25, 7}, {9, 17}};
  host.selKind = skPolygon;
  host.selRect = Rect(4, 2, 25, 17);
  host.selPolygon = tri;
  proc.SelCutToClip();
  ASSERT_EQ(CopyDIB2Bitmap(Clipboard().GetDIB(), got), 24);
  ASSERT_EQ(got.Width(), 21);
  ASSERT_EQ(got.Height(), 15);
  const TBitmap& img = *host.GetFBitmap();
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) {
      const bool in = PointInPolygonEvenOdd(tri, x, y);
      EXPECT_EQ(Px(img, x, y), in ? (TRGB{255, 255, 255}) : Colour(x, y)) << x << "," << y;
      if (x >= 4 && x < 25 && y >= 2 && y < 17) {
        EXPECT_EQ(Px(got, x - 4, y - 2), in ? Colour(x, y) : TRGB{}) << x << "," << y;
      }
    }
  proc.Undo();
  EXPECT_TRUE(SamePixels(img, original));

  // Stretch-paste the 21 x 15 cut into a 2 x 2 rectangle, then paste at a point.
  host.selKind = skRectangle;
  host.selRect = Rect(1, 1, 2, 2);
  proc.SelPasteFromClipStretch();
  EXPECT_EQ(img.Width(), 30);
  EXPECT_NE(Px(img, 1, 1), Colour(1, 1));
  EXPECT_EQ(Px(img, 3, 3), Colour(3, 3));
  proc.PointPasteFromClip(20, 10);
  EXPECT_EQ(Px(img, 20 + 8, 10 + 6), Px(got, 8, 6));

  host.selKind = skNone;
  proc.SelCutToClip();  // nothing without a selection
  proc.ClearSel();
  EXPECT_EQ(Px(img, 0, 0), (TRGB{255, 255, 255}));
  EXPECT_EQ(Px(img, 29, 19), (TRGB{255, 255, 255}));
}

TEST(ProcClear, FillsWithBackground) {
  TBitmap b;
  Fill(b, 6, 6);
  TVantixProc proc;
  proc.SetAttachedBitmap(&b);
  proc.SetBackground(clRed);
  proc.Select(1, 1, 2, 3);
  proc.ClearSel();
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(Px(b, x, y), InRect(x, y, 1, 1, 2, 3) ? CreateRGB(255, 0, 0) : Colour(x, y));
  proc.Clear();
  EXPECT_EQ(Px(b, 5, 5), CreateRGB(255, 0, 0));
}

// ---- hidden data ----

TEST(ProcHiddenData, RoundTripWithinOneStepAndNoWrap) {
  TBitmap b;
  Fill(b, 40, 20);
  // Some saturated bytes, where storing a 0 must go down, not wrap.
  std::memset(b.ScanLine(0), 255, 40 * 3);
  const TBitmap original(b);
  TVantixProc proc;
  proc.SetAttachedBitmap(&b);
  const int space = proc.GetHiddenDataSpace();
  EXPECT_EQ(space, (40 * 3 - 2) * 20 / 8 - 8);
  std::vector<uint8_t> data(static_cast<size_t>(space));
  std::mt19937 rng(5);
  for (auto& d : data) d = static_cast<uint8_t>(rng());
  data[0] = 0;
  EXPECT_EQ(proc.WriteHiddenData(data.data(), space), space);
  for (int y = 0; y < 20; ++y)
    for (int i = 0; i < 120; ++i) {
      const int was = original.ScanLine(y)[i], now = b.ScanLine(y)[i];
      ASSERT_LE(std::abs(now - was), 1) << y << "," << i;
      ASSERT_FALSE(was == 255 && now == 0);
      if (i >= 118) {
        ASSERT_EQ(now, was);  // the last two bytes of a row carry nothing
      }
    }
  std::vector<uint8_t> back(static_cast<size_t>(space));
  EXPECT_EQ(proc.ReadHiddenData(nullptr, 0), space);
  EXPECT_EQ(proc.ReadHiddenData(back.data(), space), space);
  EXPECT_EQ(back, data);

  proc.WriteHiddenText("hello, world");
  EXPECT_EQ(proc.ReadHiddenText(), "hello, world");
}

TEST(ProcHiddenData, TooMuchDataAndForeignImages) {
  TBitmap b;
  Fill(b, 8, 4);
  TVantixProc proc;
  proc.SetAttachedBitmap(&b);
  const int space = proc.GetHiddenDataSpace();  // (22 * 4) / 8 - 8 = 3
  ASSERT_EQ(space, 3);
  const std::string text = "more than fits";
  // Only what fits is stored, and the length says so.
  EXPECT_EQ(proc.WriteHiddenText(text), space);
  EXPECT_EQ(proc.ReadHiddenText(), text.substr(0, 3));

  // An image nobody wrote into reads as empty, whatever its low bits say.
  TBitmap noise;
  SizeBitmap(noise, 64, 64, pf24bit);
  std::mt19937 rng(9);
  for (size_t i = 0; i < noise.BitsSize(); ++i) noise.Bits()[i] = static_cast<uint8_t>(rng());
  proc.SetAttachedBitmap(&noise);
  EXPECT_EQ(proc.ReadHiddenData(nullptr, 0), 0);
  EXPECT_EQ(proc.ReadHiddenText(), "");

  TBitmap mono;
  SizeBitmap(mono, 64, 64, pf1bit);
  proc.SetAttachedBitmap(&mono);
  EXPECT_EQ(proc.GetHiddenDataSpace(), 0);
  EXPECT_EQ(proc.WriteHiddenText("x"), 0);
  TBitmap tiny;
  Fill(tiny, 2, 2);
  proc.SetAttachedBitmap(&tiny);
  EXPECT_EQ(proc.WriteHiddenText("x"), 0);
  EXPECT_EQ(proc.ReadHiddenData(nullptr, 0), 0);
}

// ---- the operations' wiring ----

TEST(ProcOperations, ContrastUsesWholeImageReferences) {
  TBitmap b, want;
  Fill(b, 16, 12);
  want.Assign(b);
  int r = 0, g = 0, bl = 0;
  GetMediaContrastRGB(want, r, g, bl);
  ContrastRGB(want, 40, r, g, bl, 2, 3, 9, 8, nullpr);
  TVantixProc proc;
  proc.SetAttachedBitmap(&b);
  proc.Select(2, 3, 9, 8);
  proc.Contrast(40);
  EXPECT_TRUE(SamePixels(b, want));

  TBitmap thin;
  Fill(thin, 1, 5);
  const TBitmap thinBefore(thin);
  proc.SetAttachedBitmap(&thin);
  proc.Contrast(40);
  EXPECT_TRUE(SamePixels(thin, thinBefore));
}

TEST(ProcOperations, EachMethodRunsItsWorkerOnTheSelection) {
  TBitmap other;
  Fill(other, 5, 5);
  const TRGB lo{10, 20, 30}, hi{200, 210, 220}, v0{0, 0, 0}, v1{255, 255, 255};
  using Op = std::function<void(TVantixProc&)>;
  using Worker = std::function<void(TBitmap&, int, int, int, int)>;
  const std::vector<std::pair<Op, Worker>> cases = {
      {[](TVantixProc& p) { p.IntensityRGBall(30, -20, 5); },
       [](TBitmap& b, int a, int c, int d, int e) {
         IntensityRGBall(b, 30, -20, 5, a, c, d, e, nullpr);
       }},
      {[](TVantixProc& p) { p.HSLvar(40, 10, -5); },
       [](TBitmap& b, int a, int c, int d, int e) { HSLvar(b, 40, 10, -5, a, c, d, e, nullpr); }},
      {[](TVantixProc& p) { p.HSVvar(-30, 5, 10); },
       [](TBitmap& b, int a, int c, int d, int e) { HSVvar(b, -30, 5, 10, a, c, d, e, nullpr); }},
      {[](TVantixProc& p) { p.ConvertToGray(); },
       [](TBitmap& b, int a, int c, int d, int e) { ConvertToGray(b, a, c, d, e, nullpr); }},
      {[&](TVantixProc& p) { p.Threshold(lo, hi, v0, v1); },
       [&](TBitmap& b, int a, int c, int d, int e) {
         Threshold(b, lo, hi, v0, v1, a, c, d, e, nullpr);
       }},
      {[&](TVantixProc& p) { p.CastColorRange(lo, hi, v1); },
       [&](TBitmap& b, int a, int c, int d, int e) {
         CastColorRange(b, lo, hi, v1, a, c, d, e, nullpr);
       }},
      {[&](TVantixProc& p) { p.Merge(other, 30); },
       [&](TBitmap& b, int a, int c, int d, int e) { Merge(b, other, 30, a, c, d, e, nullpr); }},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    TBitmap b, want;
    Fill(b, 20, 15);
    want.Assign(b);
    cases[i].second(want, 4, 2, 13, 11);
    TVantixProc proc;
    proc.SetAttachedBitmap(&b);
    proc.Select(4, 2, 13, 11);
    cases[i].first(proc);
    EXPECT_TRUE(SamePixels(b, want));
    EXPECT_TRUE(proc.CanUndo());
  }
  // Merging the image with itself at 50 % leaves it as it was.
  TBitmap self, before;
  Fill(self, 9, 9);
  before.Assign(self);
  TVantixProc proc;
  proc.SetAttachedBitmap(&self);
  proc.Merge(self, 50);
  EXPECT_TRUE(SamePixels(self, before));
}

TEST(ProcOperations, ChannelsAndConversions) {
  TBitmap b;
  Fill(b, 10, 6);
  TVantixProc proc;
  proc.SetAttachedBitmap(&b);
  proc.Select(1, 1, 2, 2);  // channel extraction and conversions ignore the selection
  EXPECT_EQ(proc.GetRGBChannel(-1), nullptr);
  const auto red = proc.GetRGBChannel(5);
  ASSERT_NE(red, nullptr);
  EXPECT_EQ(Px(*red, 7, 4), CreateRGB(Colour(7, 4).r, Colour(7, 4).r, Colour(7, 4).r));
  ASSERT_NE(proc.GetHSVChannel(2), nullptr);
  TBitmap cr, cg, cb;
  proc.GetRGBChannelAll(cr, cg, cb);
  EXPECT_EQ(Px(cg, 3, 3).b, Colour(3, 3).g);
  EXPECT_FALSE(proc.CanUndo());

  proc.ConvertToBWThreshold(128);
  EXPECT_EQ(b.PixelFormat(), pf1bit);
  EXPECT_EQ(proc.GetRGBChannel(0), nullptr);
  proc.ConvertTo24Bit();
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  std::vector<TRGB> palette;
  Fill(b, 10, 6);
  proc.ConvertToPalette(4, palette);
  EXPECT_EQ(palette.size(), 4u);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 10; ++x)
      EXPECT_NE(std::find(palette.begin(), palette.end(), Px(b, x, y)), palette.end());
}

TEST(ProcOperations, ResampleSizes) {
  TBitmap b;
  Fill(b, 40, 30);
  TVantixProc proc;
  proc.SetAttachedBitmap(&b);
  proc.Resample(20, -1, rfNone);
  EXPECT_EQ(b.Width(), 20);
  EXPECT_EQ(b.Height(), 15);
  proc.Resample(-1, -1, rfTriangle);
  EXPECT_EQ(b.Width(), 20);
  TBitmap want;
  SizeBitmap(want, 33, 24, pf24bit);  // 33 * 15 div 20
  Resample(b, want, rfLanczos3);
  proc.Resample(33, -1, rfLanczos3);
  EXPECT_TRUE(SamePixels(b, want));

  // 100000 * 50000 does not fit an int: nothing changes, rather than a wrapped
  // width of some 700 million columns.
  TBitmap flat;
  Fill(flat, 100000, 1);
  proc.SetAttachedBitmap(&flat);
  proc.Resample(-1, 50000, rfNone);
  EXPECT_EQ(flat.Width(), 100000);
  EXPECT_EQ(flat.Height(), 1);
}

TEST(ProcOperations, MergeWithTheUndoCopyReadsItBeforeItIsReplaced) {
  TBitmap b;
  Fill(b, 7, 5);
  const TBitmap original(b);
  TVantixProc proc;
  proc.SetAttachedBitmap(&b);
  proc.Negative();  // the undo copy now holds the original
  TBitmap want(b);
  Merge(want, original, 50, 0, 0, 6, 4, TProgressRec{});
  ASSERT_FALSE(SamePixels(want, b));
  proc.Merge(proc.UndoBitmap(), 50);
  EXPECT_TRUE(SamePixels(b, want));
}

}  // namespace
