// Every method the facade re-exposes, called once through the facade and once on a
// plain view with its own processing and input/output components: the facade must end
// in the same state (image, undo, abort flag, parameters) and return the same result,
// and the call must have had an effect, so a forward to nothing or to the wrong member
// shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>

#include "acquire/twainparams.h"
#include "facade/vantix.h"
#include "facadetest.h"
#include "io/metafile.h"
#include "platform/canvas.h"
#include "platform/clipboard.h"
#include "platform/stream.h"
#include "saneenv.h"
#include "testsupport.h"

namespace {

using namespace vx;
using vxtest::Digest;
using vxtest::FileBytes;

// The view and components an application would otherwise wire up by hand.
struct Members {
  TVantixView view;
  TVantixProc proc;
  TVantixIO io;
  Members() {
    proc.SetAttachedVantix(&view);
    io.SetAttachedVantix(&view);
  }
};

// Draws the metafile as a solid colour; enough to see that the import ran.
class SolidMetafile : public IMetafilePlayer {
 public:
  bool Load(const std::string& fileName, int& width, int& height, bool& enhanced) override {
    if (!fileName.ends_with(".wmf")) return false;
    width = 20;
    height = 10;
    enhanced = false;
    return true;
  }
  void Play(TCanvas& canvas, int width, int height) override {
    canvas.Brush().Color = 0x0000C0;
    canvas.Brush().Style = bsSolid;
    canvas.FillRect(TRect{0, 0, width, height});
  }
};

using vxtest::F;
using vxtest::Fixtures;

// The preview dialogs are modal: cancel the next one as soon as it shows, so both sides
// of a row see the same (cancelled) outcome and the test never waits for a user.
bool CancelNextDialog(const std::function<bool()>& open) {
  auto* poll = new QTimer;
  bool shown = false;
  QObject::connect(poll, &QTimer::timeout, [&shown] {
    if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      shown = true;
      d->reject();
    }
  });
  poll->start(10);
  const bool result = open();
  delete poll;
  EXPECT_TRUE(shown) << "the dialog did not open";
  return result;
}

std::string Temp(const std::string& name) {
  return vxtest::TempDir() + "/" + name;
}

std::unique_ptr<TMemoryStream> StreamOf(const std::string& path) {
  auto s = std::make_unique<TMemoryStream>();
  s->LoadFromFile(path);
  s->SetPosition(0);
  return s;
}

std::string Bytes(TMemoryStream& s) {
  return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

std::string Copied(const std::string& from, const std::string& to) {
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  return to;
}

// The two names that differ between the facade and its input/output component.
bool IODoPreviews(TVantix& v, TPreviewParams pages) {
  return v.DoIOPreviews(pages);
}
bool IODoPreviews(TVantixIO& io, TPreviewParams pages) {
  return io.DoPreviews(pages);
}
void SavePNGToStream(TVantix& v, TStream& s) {
  v.saveToStreamPNG(s);
}
void SavePNGToStream(TVantixIO& io, TStream& s) {
  io.SaveToStreamPNG(s);
}

std::string Params(const TIOParamsVals& p) {
  return std::to_string(p.FileType) + "," + std::to_string(p.Width) + "x" +
         std::to_string(p.Height) + "," + std::to_string(p.DpiX) + "," + std::to_string(p.DpiY);
}

std::string State(TVantix& v) {
  return Digest(v.Bitmap()) + "|undo " + std::to_string(v.CanUndo()) + "|abort " +
         std::to_string(v.Aborting()) + "|" + Params(v.IOParams()) + "|dpi " +
         std::to_string(v.DpiX());
}

std::string State(Members& m) {
  return Digest(m.view.Bitmap()) + "|undo " + std::to_string(m.proc.CanUndo()) + "|abort " +
         std::to_string(m.io.Aborting()) + "|" + Params(m.io.Params()) + "|dpi " +
         std::to_string(m.view.DpiX());
}

std::string Histogram(const THistogram& h) {
  std::string s;
  for (const THistogramItem& i : h)
    s += std::to_string(i.R) + "," + std::to_string(i.G) + "," + std::to_string(i.B) + "," +
         std::to_string(i.Gray) + ";";
  return s;
}

std::string Palette(const std::vector<TRGB>& palette) {
  std::string s;
  for (const TRGB& c : palette)
    s += std::to_string(c.r) + std::to_string(c.g) + std::to_string(c.b);
  return s;
}

std::string Maybe(const std::unique_ptr<TBitmap>& b) {
  return b ? Digest(*b) : "null";
}

TBitmap Negated() {
  TBitmap b = vxtest::SampleBitmap();
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < 3 * b.Width(); ++x) b.ScanLine(y)[x] = 255 - b.ScanLine(y)[x];
  return b;
}

