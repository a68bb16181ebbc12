// The image buffer, streams, components and events of the platform layer.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <limits>

#include "platform/bitmap.h"
#include "platform/component.h"
#include "platform/event.h"
#include "platform/exceptions.h"
#include "platform/stream.h"
#include "testsupport.h"

using namespace vx;

TEST(Bitmap, CreateEmptyAndResize) {
  TBitmap b;
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
  EXPECT_TRUE(b.Empty());
  b.SetSize(10, 3);
  EXPECT_EQ(b.RowLen(), 32);
  EXPECT_EQ(b.BitsSize(), 96u);
  // Rows are one block, top first.
  EXPECT_EQ(b.ScanLine(2) - b.ScanLine(0), 64);
}

TEST(Bitmap, OneBitToTwentyFourAndBack) {
  TBitmap b;
  b.SetSize(1, 1);
  b.SetPixelFormat(pf1bit);
  b.SetSize(11, 2);
  const uint8_t row0[] = {0xA5, 0xE0};
  std::memcpy(b.ScanLine(0), row0, 2);
  b.ScanLine(1)[0] = 0xFF;
  b.SetPixelFormat(pf24bit);
  ASSERT_EQ(b.PixelFormat(), pf24bit);
  const uint8_t* r = b.ScanLine(0);
  for (int x = 0; x < 11; ++x) {
    const bool set = (row0[x / 8] >> (7 - x % 8)) & 1;
    EXPECT_EQ(r[x * 3], set ? 255 : 0) << x;
  }
  b.SetPixelFormat(pf1bit);
  EXPECT_EQ(b.ScanLine(0)[0], 0xA5);
  EXPECT_EQ(b.ScanLine(0)[1], 0xE0);
  EXPECT_EQ(b.ScanLine(1)[0], 0xFF);
  EXPECT_EQ(b.ScanLine(1)[1] & 0xE0, 0x00);
}

TEST(Bitmap, TwoColourConversionPicksNearer) {
  TBitmap b;
  b.SetSize(3, 1);
  uint8_t* p = b.ScanLine(0);
  const uint8_t px[] = {200, 200, 200, 50, 60, 40, 130, 128, 127};
  std::memcpy(p, px, sizeof px);
  b.SetPixelFormat(pf1bit);
  EXPECT_EQ(b.ScanLine(0)[0] & 0xE0, 0x80 | 0x20);
}

TEST(Bitmap, StorageFormatsRoundTripThrough24Bit) {
  for (TPixelFormat pf : {pf32bit, pf16bit, pf15bit, pf8bit, pf4bit}) {
    TBitmap b;
    b.SetSize(4, 1);
    // Black and white survive every format exactly.
    uint8_t* p = b.ScanLine(0);
    std::memset(p, 0, 12);
    std::memset(p + 3, 255, 3);
    std::memset(p + 9, 255, 3);
    b.SetPixelFormat(pf);
    b.SetPixelFormat(pf24bit);
    const uint8_t want[] = {0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 255, 255};
    EXPECT_EQ(std::memcmp(b.ScanLine(0), want, 12), 0) << static_cast<int>(pf);
  }
}

TEST(Bitmap, AssignIsDeepAndModifiedFires) {
  TBitmap a;
  a.SetSize(2, 2);
  a.ScanLine(1)[0] = 42;
  TBitmap b;
  b.Assign(a);
  a.ScanLine(1)[0] = 7;
  EXPECT_EQ(b.ScanLine(1)[0], 42);
  int fired = 0;
  b.OnChange = [&](TObject*) { ++fired; };
  b.SetModified(true);
  b.SetModified(false);
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(b.Modified());
}

TEST(Bitmap, RowLengthOfWideBitmaps) {
  // Width times bits a pixel passes 2^31 while the row in bytes still fits an int.
  const int wide = std::numeric_limits<int>::max() / 16;
  TBitmap b;
  b.SetSize(wide, 0);
  EXPECT_EQ(b.RowLen(), (int64_t{wide} * 24 + 31) / 32 * 4);
  // Rows of more than 2^31 bytes are refused, and the bitmap stays as it was.
  b.SetSize(4, 2);
  const int widest = std::numeric_limits<int>::max();
  EXPECT_THROW(b.SetSize(widest, 1), EOutOfResources);
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(b.Height(), 2);
  EXPECT_EQ(b.RowLen(), 12);
  EXPECT_EQ(b.BitsSize(), 24u);
  // The widest row fits at one bit a pixel, but not once it is turned to 24 bits.
  TBitmap mono;
  mono.SetSize(1, 1);
  mono.SetPixelFormat(pf1bit);
  mono.SetSize(widest, 0);
  const int monoRow = static_cast<int>((int64_t{widest} + 31) / 32 * 4);
  EXPECT_EQ(mono.RowLen(), monoRow);
  EXPECT_THROW(mono.SetPixelFormat(pf24bit), EOutOfResources);
  EXPECT_EQ(mono.PixelFormat(), pf1bit);
  EXPECT_EQ(mono.RowLen(), monoRow);
}

