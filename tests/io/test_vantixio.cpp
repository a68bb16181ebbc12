// The input/output component: attachment, dispatch, safe saving and failure reports.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "io/fileformats.h"
#include "io/metafile.h"
#include "io/vantixio.h"
#include "platform/canvas.h"
#include "platform/exceptions.h"
#include "platform/stream.h"
#include "testhost.h"
#include "testsupport.h"

using namespace vx;
namespace fs = std::filesystem;

namespace {

constexpr int kRawType = 60;

// A tiny registered format: "RAW6", width, height, then 24-bit rows.
void RawWrite(TStream& s, TBitmap& b, TIOParamsVals&, TProgressRec& p) {
  s.WriteBuffer("RAW6", 4);
  WriteLE32(s, static_cast<uint32_t>(b.Width()));
  WriteLE32(s, static_cast<uint32_t>(b.Height()));
  for (int y = 0; y < b.Height(); ++y) {
    s.WriteBuffer(b.ScanLine(y), b.Width() * 3);
    p.Value = y + 1;
    p.PercentPerStep = 100.0 / b.Height();
    p.Report();
  }
}

void RawRead(TStream& s, TBitmap& b, TIOParamsVals& params, bool preview, TProgressRec& p) {
  char magic[4];
  uint32_t w = 0, h = 0;
  if (s.Read(magic, 4) != 4 || std::memcmp(magic, "RAW6", 4) != 0 || !TryReadLE32(s, w) ||
      !TryReadLE32(s, h) || w > 4096 || h > 4096) {
    p.Abort();
    return;
  }
  params.Width = static_cast<int>(w);
  params.Height = static_cast<int>(h);
  params.DpiX = 200;
  params.DpiY = 100;
  if (preview) return;
  SizeBitmap(b, static_cast<int>(w), static_cast<int>(h), pf24bit);
  for (uint32_t y = 0; y < h; ++y)
    if (s.Read(b.ScanLine(static_cast<int>(y)), w * 3) != w * 3) return p.Abort();
}

bool RawTry(TStream& s) {
  char magic[4] = {};
  return s.Read(magic, 4) == 4 && std::memcmp(magic, "RAW6", 4) == 0;
}

// Writes part of a file and then fails.
void FailingWrite(TStream& s, TBitmap&, TIOParamsVals&, TProgressRec& p) {
  s.WriteBuffer("partial", 7);
  p.Abort();
}

// A writer whose stream runs out of room, as on a full disk.
void FullDiskWrite(TStream& s, TBitmap&, TIOParamsVals&, TProgressRec&) {
  s.WriteBuffer("RAW6", 4);
  throw EWriteError("stream write error");
}

// A stream that takes nothing.
class TRefusingStream : public TMemoryStream {
 public:
  int64_t Write(const void*, int64_t) override { return 0; }
};

class VantixIO : public testing::Test {
 protected:
  void SetUp() override {
    TVXFileFormatInfo raw;
    raw.FileType = kRawType;
    raw.FullName = "Raw test format";
    raw.Extensions = "RAW6";
    raw.ReadFunction = RawRead;
    raw.WriteFunction = RawWrite;
    raw.TryFunction = RawTry;
    VXFileFormatAdd(raw);
    TVXFileFormatInfo bad;
    bad.FileType = kRawType + 1;
    bad.FullName = "Failing";
    bad.Extensions = "FAIL";
    bad.WriteFunction = FailingWrite;
    VXFileFormatAdd(bad);
    TVXFileFormatInfo full;
    full.FileType = kRawType + 2;
    full.FullName = "Full disk";
    full.Extensions = "FULL";
    full.WriteFunction = FullDiskWrite;
    VXFileFormatAdd(full);
    dir = vxtest::TempDir() + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { VXFileFormatReset(); }

  static void Paint(TBitmap& b, int w, int h) {
    SizeBitmap(b, w, h, pf24bit);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w * 3; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>(x * 5 + y * 11);
  }
  static std::string Slurp(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  size_t FilesInDir() const {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
  }

  std::string dir;
};

}  // namespace

TEST_F(VantixIO, NothingHappensWithoutABitmap) {
  TVantixIO io;
  io.SetAborting(true);
  io.LoadFromFile(dir + "/missing.raw6");
  EXPECT_FALSE(io.Aborting());
  io.SaveToFile(dir + "/out.raw6");
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(FilesInDir(), 0u);
}

TEST_F(VantixIO, RegisteredFormatRoundTripThroughAView) {
  vxtest::TTestHost view;
  TVantixIO io;
  io.SetAttachedVantix(&view);
  Paint(*view.GetFBitmap(), 9, 4);
  std::vector<int> progress;
  io.OnProgress = [&](TObject* sender, int per) {
    EXPECT_EQ(sender, &io);
    progress.push_back(per);
  };
  const std::string name = dir + "/a.RAW6";
  io.SaveToFile(name);
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(progress.back(), 100);
  TBitmap original;
  original.Assign(*view.GetFBitmap());
  view.GetFBitmap()->SetSize(1, 1);
  io.LoadFromFile(name);
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(io.Params().FileType, kRawType);
  EXPECT_EQ(io.Params().FileName, name);
  EXPECT_EQ(view.dpiX, 200);
  EXPECT_EQ(view.dpiY, 100);
  EXPECT_GE(view.updates, 1);
  EXPECT_GE(view.imageChanges, 1);
  ASSERT_EQ(view.GetFBitmap()->BitsSize(), original.BitsSize());
  EXPECT_EQ(std::memcmp(view.GetFBitmap()->Bits(), original.Bits(), original.BitsSize()), 0);
  // Detected by content from a stream, too.
  TMemoryStream s(ReadWholeFile(name));
  view.GetFBitmap()->SetSize(1, 1);
  io.LoadFromStream(s);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(io.Params().FileType, kRawType);
  EXPECT_EQ(io.Params().FileName, "");
  EXPECT_EQ(view.GetFBitmap()->Width(), 9);
}

TEST_F(VantixIO, FailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
  TBitmap b;
  Paint(b, 4, 4);
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  const std::string name = dir + "/keep.fail";
  { std::ofstream(name, std::ios::binary) << "precious"; }
  io.SaveToFile(name);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(Slurp(name), "precious");
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(VantixIO, WriteErrorsAreReportedThroughAborting) {
  TBitmap b;
  Paint(b, 4, 4);
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  const std::string name = dir + "/keep.full";
  { std::ofstream(name, std::ios::binary) << "precious"; }
  EXPECT_NO_THROW(io.SaveToFile(name));
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(Slurp(name), "precious");
  EXPECT_EQ(FilesInDir(), 1u);
  // Streams that refuse the data, with and without the 12-byte headers. (The PNG writer
  // is the one saver that raises on failure.)
  for (bool headers : {false, true}) {
    io.SetStreamHeaders(headers);
    for (int type : {ioPCX, ioTIFF, ioJPEG, ioBMP, ioGIF, kRawType}) {
      TRefusingStream s;
      EXPECT_NO_THROW(io.SaveToStream(s, type)) << type << " " << headers;
      EXPECT_TRUE(io.Aborting()) << type << " " << headers;
    }
  }
}

TEST_F(VantixIO, SaveKeepsTheTargetsPermissions) {
  TBitmap b;
  Paint(b, 2, 2);
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  const std::string name = dir + "/mode.raw6";
  { std::ofstream(name) << "old"; }
  fs::permissions(name, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  io.SaveToFile(name);
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(fs::status(name).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Slurp(name).substr(0, 4), "RAW6");
}

TEST_F(VantixIO, UnknownSaveExtensionsAbortAndWriteNothing) {
  TBitmap b;
  Paint(b, 2, 2);
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  for (const char* ext : {".xyz", ".jpe", ".ico", ".cur", ".wmf", ""}) {
    io.SaveToFile(dir + "/out" + ext);
    EXPECT_TRUE(io.Aborting()) << ext;
  }
  EXPECT_EQ(FilesInDir(), 0u);
  TMemoryStream s;
  io.SaveToStream(s, ioICO);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(s.Size(), 0);
}

TEST_F(VantixIO, UnknownLoadExtensionAborts) {
  TBitmap b;
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  const std::string name = dir + "/x.unknownext";
  { std::ofstream(name) << "data"; }
  io.LoadFromFile(name);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(io.Params().FileType, ioUnknown);
}

TEST_F(VantixIO, MissingFileRaisesNamingIt) {
  TBitmap b;
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  try {
    io.LoadFromFile(dir + "/absent.bmp");
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_NE(std::string(e.what()).find("absent.bmp"), std::string::npos);
  }
}

TEST_F(VantixIO, EightBitBitmapIsConvertedBeforeSavingEvenWhenSavingFails) {
  TBitmap b;
  SizeBitmap(b, 3, 3, pf8bit);
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  io.SaveToFile(dir + "/x.fail");
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(b.PixelFormat(), pf24bit);
}

TEST_F(VantixIO, BmpThroughTheComponent) {
  TBitmap b;
  Paint(b, 13, 7);
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  io.Params().BitsPerSample = 8;
  io.Params().SamplesPerPixel = 3;
  const std::string name = dir + "/pic.bmp";
  io.SaveToFile(name);
  ASSERT_FALSE(io.Aborting());
  TBitmap loaded;
  TVantixIO in;
  in.SetAttachedBitmap(&loaded);
  in.LoadFromFile(name);
  ASSERT_FALSE(in.Aborting());
  EXPECT_EQ(in.Params().FileType, ioBMP);
  ASSERT_EQ(loaded.Width(), 13);
  for (int y = 0; y < 7; ++y) EXPECT_EQ(std::memcmp(loaded.ScanLine(y), b.ScanLine(y), 39), 0);
  // A parameter-only read does not touch the bitmap, and a stale failure of the
  // shared null progress record does not make it fail.
  nullpr.Abort();
  TVantixIO probe;
  probe.ParamsFromFile(name);
  EXPECT_EQ(probe.Params().FileType, ioBMP);
  EXPECT_EQ(probe.Params().Width, 13);
  EXPECT_EQ(probe.Params().Height, 7);
  EXPECT_EQ(probe.Params().FileName, name);
  TMemoryStream s(ReadWholeFile(name));
  probe.ParamsFromStream(s);
  EXPECT_EQ(probe.Params().FileType, ioBMP);
  probe.ParamsFromFile(dir + "/none.bmp");
  EXPECT_EQ(probe.Params().FileType, ioUnknown);
}

TEST_F(VantixIO, HeadedTiffStreamWithWrongMagicAborts) {
  TBitmap b;
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  io.SetStreamHeaders(true);
  std::vector<uint8_t> data(40, 0);
  std::memcpy(data.data(), "TIFX", 4);
  TMemoryStream s(data);
  io.LoadFromStreamTIFF(s);
  EXPECT_TRUE(io.Aborting());
  std::memcpy(data.data(), "PCY2", 4);
  TMemoryStream p(data);
  io.LoadFromStreamPCX(p);
  EXPECT_TRUE(io.Aborting());
}

TEST_F(VantixIO, AttachmentRulesAndDestructionNotices) {
  TVantixIO io;
  TBitmap bare;
  {
    vxtest::TTestHost view;
    io.SetAttachedVantix(&view);
    EXPECT_EQ(io.Bitmap(), view.GetFBitmap());
    EXPECT_EQ(view.handlers.size(), 1u);
    io.SetBackground(0x123456);
    EXPECT_EQ(view.background, 0x123456);
    view.ReplaceBitmap();
    EXPECT_EQ(io.Bitmap(), view.GetFBitmap());
    // A nil bitmap while a view is attached: the view goes, nothing else changes.
    vxtest::TTestPicture pic;
    io.SetAttachedTImage(&pic);
    EXPECT_EQ(view.handlers.size(), 0u);
    EXPECT_EQ(io.Bitmap(), &pic.bitmap);
    io.SetAttachedBitmap(nullptr);
    EXPECT_EQ(io.AttachedTImage(), &pic);
    io.Update();
    EXPECT_TRUE(pic.bitmap.Modified());
    io.SetAttachedVantix(&view);
    EXPECT_EQ(io.AttachedTImage(), nullptr);
  }
  // The view is gone: the component must not touch its bitmap any more.
  EXPECT_EQ(io.AttachedVantix(), nullptr);
  EXPECT_EQ(io.Bitmap(), nullptr);
  io.LoadFromFile(dir + "/whatever.bmp");
  EXPECT_FALSE(io.Aborting());
  io.SetAttachedBitmap(&bare);
  EXPECT_EQ(io.Bitmap(), &bare);
  io.SetBackground(0x00FF00);
  EXPECT_EQ(io.Background(), 0x00FF00);
}

TEST_F(VantixIO, ClearFillsWithBackground) {
  TBitmap b;
  Paint(b, 5, 3);
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  io.SetBackground(RGB2TColor(10, 20, 30));
  io.Clear();
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(b.ScanLine(y)[x * 3], 30);
      EXPECT_EQ(b.ScanLine(y)[x * 3 + 2], 10);
    }
}

TEST_F(VantixIO, AssignParamsFromComponentOrParameterSet) {
  TVantixIO a, b;
  a.Params().JPEG_Quality = 77;
  b.AssignParams(&a);
  EXPECT_EQ(b.Params().JPEG_Quality, 77);
  TIOParamsVals p;
  p.JPEG_Quality = 12;
  b.AssignParams(&p);
  EXPECT_EQ(b.Params().JPEG_Quality, 12);
  TBitmap other;
  b.AssignParams(&other);
  EXPECT_EQ(b.Params().JPEG_Quality, 12);
}

namespace {
class FakePlayer : public IMetafilePlayer {
 public:
  bool Load(const std::string&, int& w, int& h, bool& enhanced) override {
    w = 200;
    h = 100;
    enhanced = true;
    return true;
  }
  void Play(TCanvas& canvas, int w, int h) override {
    canvas.Brush().Color = clRed;
    canvas.FillRect(Rect(0, 0, w / 2, h));
  }
};
}  // namespace

TEST_F(VantixIO, MetafileImportSizes) {
  TBitmap b;
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  io.ImportMetafile("x.emf", -1, -1);
  EXPECT_TRUE(io.Aborting());  // no player registered
  SetMetafilePlayer(std::make_unique<FakePlayer>());
  const struct {
    int w, h, wantW, wantH;
  } cases[] = {{-1, -1, 200, 100}, {50, 60, 50, 60}, {-1, 50, 100, 50}, {50, -1, 50, 25}};
  for (const auto& c : cases) {
    io.ImportMetafile("x.emf", c.w, c.h);
    ASSERT_FALSE(io.Aborting());
    EXPECT_EQ(b.Width(), c.wantW);
    EXPECT_EQ(b.Height(), c.wantH);
    EXPECT_EQ(io.Params().FileType, ioEMF);
  }
  b.SetSize(7, 7);
  io.ImportMetafile("x.emf", 0, 100);
  EXPECT_EQ(b.Width(), 7);
  SetMetafilePlayer(nullptr);
}