struct Row {
  std::string name;
  bool hasEffect;  // false: the member has nothing to show yet (dialogs, scanning)
  std::function<std::string(TVantix&, const std::string&)> viaFacade;
  std::function<std::string(Members&, const std::string&)> direct;
};

// f(processing, io, tag) is called with the facade in both places, or with the
// members; tag keeps the two runs' files apart.
template <class F>
Row MakeRow(std::string name, bool hasEffect, F f) {
  return {std::move(name), hasEffect,
          [f](TVantix& v, const std::string& tag) { return f(v, v, tag); },
          [f](Members& m, const std::string& tag) { return f(m.proc, m.io, tag); }};
}

const TRGB kBlack{0, 0, 0}, kGrey{128, 128, 128}, kWhite{255, 255, 255}, kRed{0, 0, 255};

std::vector<Row> ProcessingRows() {
  return {
      MakeRow("SaveUndo", true,
              [](auto& p, auto&, auto&) {
                p.SaveUndo();
                return std::string();
              }),
      MakeRow("ClearUndo", true,
              [](auto& p, auto&, auto&) {
                p.Negative();
                p.ClearUndo();
                return std::string();
              }),
      MakeRow("Undo", true,
              [](auto& p, auto&, auto&) {
                p.Negative();
                p.Undo();
                return std::string();
              }),
      MakeRow("Negative", true,
              [](auto& p, auto&, auto&) {
                p.Negative();
                return std::string();
              }),
      MakeRow("HSLvar", true,
              [](auto& p, auto&, auto&) {
                p.HSLvar(30, 20, 10);
                return std::string();
              }),
      MakeRow("HSVvar", true,
              [](auto& p, auto&, auto&) {
                p.HSVvar(40, -20, 15);
                return std::string();
              }),
      MakeRow("IntensityRGBall", true,
              [](auto& p, auto&, auto&) {
                p.IntensityRGBall(20, -10, 5);
                return std::string();
              }),
      MakeRow("Contrast", true,
              [](auto& p, auto&, auto&) {
                p.Contrast(40);
                return std::string();
              }),
      MakeRow("ApplyFilter", true,
              [](auto& p, auto&, auto&) {
                p.ApplyFilter(TGraphFilter{{0, -1, 0, -1, 5, -1, 0, -1, 0}, 1});
                return std::string();
              }),
      MakeRow("ApplyFilterPreset", true,
              [](auto& p, auto&, auto&) {
                p.ApplyFilterPreset(fpBlur);
                return std::string();
              }),
      MakeRow("ConvertToGray", true,
              [](auto& p, auto&, auto&) {
                p.ConvertToGray();
                return std::string();
              }),
      MakeRow("CastColorRange", true,
              [](auto& p, auto&, auto&) {
                p.CastColorRange(kBlack, kGrey, kRed);
                return std::string();
              }),
      MakeRow("Rotate", true,
              [](auto& p, auto&, auto&) {
                p.Rotate(30, true);
                return std::string();
              }),
      MakeRow("Flip", true,
              [](auto& p, auto&, auto&) {
                p.Flip(fdVertical);
                return std::string();
              }),
      MakeRow("ImageResize", true,
              [](auto& p, auto&, auto&) {
                p.ImageResize(50, 40);
                return std::string();
              }),
      MakeRow("Resample", true,
              [](auto& p, auto&, auto&) {
                p.Resample(20, 15, rfTriangle);
                return std::string();
              }),
      MakeRow("DoPreviews", false,
              [](auto& p, auto&, auto&) {
                return std::to_string(
                    CancelNextDialog([&] { return p.DoPreviews(TPreviewEffects{peAll}); }));
              }),
      MakeRow("Clear", true,
              [](auto& p, auto&, auto&) {
                p.Clear();
                return std::string();
              }),
      MakeRow("SelCopyToClip", true,
              [](auto& p, auto&, auto&) {
                p.SelCopyToClip();
                p.PasteFromClipboard();
                return std::string();
              }),
      MakeRow("CopyToClipboard", true,
              [](auto& p, auto&, auto&) {
                p.CopyToClipboard();
                p.Negative();
                p.PasteFromClipboard();
                return std::string();
              }),
      MakeRow("SelPasteFromClipStretch", true,
              [](auto& p, auto&, auto&) {
                p.CopyToClipboard();
                p.SelPasteFromClipStretch();
                return std::string();
              }),
      MakeRow("PasteFromClipboard", true,
              [](auto& p, auto&, auto&) {
                p.SelCopyToClip();
                p.Flip(fdHorizontal);
                p.PasteFromClipboard();
                return std::string();
              }),
      MakeRow("PointPasteFromClip", true,
              [](auto& p, auto&, auto&) {
                p.SelCopyToClip();
                p.PointPasteFromClip(21, 13);
                return std::string();
              }),
      MakeRow("SelCutToClip", true,
              [](auto& p, auto&, auto&) {
                p.SelCutToClip();
                return std::string();
              }),
      MakeRow("Merge", true,
              [](auto& p, auto&, auto&) {
                p.Merge(Negated(), 30);
                return std::string();
              }),
      MakeRow("Threshold", true,
              [](auto& p, auto&, auto&) {
                p.Threshold(kGrey, kWhite, kBlack, kRed);
                return std::string();
              }),
      MakeRow("HistEqualize", true,
              [](auto& p, auto&, auto&) {
                p.HistEqualize(TRGB{20, 20, 20}, TRGB{200, 200, 200});
                return std::string();
              }),
      MakeRow("HistAutoEqualize", true,
              [](auto& p, auto&, auto&) {
                p.HistAutoEqualize();
                return std::string();
              }),
      MakeRow("ClearSel", true,
              [](auto& p, auto&, auto&) {
                p.ClearSel();
                return std::string();
              }),
      MakeRow("ConvertTo", true,
              [](auto& p, auto&, auto&) {
                p.ConvertTo(8);
                return std::string();
              }),
      MakeRow("CropSel", true,
              [](auto& p, auto&, auto&) {
                p.CropSel();
                return std::string();
              }),
      MakeRow("BumpMapping", true,
              [](auto& p, auto&, auto&) {
                p.BumpMapping(2, 2, 30, 20, 50, kWhite);
                return std::string();
              }),
      MakeRow("GetHistogram", true,
              [](auto& p, auto&, auto&) {
                THistogram h{};
                p.GetHistogram(h);
                return Histogram(h);
              }),
      MakeRow("CalcImagePalette", true,
              [](auto& p, auto&, auto&) {
                std::vector<TRGB> palette;
                p.CalcImagePalette(palette, 0, 16);
                return Palette(palette);
              }),
      MakeRow("CalcImageNumColors", true,
              [](auto& p, auto&, auto&) { return std::to_string(p.CalcImageNumColors()); }),
      MakeRow("GetHSVChannel", true,
              [](auto& p, auto&, auto&) { return Maybe(p.GetHSVChannel(1)); }),
      MakeRow("GetHSVChannelAll", true,
              [](auto& p, auto&, auto&) {
                TBitmap h, s, v;
                p.GetHSVChannelAll(h, s, v);
                return Digest(h) + Digest(s) + Digest(v);
              }),
      MakeRow("GetRGBChannel", true,
              [](auto& p, auto&, auto&) { return Maybe(p.GetRGBChannel(2)); }),
      MakeRow("GetRGBChannelAll", true,
              [](auto& p, auto&, auto&) {
                TBitmap r, g, b;
                p.GetRGBChannelAll(r, g, b);
                return Digest(r) + Digest(g) + Digest(b);
              }),
      MakeRow("ConvertToBWOrdered", true,
              [](auto& p, auto&, auto&) {
                p.ConvertToBWOrdered();
                return std::string();
              }),
      MakeRow("ConvertToBWThreshold", true,
              [](auto& p, auto&, auto&) {
                p.ConvertToBWThreshold(100);
                return std::string();
              }),
      MakeRow("ConvertTo24Bit", true,
              [](auto& p, auto&, auto&) {
                p.ConvertToBWThreshold(100);
                p.ConvertTo24Bit();
                return std::string();
              }),
      MakeRow("Lens", true,
              [](auto& p, auto&, auto&) {
                p.Lens(20, 15, 16, 12, 1.7);
                return std::string();
              }),
      MakeRow("Wave", true,
              [](auto& p, auto&, auto&) {
                p.Wave(3, 10, 0, true);
                return std::string();
              }),
      MakeRow("WriteHiddenText", true,
              [](auto& p, auto&, auto&) { return std::to_string(p.WriteHiddenText("facade")); }),
      MakeRow("WriteHiddenData", true,
              [](auto& p, auto&, auto&) { return std::to_string(p.WriteHiddenData("\1\2\3", 3)); }),
      MakeRow("ReadHiddenText", true,
              [](auto& p, auto&, auto&) {
                p.WriteHiddenText("hidden words");
                return p.ReadHiddenText();
              }),
      MakeRow("ReadHiddenData", true,
              [](auto& p, auto&, auto&) {
                p.WriteHiddenData("xyz", 3);
                char buffer[8] = {};
                const int n = p.ReadHiddenData(buffer, 8);
                return std::to_string(n) + std::string(buffer, 3);
              }),
      MakeRow("GetHiddenDataSpace", true,
              [](auto& p, auto&, auto&) { return std::to_string(p.GetHiddenDataSpace()); }),
      MakeRow("FTCreateImage", true,
              [](auto& p, auto&, auto&) {
                const auto ft = p.FTCreateImage(vxitGrayscale, 16, 12);
                return ft ? std::to_string(ft->N()) + "/" + std::to_string(ft->SourceWidth()) +
                                "x" + std::to_string(ft->SourceHeight())
                          : std::string("null");
              }),
      MakeRow("FTConvertFrom", true,
              [](auto& p, auto&, auto&) {
                const auto ft = p.FTCreateImage(vxitRGB, 16, 16);
                p.FTConvertFrom(*ft);
                return std::string();
              }),
      MakeRow("FTDisplayFrom", true,
              [](auto& p, auto&, auto&) {
                const auto ft = p.FTCreateImage(vxitGrayscale, 16, 16);
                p.FTDisplayFrom(*ft);
                return std::string();
              }),
      MakeRow("Maximum", true,
              [](auto& p, auto&, auto&) {
                p.Maximum(1);
                return std::string();
              }),
      MakeRow("Minimum", true,
              [](auto& p, auto&, auto&) {
                p.Minimum(1);
                return std::string();
              }),
      MakeRow("Opening", true,
              [](auto& p, auto&, auto&) {
                p.Opening(2);
                return std::string();
              }),
      MakeRow("Closing", true,
              [](auto& p, auto&, auto&) {
                p.Closing(2);
                return std::string();
              }),
  };
}

