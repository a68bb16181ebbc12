// Acquisition through the built-in manager against SANE's real test backend, with
// scanimage as the peer for the pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "acquire/imscan.h"
#include "acquire/sanesource.h"
#include "acquire/twaindsm.h"
#include "acquire/twainparams.h"
#include "io/ioparams.h"
#include "io/vantixio.h"
#include "platform/bitmap.h"
#include "saneenv.h"
#include "testsupport.h"

using namespace vx;

namespace {

constexpr double kMm = 1 / 25.4;

class AcquireTest : public ::testing::Test {
 protected:
  void SetUp() override { vxtest::UseSaneTestBackend(); }
  void TearDown() override { vxtest::UseSaneTestBackend(); }
};

// Pixels as RGB bytes from a PNM (P4: 1 is black).
std::vector<uint8_t> PnmRGB(const vxtest::Pnm& p) {
  std::vector<uint8_t> out;
  const size_t row = p.kind == '4' ? (static_cast<size_t>(p.width) + 7) / 8 : 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      if (p.kind == '6') {
        const uint8_t* s = &p.data[(static_cast<size_t>(y) * p.width + x) * 3];
        out.insert(out.end(), s, s + 3);
      } else if (p.kind == '5') {
        out.insert(out.end(), 3, p.data[static_cast<size_t>(y) * p.width + x]);
      } else {
        const bool black = (p.data[y * row + x / 8] >> (7 - x % 8)) & 1;
        out.insert(out.end(), 3, black ? 0 : 255);
      }
    }
  return out;
}

int SourceIndex(TVXTWainParams& tw, const std::string& device) {
  for (int i = 0; i < tw.GetSourceCount(); ++i) {
    const std::string n = tw.GetSourceName(i);
    if (n.size() >= device.size() &&
        n.compare(n.size() - device.size(), device.size(), device) == 0)
      return i;
  }
  return -1;
}

void Select(TVXTWainParams& tw, const std::string& device) {
  const int i = SourceIndex(tw, device);
  ASSERT_GE(i, 0) << device;
  tw.SetSelectedSource(i);
}

TEST_F(AcquireTest, SourceListNamesTheTestDevices) {
  std::vector<TW_IDENTITY> list;
  VXTW_GetSourceList(list);
  ASSERT_EQ(list.size(), 2u);
  TVXTWainParams tw;
  ASSERT_EQ(tw.GetSourceCount(), 2);
  EXPECT_EQ(tw.GetSourceName(0), "Noname frontend-tester test:0");
  EXPECT_EQ(tw.GetSourceName(1), "Noname frontend-tester test:1");
  EXPECT_EQ(std::string(list[0].Manufacturer), "Noname");
  EXPECT_EQ(tw.GetSourceName(2), "");
  EXPECT_EQ(VXTW_LastSession().FinalState, 1);
}

TEST_F(AcquireTest, SelectingByNamePrefixIgnoresCase) {
  TVXTWainParams tw;
  EXPECT_TRUE(tw.SelectSourceByName("NONAME front"));
  EXPECT_EQ(tw.SelectedSource(), 0);
  EXPECT_FALSE(tw.SelectSourceByName("Scan"));
  EXPECT_EQ(tw.SelectedSource(), 0);
  EXPECT_TRUE(tw.SelectSourceByName(""));  // the empty prefix matches the first source
  // The device name of the second one, at the end, is no prefix.
  EXPECT_FALSE(tw.SelectSourceByName("test:1"));
}

TEST_F(AcquireTest, CapabilitiesComeFromTheSaneOptions) {
  TVXTWainParams tw;
  Select(tw, "test:0");
  TVXDoubleList& xres = tw.XResolution();
  EXPECT_DOUBLE_EQ(xres.RangeMin(), 1);
  EXPECT_DOUBLE_EQ(xres.RangeMax(), 1200);
  EXPECT_DOUBLE_EQ(xres.RangeStep(), 1);
  EXPECT_EQ(xres.Changed(), 0) << "read values are not marked for sending";
  TVXIntegerList& pt = tw.PixelType();
  ASSERT_EQ(pt.Count(), 3);
  EXPECT_EQ(pt.GetItem(0), 0);
  EXPECT_EQ(pt.GetItem(1), 1);
  EXPECT_EQ(pt.GetItem(2), 2);
  EXPECT_EQ(pt.CurrentValue(), 1);  // the backend starts in Gray
  EXPECT_NEAR(tw.PhysicalWidth(), 300 * kMm, 1e-4);
  EXPECT_NEAR(tw.PhysicalHeight(), 300 * kMm, 1e-4);
  // Not offered by SANE: the defaults stand in.
  ASSERT_EQ(tw.XScaling().Count(), 1);
  EXPECT_DOUBLE_EQ(tw.XScaling().GetItem(0), 1.0);
  EXPECT_DOUBLE_EQ(tw.YScaling().CurrentValue(), 1.0);
  EXPECT_DOUBLE_EQ(tw.Gamma(), 2.2);
  ASSERT_EQ(tw.Orientation().Count(), 1);
  EXPECT_EQ(tw.Orientation().GetItem(0), 0);
  EXPECT_FALSE(tw.FeederEnabled());
  EXPECT_TRUE(tw.Indicators());
  EXPECT_NEAR(tw.AcquireFrame(2), 80 * kMm, 1e-4);
  EXPECT_NEAR(tw.AcquireFrame(3), 100 * kMm, 1e-4);
}

