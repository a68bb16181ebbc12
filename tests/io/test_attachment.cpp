// Detaching the input/output and processing components from a view or picture control:
// they drop the control's bitmap with the subscription, so that destroying the control
// afterwards leaves nothing dangling, and every later call does nothing or fails cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "io/vantixio.h"
#include "platform/stream.h"
#include "proc/vantixproc.h"
#include "testhost.h"

using namespace vx;
using vxtest::TTestHost;
using vxtest::TTestPicture;

namespace {

void Paint(TBitmap& b, int w, int h) {
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>(x * 17 + y * 5);
}

// A valid BMP of a w x h picture.
std::vector<uint8_t> BmpFile(int w, int h) {
  TBitmap b;
  Paint(b, w, h);
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  TMemoryStream s;
  io.SaveToStreamBMP(s);
  EXPECT_FALSE(io.Aborting());
  return s.Data();
}

// How a component is detached, on a control of which kind.
struct TDetach {
  const char* name;
  bool view;         // a view (else a picture control) is attached first
  bool throughView;  // detached with SetAttachedVantix(nullptr), else SetAttachedTImage(nullptr)
};
const TDetach kDetaches[] = {
    {"view, nil view", true, true},
    {"view, nil picture", true, false},
    {"picture, nil picture", false, false},
};

// The bitmap each component works on (they name it differently).
TBitmap* Held(const TVantixIO& io) {
  return io.Bitmap();
}
TBitmap* Held(const TVantixProc& proc) {
  return proc.AttachedBitmap();
}

// Attaches the component to a fresh control, detaches it as d says, and destroys the
// control. A fatal failure when the component still holds the control's bitmap.
template <class Component>
void AttachDetachDestroy(Component& c, const TDetach& d) {
  std::unique_ptr<TTestHost> host;
  std::unique_ptr<TTestPicture> picture;
  TBitmap* shown = nullptr;
  if (d.view) {
    host = std::make_unique<TTestHost>();
    Paint(*host->GetFBitmap(), 6, 4);
    c.SetAttachedVantix(host.get());
    shown = host->GetFBitmap();
  } else {
    picture = std::make_unique<TTestPicture>();
    Paint(picture->bitmap, 6, 4);
    c.SetAttachedTImage(picture.get());
    shown = &picture->bitmap;
  }
  ASSERT_EQ(Held(c), shown);
  if (d.throughView)
    c.SetAttachedVantix(nullptr);
  else
    c.SetAttachedTImage(nullptr);
  EXPECT_EQ(c.AttachedVantix(), nullptr);
  EXPECT_EQ(c.AttachedTImage(), nullptr);
  if (host) {
    EXPECT_TRUE(host->handlers.empty());
  }
  // Past this point the bitmap would dangle: stop before anything touches it.
  ASSERT_EQ(Held(c), nullptr) << d.name;
}

TEST(Detach, InputOutputDropsTheBitmapAndThenFailsCleanly) {
  const std::vector<uint8_t> file = BmpFile(5, 3);
  for (const TDetach& d : kDetaches) {
    SCOPED_TRACE(d.name);
    TVantixIO io;
    AttachDetachDestroy(io, d);
    if (HasFatalFailure()) return;
    // As with nothing ever attached: no load, no save, and the reason why.
    TMemoryStream in(file);
    io.LoadFromStreamBMP(in);
    EXPECT_EQ(io.LastError(), "nothing is attached to load into");
    TMemoryStream out;
    io.SaveToStreamBMP(out);
    EXPECT_EQ(io.LastError(), "nothing is attached to save from");
    EXPECT_EQ(out.Size(), 0);

    // Attaching again works as from new.
    TTestHost next;
    io.SetAttachedVantix(&next);
    TMemoryStream again(file);
    io.LoadFromStreamBMP(again);
    EXPECT_FALSE(io.Aborting());
    EXPECT_EQ(next.GetFBitmap()->Width(), 5);
  }
}

TEST(Detach, ProcessingDropsTheBitmapAndThenDoesNothing) {
  for (const TDetach& d : kDetaches) {
    SCOPED_TRACE(d.name);
    TVantixProc proc;
    AttachDetachDestroy(proc, d);
    if (HasFatalFailure()) return;
    EXPECT_FALSE(proc.CanUndo());
    proc.Negative();
    proc.Undo();
    proc.Clear();
    proc.Resample(3, 2, rfTriangle);
    proc.Rotate(30, true);
    proc.ConvertTo(16);
    EXPECT_EQ(proc.GetHiddenDataSpace(), 0);
    EXPECT_EQ(proc.CalcImageNumColors(), 0);
    EXPECT_EQ(proc.FTCreateImage(vxitRGB, -1, -1), nullptr);
    EXPECT_EQ(proc.AttachedBitmap(), nullptr);

    TBitmap bare;
    Paint(bare, 2, 2);
    const uint8_t before = bare.ScanLine(1)[4];
    proc.SetAttachedBitmap(&bare);
    proc.Negative();
    EXPECT_EQ(bare.ScanLine(1)[4], 255 - before);
  }

  // A nil view leaves an attached picture control, and its bitmap, alone; the same for
  // a bare bitmap, which the component never watched.
  TTestPicture picture;
  Paint(picture.bitmap, 2, 2);
  TVantixProc proc;
  proc.SetAttachedTImage(&picture);
  proc.SetAttachedVantix(nullptr);
  EXPECT_EQ(proc.AttachedTImage(), &picture);
  EXPECT_EQ(proc.AttachedBitmap(), &picture.bitmap);

  TBitmap bare;
  Paint(bare, 2, 2);
  TVantixIO io;
  io.SetAttachedBitmap(&bare);
  io.SetAttachedVantix(nullptr);
  io.SetAttachedTImage(nullptr);
  EXPECT_EQ(io.Bitmap(), &bare);
}

}  // namespace