// A save row: the file's bytes are the result.
template <class Save>
Row SaveRow(std::string name, std::string ext, Save save) {
  return MakeRow(name, true, [name, ext, save](auto&, auto& io, const std::string& tag) {
    const std::string path = Temp(tag + "_" + name + ext);
    save(io, path);
    return FileBytes(path);
  });
}

template <class Save>
Row StreamSaveRow(std::string name, Save save) {
  return MakeRow(name, true, [save](auto&, auto& io, auto&) {
    TMemoryStream s;
    save(io, s);
    return Bytes(s);
  });
}

template <class Load>
Row LoadRow(std::string name, std::string file, Load load) {
  return MakeRow(name, true, [file, load](auto&, auto& io, auto&) { return load(io, file); });
}

template <class Load>
Row StreamLoadRow(std::string name, std::string file, Load load) {
  return MakeRow(name, true, [file, load](auto&, auto& io, auto&) {
    const auto s = StreamOf(file);
    return load(io, *s);
  });
}

template <class Insert>
Row InsertRow(std::string name, std::string base, Insert insert) {
  return MakeRow(name, true, [name, base, insert](auto&, auto& io, const std::string& tag) {
    const std::string path =
        Copied(base, Temp(tag + "_" + name + std::filesystem::path(base).extension().string()));
    const int count = insert(io, path);
    return std::to_string(count) + ":" + FileBytes(path);
  });
}

