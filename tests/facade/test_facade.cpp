// The facade's own behaviour: how it builds and wires its members, the properties
// that touch both, assignment, progress and abort through one control, overridden
// input/output operations, and the paste at a client point.
#include <gtest/gtest.h>

#include <QMetaProperty>
#include <memory>

#include "facade/vantix.h"
#include "facadetest.h"
#include "platform/canvas.h"
#include "platform/clipboard.h"
#include "platform/stream.h"
#include "testsupport.h"

namespace {

using namespace vx;

struct ProgressLog {
  std::vector<TObject*> senders;
  void Report(TObject* sender, int) { senders.push_back(sender); }
};

TEST(Facade, OwnsProcessingAndInputOutputAttachedToItself) {
  TVantix v;
  EXPECT_EQ(v.Proc().AttachedVantix(), &v);
  EXPECT_EQ(v.IO().AttachedVantix(), &v);
  EXPECT_EQ(v.Proc().AttachedBitmap(), &v.Bitmap());
  EXPECT_EQ(v.IO().Bitmap(), &v.Bitmap());
  EXPECT_TRUE(v.Proc().AutoUndo());
}

TEST(Facade, PublishedPropertiesHaveTheirDefaultsAndReachTheMembers) {
  TVantix v;
  const QMetaObject* mo = v.metaObject();
  struct Case {
    const char* name;
    QVariant expectedDefault;
    QVariant written;
    std::function<QVariant()> member;  // the value as the member holds it
  };
  const Case cases[] = {
      {"AutoUndo", true, false, [&] { return QVariant(v.Proc().AutoUndo()); }},
      {"MsgLanguage", static_cast<int>(msSystem), static_cast<int>(msItalian),
       [&] { return QVariant(static_cast<int>(v.IO().MsgLanguage())); }},
      {"ProcPreviewsParams", 0, 1,
       [&] { return QVariant(static_cast<int>(v.Proc().PreviewsParams().Bits())); }},
      {"IOPreviewsParams", 0, 1,
       [&] { return QVariant(static_cast<int>(v.IO().PreviewsParams().Bits())); }},
      {"StreamHeaders", false, true, [&] { return QVariant(v.IO().StreamHeaders()); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int index = mo->indexOfProperty(c.name);
    ASSERT_GE(index, 0);
    EXPECT_TRUE(mo->property(index).isWritable());
    EXPECT_TRUE(mo->property(index).isDesignable());
    EXPECT_EQ(v.property(c.name), c.expectedDefault);
    ASSERT_TRUE(v.setProperty(c.name, c.written));
    EXPECT_EQ(v.property(c.name), c.written);
    EXPECT_EQ(c.member(), c.written);
  }
  EXPECT_EQ(v.property("PreviewFont").value<QFont>().family().toStdString(), TFont{}.Name);
  QFont bold("Liberation Serif", 11);
  bold.setBold(true);
  v.setProperty("PreviewFont", bold);
  EXPECT_EQ(v.Proc().PreviewFont().Name, "Liberation Serif");
  EXPECT_EQ(v.IO().PreviewFont().Size, 11);
  EXPECT_TRUE(v.IO().PreviewFont().Bold);
}

TEST(Facade, SharedPropertiesGoToBothMembers) {
  TVantix v;
  v.SetMsgLanguage(msGerman);
  EXPECT_EQ(v.Proc().MsgLanguage(), msGerman);
  EXPECT_EQ(v.IO().MsgLanguage(), msGerman);
  TFont font;
  font.Name = "Liberation Mono";
  font.Color = 0x123456;
  v.SetPreviewFont(font);
  EXPECT_EQ(v.Proc().PreviewFont(), font);
  EXPECT_EQ(v.IO().PreviewFont(), font);
  EXPECT_EQ(v.PreviewFont(), font);

  TIOParamsVals params;
  params.JPEG_Quality = 42;
  v.SetIOParams(params);
  EXPECT_EQ(v.IO().Params().JPEG_Quality, 42);
  v.IOParams().JPEG_Quality = 43;
  EXPECT_EQ(v.IO().Params().JPEG_Quality, 43);
  v.SetAborting(true);
  EXPECT_TRUE(v.IO().Aborting());
}

TEST(Facade, OneProgressHandlerHearsProcessingAndLoading) {
  TVantix v;
  ProgressLog log;
  v.SetOnProgress(TProgressEvent::Bind(&log, &ProgressLog::Report));
  v.LoadFromFile(vxtest::CorpusPath("png/basn2c08.png"));
  ASSERT_FALSE(v.Aborting()) << v.IO().LastError();
  ASSERT_FALSE(log.senders.empty());
  EXPECT_EQ(log.senders.back(), &v.IO());
  const size_t afterLoad = log.senders.size();
  v.Negative();
  ASSERT_GT(log.senders.size(), afterLoad);
  EXPECT_EQ(log.senders.back(), &v.Proc());
}

TEST(Facade, AbortingSetThroughTheFacadeStopsTheCodec) {
  TVantix v;
  int reports = 0;
  struct Stopper {
    TVantix* v;
    int* reports;
    void Report(TObject*, int) {
      ++*reports;
      v->SetAborting(true);
    }
  } stopper{&v, &reports};
  v.SetOnProgress(TProgressEvent::Bind(&stopper, &Stopper::Report));
  const std::string file = vxtest::CorpusPath("jpeg/testorig.jpg");
  v.LoadFromFile(file);
  EXPECT_TRUE(v.Aborting());
  EXPECT_EQ(reports, 1) << "the reader went on after the abort";

  // The next load starts afresh.
  v.SetOnProgress({});
  v.LoadFromFile(file);
  EXPECT_FALSE(v.Aborting());
  EXPECT_TRUE(vxtest::SameImage(v.Bitmap(), vxtest::DecodeFile(file)));
}

TEST(Facade, AssignCopiesParametersImageAndViewState) {
  TVantix source;
  source.LoadFromFile(vxtest::CorpusPath("gif/treescap.gif"));
  ASSERT_FALSE(source.Aborting());
  source.IOParams().JPEG_Quality = 31;
  source.SetBackground(0x00336699);
  source.SetDPI(150, 75);

  TVantix target;
  target.Assign(&source);
  EXPECT_TRUE(vxtest::SameImage(target.Bitmap(), source.Bitmap()));
  EXPECT_EQ(target.IOParams().JPEG_Quality, 31);
  EXPECT_EQ(target.IOParams().FileType, ioGIF);
  EXPECT_EQ(target.Background(), 0x00336699);
  EXPECT_EQ(target.DpiX(), 150);
  EXPECT_EQ(target.DpiY(), 75);
}

TEST(Facade, AssignIOParamsTakesFacadesAndComponentsOnly) {
  TVantix target;
  TVantixIO io;
  io.Params().PNG_Compression = 2;
  target.AssignIOParams(&io);
  EXPECT_EQ(target.IOParams().PNG_Compression, 2);

  TVantixView plain;  // neither: nothing changes
  target.IOParams().PNG_Compression = 7;
  target.AssignIOParams(&plain);
  target.AssignIOParams(nullptr);
  EXPECT_EQ(target.IOParams().PNG_Compression, 7);

  // A plain view assigned to the facade brings its image but no parameters.
  const TBitmap sample = vxtest::SampleBitmap();
  plain.Assign(&sample);
  target.Assign(&plain);
  EXPECT_TRUE(vxtest::SameImage(target.Bitmap(), sample));
  EXPECT_EQ(target.IOParams().PNG_Compression, 7);
}

// A component that reads one more kind of source: the facade must call it.
class CountingIO : public TVantixIO {
 public:
  int loads = 0, saves = 0, streams = 0, params = 0;
  void LoadFromFile(const std::string& name) override {
    ++loads;
    TVantixIO::LoadFromFile(name);
  }
  void SaveToFile(const std::string& name) override {
    ++saves;
    TVantixIO::SaveToFile(name);
  }
  void LoadFromStream(TStream& s) override {
    ++streams;
    TVantixIO::LoadFromStream(s);
  }
  void ParamsFromFile(const std::string& name) override {
    ++params;
    TVantixIO::ParamsFromFile(name);
  }
  void ParamsFromStream(TStream& s) override {
    ++params;
    TVantixIO::ParamsFromStream(s);
  }
};

class CountingFacade : public TVantix {
 public:
  CountingFacade() : TVantix(nullptr, std::make_unique<CountingIO>()) {}
  CountingIO& Counting() { return static_cast<CountingIO&>(IO()); }
};

TEST(Facade, OverriddenInputOutputOperationsAreCalled) {
  CountingFacade v;
  EXPECT_EQ(v.IO().AttachedVantix(), &v);
  const std::string png = vxtest::CorpusPath("png/basn2c08.png");
  v.LoadFromFile(png);
  v.SaveToFile(vxtest::TempDir() + "/counted.bmp");
  TMemoryStream s;
  s.LoadFromFile(png);
  s.SetPosition(0);
  v.LoadFromStream(s);
  s.SetPosition(0);
  v.ParamsFromStream(s);
  v.ParamsFromFile(png);
  EXPECT_EQ(v.Counting().loads, 1);
  EXPECT_EQ(v.Counting().saves, 1);
  EXPECT_EQ(v.Counting().streams, 1);
  EXPECT_EQ(v.Counting().params, 2);
  EXPECT_TRUE(vxtest::SameImage(v.Bitmap(), vxtest::DecodeFile(png)));
}

// The scanner parameters and the parameter dialog's event are reached through the
// component as soon as it has them; a component that has them already shows the way.
struct ScannerParams {
  int Resolution = 0;
};
class ScanningIO : public TVantixIO {
 public:
  ScannerParams& TWainParams() { return params; }
  TMethod<TObject*, TObject*> OnPreview;
  ScannerParams params;
};

TEST(Facade, ScannerParametersAndPreviewEventComeFromTheComponent) {
  struct Facade : TVantix {
    Facade() : TVantix(nullptr, std::make_unique<ScanningIO>()) {}
  } v;
  auto& io = static_cast<ScanningIO&>(v.IO());
  v.TWainParams<ScanningIO>().Resolution = 300;
  EXPECT_EQ(io.params.Resolution, 300);
  int calls = 0;
  v.SetOnIOPreview<ScanningIO>([&](TObject*, TObject*) { ++calls; });
  io.OnPreview(&v, nullptr);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(v.OnIOPreview<ScanningIO>().Assigned());
}

TEST(Facade, PointPasteLandsOnTheImagePixelUnderTheClientPoint) {
  // A 3 x 2 red patch on the clipboard.
  TBitmap patch;
  patch.SetPixelFormat(pf24bit);
  patch.SetSize(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      patch.ScanLine(y)[3 * x] = 0;
      patch.ScanLine(y)[3 * x + 1] = 0;
      patch.ScanLine(y)[3 * x + 2] = 255;
    }
  TVantixProc copier;
  copier.SetAttachedBitmap(&patch);

  for (const auto& [zoom, viewX, viewY] : {std::tuple{100, 0, 0}, {200, 7, 5}, {300, 20, 9}}) {
    SCOPED_TRACE(zoom);
    TVantix v;
    // After the first view exists: it brings the system clipboard in.
    copier.CopyToClipboard();
    v.SetBorderStyle(bsNone);
    v.resize(60, 50);
    const TBitmap sample = vxtest::SampleBitmap();
    v.Assign(&sample);
    v.SetZoom(zoom);
    v.SetViewXY(viewX, viewY);
    const int cx = 17, cy = 13;
    const int bx = v.XScr2Bmp(cx), by = v.YScr2Bmp(cy);
    v.PointPasteFromClip(cx, cy);

    TBitmap expected = sample;
    expected.Canvas().Draw(bx, by, patch);
    EXPECT_TRUE(vxtest::SameImage(v.Bitmap(), expected)) << "pasted at " << bx << "," << by;
  }
}

TEST(Facade, ComponentsAttachedToTheFacadeLetGoWhenItIsDestroyed) {
  auto v = std::make_unique<TVantix>();
  TVantixIO outside;
  outside.SetAttachedVantix(v.get());
  ASSERT_EQ(outside.Bitmap(), &v->Bitmap());
  v.reset();
  EXPECT_EQ(outside.Bitmap(), nullptr);
  EXPECT_EQ(outside.AttachedVantix(), nullptr);
}

}  // namespace