TEST_F(AcquireTest, AssignCopiesEverythingAndDefaultsRestore) {
  TVXTWainParams tw;
  Select(tw, "test:1");
  tw.SetVisibleDialog(false);
  tw.SetBufferedTransfer(false);
  tw.XResolution().SetCurrentValue(123);
  tw.SetAcquireFrame(2, 1.5);
  TVXTWainParams copy;
  copy.Assign(tw);
  EXPECT_EQ(copy.SelectedSource(), 1);
  EXPECT_EQ(copy.GetSourceName(1), tw.GetSourceName(1));
  EXPECT_FALSE(copy.VisibleDialog());
  EXPECT_FALSE(copy.BufferedTransfer());
  EXPECT_DOUBLE_EQ(copy.XResolution().CurrentValue(), 123);
  EXPECT_TRUE(copy.XResolution().Changed() & kChangedCurrent) << "still to be sent";
  EXPECT_DOUBLE_EQ(copy.AcquireFrame(2), 1.5);
  copy.SetDefaultParams();
  EXPECT_EQ(copy.SelectedSource(), 0);
  EXPECT_TRUE(copy.VisibleDialog());
  EXPECT_TRUE(copy.BufferedTransfer());
  EXPECT_FALSE(copy.CapabilitiesRead());
  EXPECT_EQ(copy.CurrentCaps().XResolution.Count(), 0);
}

TEST_F(AcquireTest, UpdateSendsTheChangedValuesAndReadsThemBack) {
  TVXTWainParams tw;
  Select(tw, "test:0");
  tw.XResolution().SetCurrentValue(150);
  tw.PixelType().SetCurrentValue(2);
  ASSERT_TRUE(tw.Update());
  EXPECT_DOUBLE_EQ(tw.XResolution().CurrentValue(), 150);
  EXPECT_EQ(tw.PixelType().CurrentValue(), 2);
}

struct ModeCase {
  const char* name;
  int pixelType;
  const char* scanimageMode;
};

class AcquireModeTest : public AcquireTest, public ::testing::WithParamInterface<ModeCase> {};