const std::string kNone;

std::vector<Row> IORows() {
  const Fixtures& f = F();
  return {
      MakeRow("DoIOPreviews", false,
              [](auto&, auto& io, auto&) {
                return std::to_string(
                    CancelNextDialog([&] { return IODoPreviews(io, TPreviewParams{ppALL}); }));
              }),
      LoadRow("LoadFromFile", f.gif,
              [](auto& io, const std::string& n) {
                io.LoadFromFile(n);
                return kNone;
              }),
      SaveRow("SaveToFile", ".png", [](auto& io, const std::string& n) { io.SaveToFile(n); }),
      StreamLoadRow("LoadFromStream", f.jpeg,
                    [](auto& io, TStream& s) {
                      io.LoadFromStream(s);
                      return kNone;
                    }),
      StreamSaveRow("SaveToStream", [](auto& io, TStream& s) { io.SaveToStream(s, ioBMP); }),
      LoadRow("ParamsFromFile", f.jpeg,
              [](auto& io, const std::string& n) {
                io.ParamsFromFile(n);
                return kNone;
              }),
      StreamLoadRow("ParamsFromStream", f.gif,
                    [](auto& io, TStream& s) {
                      io.ParamsFromStream(s);
                      return kNone;
                    }),
      LoadRow("ImportMetafile", f.wmf,
              [](auto& io, const std::string& n) {
                auto old = SetMetafilePlayer(std::make_unique<SolidMetafile>());
                io.ImportMetafile(n, 24, 12);
                SetMetafilePlayer(std::move(old));
                return kNone;
              }),
      // A real scan from SANE's test backend, without the source's own dialog.
      MakeRow("Acquire", true,
              [](auto&, auto& io, auto&) {
                vxtest::UseSaneTestBackend();
                io.TWainParams().SetVisibleDialog(false);
                EXPECT_TRUE(io.TWainParams().SelectSourceByName("noname"));
                io.TWainParams().XResolution().SetCurrentValue(20);
                io.TWainParams().YResolution().SetCurrentValue(20);
                return std::to_string(io.Acquire());
              }),
      MakeRow("SelectAcquireSource", false,
              [](auto&, auto& io, auto&) {
                vxtest::UseSaneTestBackend();
                return std::to_string(CancelNextDialog([&] { return io.SelectAcquireSource(); }));
              }),
      LoadRow("LoadFromFileJpeg", f.jpeg,
              [](auto& io, const std::string& n) {
                io.LoadFromFileJpeg(n);
                return kNone;
              }),
      SaveRow("SaveToFileJpeg", ".jpg",
              [](auto& io, const std::string& n) { io.SaveToFileJpeg(n); }),
      StreamLoadRow("LoadFromStreamJpeg", f.jpeg,
                    [](auto& io, TStream& s) {
                      io.LoadFromStreamJpeg(s);
                      return kNone;
                    }),
      StreamSaveRow("SaveToStreamJpeg", [](auto& io, TStream& s) { io.SaveToStreamJpeg(s); }),
      LoadRow("LoadFromFileGif", f.gif,
              [](auto& io, const std::string& n) { return std::to_string(io.LoadFromFileGif(n)); }),
      SaveRow("SaveToFileGif", ".gif", [](auto& io, const std::string& n) { io.SaveToFileGif(n); }),
      InsertRow("InsertToFileGif", f.gif,
                [](auto& io, const std::string& n) { return io.InsertToFileGif(n); }),
      StreamLoadRow("LoadFromStreamGif", f.gif,
                    [](auto& io, TStream& s) { return std::to_string(io.LoadFromStreamGif(s)); }),
      StreamSaveRow("SaveToStreamGif", [](auto& io, TStream& s) { io.SaveToStreamGif(s); }),
      LoadRow("LoadFromFilePCX", f.pcx,
              [](auto& io, const std::string& n) {
                io.LoadFromFilePCX(n);
                return kNone;
              }),
      SaveRow("SaveToFilePCX", ".pcx", [](auto& io, const std::string& n) { io.SaveToFilePCX(n); }),
      StreamLoadRow("LoadFromStreamPCX", f.pcx,
                    [](auto& io, TStream& s) {
                      io.LoadFromStreamPCX(s);
                      return kNone;
                    }),
      StreamSaveRow("SaveToStreamPCX", [](auto& io, TStream& s) { io.SaveToStreamPCX(s); }),
      LoadRow(
          "LoadFromFileTIFF", f.tiff,
          [](auto& io, const std::string& n) { return std::to_string(io.LoadFromFileTIFF(n)); }),
      SaveRow("SaveToFileTIFF", ".tif",
              [](auto& io, const std::string& n) { io.SaveToFileTIFF(n); }),
      InsertRow("InsertToFileTIFF", f.tiff,
                [](auto& io, const std::string& n) { return io.InsertToFileTIFF(n); }),
      StreamLoadRow("LoadFromStreamTIFF", f.tiff,
                    [](auto& io, TStream& s) { return std::to_string(io.LoadFromStreamTIFF(s)); }),
      StreamSaveRow("SaveToStreamTIFF", [](auto& io, TStream& s) { io.SaveToStreamTIFF(s); }),
      LoadRow("LoadFromFileBMP", f.bmp,
              [](auto& io, const std::string& n) {
                io.LoadFromFileBMP(n);
                return kNone;
              }),
      SaveRow("SaveToFileBMP", ".bmp", [](auto& io, const std::string& n) { io.SaveToFileBMP(n); }),
      StreamLoadRow("LoadFromStreamBMP", f.bmp,
                    [](auto& io, TStream& s) {
                      io.LoadFromStreamBMP(s);
                      return kNone;
                    }),
      StreamSaveRow("SaveToStreamBMP", [](auto& io, TStream& s) { io.SaveToStreamBMP(s); }),
      LoadRow("LoadFromFileICO", f.ico,
              [](auto& io, const std::string& n) {
                io.LoadFromFileICO(n);
                return kNone;
              }),
      StreamLoadRow("LoadFromStreamICO", f.ico,
                    [](auto& io, TStream& s) {
                      io.LoadFromStreamICO(s);
                      return kNone;
                    }),
      LoadRow("LoadFromFileCUR", f.cur,
              [](auto& io, const std::string& n) {
                io.LoadFromFileCUR(n);
                return kNone;
              }),
      StreamLoadRow("LoadFromStreamCUR", f.cur,
                    [](auto& io, TStream& s) {
                      io.LoadFromStreamCUR(s);
                      return kNone;
                    }),
      LoadRow("LoadFromFilePNG", f.png,
              [](auto& io, const std::string& n) {
                io.LoadFromFilePNG(n);
                return kNone;
              }),
      SaveRow("SaveToFilePNG", ".png", [](auto& io, const std::string& n) { io.SaveToFilePNG(n); }),
      StreamLoadRow("LoadFromStreamPNG", f.png,
                    [](auto& io, TStream& s) {
                      io.LoadFromStreamPNG(s);
                      return kNone;
                    }),
      StreamSaveRow("saveToStreamPNG", [](auto& io, TStream& s) { SavePNGToStream(io, s); }),
  };
}