TEST(Streams, MemoryStreamAndEndianHelpers) {
  TMemoryStream m;
  WriteLE16(m, 0x1234);
  WriteBE16(m, 0x1234);
  WriteLE32(m, 0xA1B2C3D4u);
  WriteBE32(m, 0xA1B2C3D4u);
  const uint8_t want[] = {0x34, 0x12, 0x12, 0x34, 0xD4, 0xC3, 0xB2, 0xA1, 0xA1, 0xB2, 0xC3, 0xD4};
  ASSERT_EQ(m.Size(), 12);
  EXPECT_EQ(std::memcmp(m.Memory(), want, 12), 0);
  m.SetPosition(0);
  EXPECT_EQ(ReadLE16(m), 0x1234);
  EXPECT_EQ(ReadBE16(m), 0x1234);
  EXPECT_EQ(ReadLE32(m), 0xA1B2C3D4u);
  EXPECT_EQ(ReadBE32(m), 0xA1B2C3D4u);
  EXPECT_THROW(ReadU8(m), EReadError);
  uint32_t v = 0;
  EXPECT_FALSE(TryReadLE32(m, v));
  EXPECT_EQ(m.Seek(-4, soEnd), 8);
  EXPECT_EQ(m.Seek(2, soCurrent), 10);
}

TEST(Streams, MemoryStreamSizeBelowZeroIsEmpty) {
  TMemoryStream m;
  m.WriteBuffer("abcdef", 6);
  m.SetSize(-4);
  EXPECT_EQ(m.Size(), 0);
  EXPECT_EQ(m.Position(), 0);
  m.WriteBuffer("xy", 2);
  EXPECT_EQ(m.Size(), 2);
  EXPECT_EQ(std::memcmp(m.Memory(), "xy", 2), 0);
}

TEST(Streams, FileStreamOpenErrorsNameTheFile) {
  try {
    TFileStream f("/nonexistent/dir/x.bmp", fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/dir/x.bmp"), std::string::npos);
  }
  EXPECT_THROW(TFileStream("/nonexistent/dir/y.bmp", fmCreate), EFCreateError);
}

TEST(Streams, FileStreamReadWriteSeek) {
  const std::string name = vxtest::TempDir() + "/stream.bin";
  {
    TFileStream f(name, fmCreate);
    f.WriteBuffer("hello world", 11);
    f.SetPosition(6);
    char buf[5];
    f.ReadBuffer(buf, 5);
    EXPECT_EQ(std::string(buf, 5), "world");
    f.SetPosition(0);
    f.WriteBuffer("J", 1);
    EXPECT_EQ(f.Size(), 11);
  }
  TFileStream r(name, fmOpenRead);
  char buf[11];
  r.ReadBuffer(buf, 11);
  EXPECT_EQ(std::string(buf, 11), "Jello world");
  EXPECT_EQ(r.Read(buf, 1), 0);
}

namespace {
struct Probe : TComponent {
  explicit Probe(int* deaths, TComponent* owner = nullptr) : TComponent(owner), deaths_(deaths) {}
  ~Probe() override { ++*deaths_; }
  void Notification(TFreeNotifier* o, TOperation op) override {
    if (op == opRemove) lastGone = o;
  }
  void Handler(TObject*) { ++calls; }
  int* deaths_;
  TFreeNotifier* lastGone = nullptr;
  int calls = 0;
};
}  // namespace

TEST(Components, OwnerDestroysOwnedAndNoticesArrive) {
  int deaths = 0;
  auto owner = std::make_unique<Probe>(&deaths);
  Probe* child = TComponent::CreateOwned<Probe>(*owner, &deaths);
  EXPECT_EQ(child->Owner(), owner.get());
  EXPECT_EQ(owner->ComponentCount(), 1);
  Probe watcher(&deaths);
  child->FreeNotification(&watcher);
  owner.reset();
  EXPECT_EQ(deaths, 2);
  EXPECT_EQ(watcher.lastGone, child);
}

TEST(Components, WatcherDyingFirstUnhooks) {
  int deaths = 0;
  Probe target(&deaths);
  {
    Probe watcher(&deaths);
    target.FreeNotification(&watcher);
  }
  // target's destruction must not call the dead watcher (checked by the sanitizers).
  SUCCEED();
}

TEST(Events, FireOnlyWhenAssignedAndCompareByIdentity) {
  int deaths = 0;
  Probe a(&deaths), b(&deaths);
  TNotifyEvent empty;
  empty(nullptr);  // no handler: nothing happens
  auto ea = TNotifyEvent::Bind(&a, &Probe::Handler);
  auto ea2 = TNotifyEvent::Bind(&a, &Probe::Handler);
  auto eb = TNotifyEvent::Bind(&b, &Probe::Handler);
  ea(nullptr);
  EXPECT_EQ(a.calls, 1);
  EXPECT_TRUE(ea.SameAs(ea2));
  EXPECT_FALSE(ea.SameAs(eb));
  TNotifyEvent lambda = [](TObject*) {};
  EXPECT_FALSE(lambda.SameAs(lambda));
}