// A 75 dpi scan of 10,20 to 60,55 mm equals scanimage's of the same area, pixel for pixel.
TEST_P(AcquireModeTest, EqualsScanimage) {
  const ModeCase& c = GetParam();
  const std::string peer = vxtest::ScanImage(
      "test:0", std::string(c.scanimageMode) +
                    " --resolution 75 -l 10 -t 20 -x 50 -y 35 --test-picture 'Color pattern'");
  vxtest::Pnm pnm;
  ASSERT_TRUE(vxtest::ReadPnm(peer, pnm)) << "scanimage gave no image";
  for (bool buffered : {true, false}) {
    TVXTWainParams tw;
    tw.SetVisibleDialog(false);
    tw.SetBufferedTransfer(buffered);
    Select(tw, "test:0");
    tw.XResolution().SetCurrentValue(75);
    tw.YResolution().SetCurrentValue(75);
    tw.PixelType().SetCurrentValue(c.pixelType);
    const double frame[4] = {10 * kMm, 20 * kMm, 60 * kMm, 55 * kMm};
    for (int i = 0; i < 4; ++i) tw.SetAcquireFrame(i, frame[i]);
    TBitmap bmp;
    TIOParamsVals params;
    bool abort = false;
    TFailure failure;
    TProgressRec pr;
    pr.Aborting = &abort;
    pr.Failure = &failure;
    ASSERT_TRUE(VXTW_Acquire(0, &bmp, false, pr, &params, tw)) << tw.LastError();
    EXPECT_EQ(VXTW_LastSession().MemoryTransfer, buffered);
    EXPECT_EQ(VXTW_LastSession().FinalState, 1);
    EXPECT_EQ(bmp.PixelFormat(), c.pixelType == 0 ? pf1bit : pf24bit);
    ASSERT_EQ(bmp.Width(), pnm.width);
    ASSERT_EQ(bmp.Height(), pnm.height);
    EXPECT_EQ(params.Width, pnm.width);
    EXPECT_EQ(params.DpiX, 75);
    EXPECT_EQ(params.DpiY, 75);
    EXPECT_EQ(params.SamplesPerPixel, c.pixelType == 2 ? 3 : 1);
    EXPECT_EQ(params.BitsPerSample, c.pixelType == 0 ? 1 : 8);
    EXPECT_TRUE(vxtest::BitmapRGB(bmp) == PnmRGB(pnm)) << (buffered ? "memory" : "native");
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, AcquireModeTest,
                         ::testing::Values(ModeCase{"Color", 2, "--mode Color --depth 8"},
                                           ModeCase{"Gray", 1, "--mode Gray --depth 8"},
                                           ModeCase{"Lineart", 0, "--mode Gray --depth 1"}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(AcquireTest, AnEmptyFrameLeavesTheSourceItsOwnArea) {
  TVXTWainParams tw;
  tw.SetVisibleDialog(false);
  Select(tw, "test:1");
  tw.XResolution().SetCurrentValue(25.4);  // one pixel a millimetre
  tw.YResolution().SetCurrentValue(25.4);
  for (int i = 0; i < 4; ++i) tw.SetAcquireFrame(i, 0);
  TBitmap bmp;
  TProgressRec pr = ResetNullpr();
  ASSERT_TRUE(VXTW_Acquire(0, &bmp, false, pr, nullptr, tw));
  // The backend's default area, 80 x 100 mm (its resolution is whole dpi: 25).
  const vxtest::Pnm* none = nullptr;
  (void)none;
  EXPECT_EQ(bmp.Width(), static_cast<int>(80 / 25.4 * 25));
  EXPECT_EQ(bmp.Height(), static_cast<int>(100 / 25.4 * 25));
}

// A hand scanner tells the length only at the end: the image still arrives whole, by
// either transfer, as scanimage gets it.
TEST_F(AcquireTest, AnImageOfUnknownLengthArrivesWhole) {
  vxtest::UseSaneTestBackend("Default", true);
  vxtest::Pnm pnm;
  ASSERT_TRUE(vxtest::ReadPnm(
      vxtest::ScanImage("test:0",
                        "--mode Color --depth 8 --resolution 40 --test-picture 'Color pattern'"),
      pnm));
  for (bool buffered : {true, false}) {
    TVXTWainParams tw;
    tw.SetVisibleDialog(false);
    tw.SetBufferedTransfer(buffered);
    Select(tw, "test:0");
    tw.XResolution().SetCurrentValue(40);
    tw.YResolution().SetCurrentValue(40);
    tw.PixelType().SetCurrentValue(2);
    TBitmap bmp;
    TProgressRec pr = ResetNullpr();
    ASSERT_TRUE(VXTW_Acquire(0, &bmp, false, pr, nullptr, tw)) << tw.LastError();
    EXPECT_EQ(bmp.Height(), pnm.height);
    EXPECT_TRUE(vxtest::BitmapRGB(bmp) == PnmRGB(pnm)) << (buffered ? "memory" : "native");
  }
}

TEST_F(AcquireTest, APixelTypeAboveRGBIsSentAsRGB) {
  TVXTWainParams tw;
  tw.SetVisibleDialog(false);
  Select(tw, "test:0");
  tw.PixelType().SetCurrentValue(5);
  TBitmap bmp;
  TIOParamsVals params;
  TProgressRec pr = ResetNullpr();
  ASSERT_TRUE(VXTW_Acquire(0, &bmp, false, pr, &params, tw));
  EXPECT_EQ(tw.PixelType().CurrentValue(), 2);
  EXPECT_EQ(params.SamplesPerPixel, 3);
}

// Pages of the feeder, each a copy kept by the callback.
struct Pages {
  std::vector<TBitmap> bitmaps;
  std::vector<std::unique_ptr<TIOParamsVals>> params;
  TVXTWPageCallback Callback(bool* abortAfter3 = nullptr) {
    return [this, abortAfter3](TBitmap& page, TIOParamsVals*& p) {
      bitmaps.push_back(page);
      params.push_back(std::make_unique<TIOParamsVals>());
      p = params.back().get();
      if (abortAfter3 && bitmaps.size() == 3) *abortAfter3 = true;
    };
  }
};

TVXTWainParams FeederParams() {
  TVXTWainParams tw;
  tw.SetVisibleDialog(false);
  Select(tw, "test:0");
  tw.SetFeederEnabled(true);
  tw.XResolution().SetCurrentValue(20);
  tw.YResolution().SetCurrentValue(20);
  tw.PixelType().SetCurrentValue(2);
  return tw;
}

TEST_F(AcquireTest, TheFeederDeliversItsTenPages) {
  TVXTWainParams tw = FeederParams();
  Pages pages;
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  ASSERT_TRUE(VXTW_Acquire(0, nullptr, true, pr, nullptr, tw, pages.Callback()));
  EXPECT_EQ(VXTW_LastSession().CallbackCount, 10);
  EXPECT_EQ(VXTW_LastSession().StateAfterLoop, 5);
  EXPECT_EQ(VXTW_LastSession().FinalState, 1);
  ASSERT_EQ(pages.bitmaps.size(), 10u);
  EXPECT_FALSE(abort);
  EXPECT_EQ(pages.params[9]->DpiX, 20);
  EXPECT_EQ(pages.params[9]->Width, pages.bitmaps[9].Width());
  EXPECT_TRUE(vxtest::BitmapRGB(pages.bitmaps[0]) == vxtest::BitmapRGB(pages.bitmaps[9]));
}

TEST_F(AcquireTest, AbortingKeepsThePagesSoFarAndResetsTheRest) {
  TVXTWainParams tw = FeederParams();
  Pages pages;
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  EXPECT_TRUE(VXTW_Acquire(0, nullptr, true, pr, nullptr, tw, pages.Callback(&abort)));
  EXPECT_EQ(pages.bitmaps.size(), 3u);
  EXPECT_EQ(VXTW_LastSession().StateAfterLoop, 5);
  EXPECT_EQ(VXTW_LastSession().FinalState, 1);
  // The source is usable again at once, with a full feeder.
  Pages again;
  abort = false;
  EXPECT_TRUE(VXTW_Acquire(0, nullptr, true, pr, nullptr, tw, again.Callback()));
  EXPECT_EQ(again.bitmaps.size(), 10u);
}

struct FailureCase {
  const char* status;
  const char* message;  // SANE's text
  bool cancel;
};

class AcquireFailureTest : public AcquireTest, public ::testing::WithParamInterface<FailureCase> {};

// A failing read ends the session cleanly in both modes: nothing transferred, the old
// image untouched, SANE's reason kept (a cancel is no failure), the manager unloaded.
TEST_P(AcquireFailureTest, EndsCleanly) {
  const FailureCase& c = GetParam();
  vxtest::UseSaneTestBackend(c.status);
  for (bool buffered : {true, false}) {
    TVXTWainParams tw = FeederParams();
    tw.SetBufferedTransfer(buffered);
    TBitmap bmp;
    bmp.SetPixelFormat(pf24bit);
    bmp.SetWidth(7);
    bmp.SetHeight(5);
    bool abort = false;
    TFailure failure;
    TProgressRec pr;
    pr.Aborting = &abort;
    pr.Failure = &failure;
    EXPECT_FALSE(VXTW_Acquire(0, &bmp, false, pr, nullptr, tw));
    EXPECT_EQ(bmp.Width(), 7);
    EXPECT_EQ(VXTW_LastSession().FinalState, 1);
    EXPECT_EQ(tw.LastError(), c.cancel ? "" : c.message);
    EXPECT_EQ(abort, !c.cancel);
    Pages pages;
    abort = false;
    EXPECT_FALSE(VXTW_Acquire(0, nullptr, true, pr, nullptr, tw, pages.Callback()));
    EXPECT_TRUE(pages.bitmaps.empty());
    EXPECT_EQ(VXTW_LastSession().FinalState, 1);
    EXPECT_EQ(tw.LastError(), c.cancel ? "" : c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, AcquireFailureTest,
    ::testing::Values(FailureCase{"SANE_STATUS_JAMMED", "Document feeder jammed", false},
                      FailureCase{"SANE_STATUS_IO_ERROR", "Error during device I/O", false},
                      FailureCase{"SANE_STATUS_NO_DOCS", "Document feeder out of documents", false},
                      FailureCase{"SANE_STATUS_COVER_OPEN", "Scanner cover is open", false},
                      FailureCase{"SANE_STATUS_CANCELLED", "", true}),
    [](const auto& p) { return std::string(p.param.status).substr(12); });

// A source that will not do memory transfers: test:1 behind a refusal.
class NoMemorySource : public TSaneSource {
 public:
  NoMemorySource() : TSaneSource("test:1", "Vantix", "no-memory") {}

 protected:
  TW_UINT16 Capability(TW_UINT16 msg, TW_CAPABILITY& cap) override {
    if (cap.Cap == ICAP_XFERMECH && msg == MSG_SET) {
      const auto* v = static_cast<const TW_ONEVALUE*>(cap.hContainer);
      if (cap.ConType != TWON_ONEVALUE || v->Item != TWSX_NATIVE) return Refuse(TWCC_BADVALUE);
    }
    return TSaneSource::Capability(msg, cap);
  }
};

TEST_F(AcquireTest, ASourceRefusingMemoryTransferStillDeliversNatively) {
  const int key = AddBuiltinSourceProvider([] {
    std::vector<std::unique_ptr<TVXTWDataSource>> v;
    v.push_back(std::make_unique<NoMemorySource>());
    return v;
  });
  TVXTWainParams tw;
  tw.SetVisibleDialog(false);
  ASSERT_TRUE(tw.SelectSourceByName("vantix no-memory"));
  tw.PixelType().SetCurrentValue(2);
  TBitmap bmp;
  TProgressRec pr = ResetNullpr();
  const bool ok = VXTW_Acquire(0, &bmp, false, pr, nullptr, tw);
  RemoveBuiltinSourceProvider(key);
  ASSERT_TRUE(ok) << tw.LastError();
  EXPECT_FALSE(VXTW_LastSession().MemoryTransfer);
  vxtest::Pnm pnm;
  ASSERT_TRUE(vxtest::ReadPnm(
      vxtest::ScanImage("test:1",
                        "--mode Color --depth 8 --resolution 50 --test-picture 'Color pattern'"),
      pnm));
  EXPECT_TRUE(vxtest::BitmapRGB(bmp) == PnmRGB(pnm));
}

TEST_F(AcquireTest, TheComponentAcquiresIntoItsBitmap) {
  TVantixIO io;
  TBitmap bmp;
  io.SetAttachedBitmap(&bmp);
  io.TWainParams().SetVisibleDialog(false);
  ASSERT_TRUE(io.TWainParams().SelectSourceByName("noname"));
  io.TWainParams().XResolution().SetCurrentValue(30);
  io.TWainParams().YResolution().SetCurrentValue(30);
  ASSERT_TRUE(io.Acquire()) << io.LastError();
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(io.Params().DpiX, 30);
  EXPECT_EQ(bmp.Width(), static_cast<int>(80 / 25.4 * 30));
  // Selecting with no dialog to ask takes the manager's default source.
  EXPECT_TRUE(io.SelectAcquireSource());
  EXPECT_EQ(io.TWainParams().SelectedSource(), 0);
}

TEST(Fix32, ConvertsAsTheProtocolStoresIt) {
  struct {
    double x;
    int whole;
    unsigned frac;
  } cases[] = {{0, 0, 0}, {1.5, 1, 0x8000}, {300, 300, 0}, {0.3937, 0, 25802}, {-0.5, -1, 0x8001}};
  for (const auto& c : cases) {
    const TW_FIX32 f = FloatToFIX32(c.x);
    EXPECT_EQ(f.Whole, c.whole) << c.x;
    EXPECT_EQ(f.Frac, c.frac) << c.x;
    EXPECT_NEAR(FIX32ToFloat(f), c.x, 1.0 / 65536) << c.x;
  }
  EXPECT_EQ(ItemToFIX32(FIX32ToItem(FloatToFIX32(-2.25))).Whole, -3);
}

TEST(SaneNames, KeepTheDeviceNameWithinThirtyThreeCharacters) {
  EXPECT_EQ(SaneProductName("HP", "ScanJet", "hpaio:/usb/x"), "HP ScanJet hpaio:/usb/x");
  EXPECT_EQ(SaneProductName("Noname", "frontend-tester virtual device", "test:0"),
            "Noname frontend-tester vir test:0");
  EXPECT_EQ(SaneProductName("", "", "net:host:test:0"), "net:host:test:0");
  EXPECT_EQ(SaneProductName("V", "M", std::string(40, 'd')).size(), 33u);
}

}  // namespace