// Both sides start alike: the sample image, a rectangle selected in image coordinates,
// an empty clipboard.
template <class View>
void Prepare(View& view) {
  const TBitmap sample = vxtest::SampleBitmap();
  view.resize(120, 90);
  view.Assign(&sample);
  view.SetSelectionBase(vxsbBitmap);
  view.Select(5, 4, 24, 19);
}

void RunRows(const std::vector<Row>& rows) {
  ASSERT_FALSE(FileBytes(F().ico).empty()) << "ImageMagick could not make the icon fixture";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TVantix facade;
    Prepare(facade);
    Members members;
    Prepare(members.view);
    const std::string initial = State(facade);
    ASSERT_TRUE(initial == State(members));

    Clipboard().Clear();
    const std::string facadeResult = row.viaFacade(facade, "f");
    Clipboard().Clear();
    const std::string directResult = row.direct(members, "m");

    // Compared as booleans: the states hold whole images.
    EXPECT_TRUE(facadeResult == directResult);
    EXPECT_TRUE(State(facade) == State(members));
    const bool changed = !facadeResult.empty() || State(facade) != initial;
    if (row.hasEffect) {
      EXPECT_TRUE(changed) << "the call changed nothing, so the comparison proves nothing";
      EXPECT_FALSE(facade.Aborting()) << facade.IO().LastError();
    } else {
      EXPECT_TRUE(State(facade) == initial);
      EXPECT_EQ(facadeResult, "0");
    }
  }
}

TEST(FacadeForwarding, ProcessingMethodsReachTheProcessingComponent) {
  RunRows(ProcessingRows());
}

TEST(FacadeForwarding, InputOutputMethodsReachTheInputOutputComponent) {
  RunRows(IORows());
}

}  // namespace
