// The parameter set: defaults, copies, the stored stream format and the type texts.
#include <gtest/gtest.h>

#include "core/vxdefs.h"
#include "io/fileformats.h"
#include "io/ioparams.h"
#include "io/paramfields.h"
#include "platform/exceptions.h"
#include "platform/stream.h"

using namespace vx;

namespace {

// Every stored field set away from its default.
TIOParamsVals NonDefault() {
  TIOParamsVals p;
  p.BitsPerSample = 4;
  p.SamplesPerPixel = 1;
  p.Width = 321;
  p.Height = 123;
  p.DpiX = 300;
  p.DpiY = 150;
  p.FileType = ioPNG;
  p.TIFF_Compression = ioTIFF_G4FAX;
  p.TIFF_ImageIndex = 3;
  p.TIFF_PhotometInterpret = ioTIFF_CMYK;
  p.TIFF_PlanarConf = 2;
  p.TIFF_XPos = 7;
  p.TIFF_YPos = 8;
  p.TIFF_DocumentName = "doc";
  p.TIFF_ImageDescription = "a description \xc3\xa9";
  p.TIFF_PageName = "page";
  p.TIFF_PageNumber = 2;
  p.TIFF_PageCount = 9;
  p.GIF_Version = "GIF87a";
  p.GIF_ImageIndex = 4;
  p.GIF_XPos = 5;
  p.GIF_YPos = 6;
  p.GIF_DelayTime = 25;
  p.GIF_FlagTranspColor = true;
  p.GIF_TranspColor = TRGB{1, 2, 3};
  p.GIF_Interlaced = true;
  p.GIF_WinWidth = 640;
  p.GIF_WinHeight = 480;
  p.GIF_Background = TRGB{4, 5, 6};
  p.GIF_Ratio = 49;
  p.JPEG_ColorSpace = ioJPEG_CMYK;
  p.JPEG_Quality = 91;
  p.JPEG_DCTMethod = ioJPEG_FLOAT;
  p.JPEG_OptimalHuffman = true;
  p.JPEG_Smooth = 12;
  p.JPEG_Progressive = true;
  p.JPEG_Scale = ioJPEG_QUARTER;
  p.PCX_Version = 3;
  p.PCX_Compression = ioPCX_UNCOMPRESSED;
  p.BMP_Version = ioBMP_BMOS2V2;
  p.BMP_Compression = ioBMP_RLE;
  p.ICO_ImageIndex = 1;
  p.CUR_ImageIndex = 2;
  p.CUR_XHotSpot = 3;
  p.CUR_YHotSpot = 4;
  p.PNG_Interlaced = true;
  p.PNG_Background = TRGB{7, 8, 9};
  p.PNG_Filter = ioPNG_FILTER_PAETH;
  p.PNG_Compression = 9;
  p.FileName = "/some/where/x.png";
  p.SetColorMap({TRGB{1, 1, 1}, TRGB{2, 2, 2}, TRGB{200, 100, 50}});
  return p;
}

void ExpectSameStored(const TIOParamsVals& a, const TIOParamsVals& b) {
  TMemoryStream sa, sb;
  a.SaveToStream(sa);
  b.SaveToStream(sb);
  EXPECT_EQ(sa.Data(), sb.Data());
}

}  // namespace

TEST(IOParams, Defaults) {
  TIOParamsVals p;
  EXPECT_EQ(p.BitsPerSample, 8);
  EXPECT_EQ(p.SamplesPerPixel, 3);
  EXPECT_EQ(p.GIF_Version, "GIF89a");
  EXPECT_EQ(p.JPEG_Quality, 50);
  EXPECT_EQ(p.JPEG_ColorSpace, ioJPEG_YCbCr);
  EXPECT_EQ(p.JPEG_Scale, ioJPEG_FULLSIZE);
  EXPECT_EQ(p.PCX_Version, 5);
  EXPECT_EQ(p.PCX_Compression, ioPCX_RLE);
  EXPECT_EQ(p.BMP_Version, ioBMP_BM3);
  EXPECT_EQ(p.PNG_Compression, 5);
  EXPECT_EQ(p.TIFF_PlanarConf, 1);
  EXPECT_EQ(p.TIFF_PhotometInterpret, ioTIFF_RGB);
  EXPECT_EQ(p.ColorMapCount, 0);
  // The LZW routines come from the hooks, which hold the built-in coders.
  EXPECT_EQ(p.GIF_LZWDecompress, DefGIF_LZWDECOMPFUNC);
  EXPECT_NE(p.TIFF_LZWCompress, nullptr);
}

TEST(IOParams, SetDefaultParamsTakesCurrentHooks) {
  const auto saved = DefGIF_LZWDECOMPFUNC;
  DefGIF_LZWDECOMPFUNC = nullptr;
  TIOParamsVals p;
  EXPECT_EQ(p.GIF_LZWDecompress, nullptr);
  DefGIF_LZWDECOMPFUNC = saved;
  p.SetDefaultParams();
  EXPECT_EQ(p.GIF_LZWDecompress, saved);
}

TEST(IOParams, StreamRoundTripKeepsEveryFieldAndEndsAtTheEnd) {
  const TIOParamsVals a = NonDefault();
  TMemoryStream s;
  a.SaveToStream(s);
  s.SetPosition(0);
  TIOParamsVals b;
  b.LoadFromStream(s);
  EXPECT_EQ(s.Position(), s.Size());
  ExpectSameStored(a, b);
  EXPECT_EQ(b.ColorMapCount, 3);
  EXPECT_EQ(b.ColorMap[2], (TRGB{200, 100, 50}));
  EXPECT_EQ(b.TIFF_ImageDescription, a.TIFF_ImageDescription);
  EXPECT_EQ(b.JPEG_Scale, ioJPEG_QUARTER);
}

TEST(IOParams, StreamLayoutStartsAsStored) {
  TIOParamsVals p;
  p.FileName = "ab";
  p.FileType = ioGIF;
  TMemoryStream s;
  p.SaveToStream(s);
  const std::vector<uint8_t> head(s.Data().begin(), s.Data().begin() + 14);
  EXPECT_EQ(head, (std::vector<uint8_t>{2, 0, 0, 0, 2, 0, 0, 0, 'a', 'b', 2, 0, 0, 0}));
  // version, name, type, 6 ints, count 0, then the TIFF block starts with one byte.
  EXPECT_EQ(s.Data()[14 + 24 + 4], ioTIFF_UNCOMPRESSED);
}

TEST(IOParams, NewerVersionChangesNothing) {
  TMemoryStream s;
  NonDefault().SaveToStream(s);
  s.Data()[0] = 3;
  s.SetPosition(0);
  TIOParamsVals p;
  TIOParamsVals fresh;
  p.LoadFromStream(s);
  ExpectSameStored(p, fresh);
}

TEST(IOParams, VersionZeroAndOneLayouts) {
  // Build the older layouts from a version-2 stream: 1-byte file type; version 0
  // has no JPEG_Scale and 16 icon bytes that are ignored.
  const TIOParamsVals a = NonDefault();
  TMemoryStream v2;
  a.SaveToStream(v2);
  const auto& d = v2.Data();
  const size_t nameEnd = 4 + 4 + a.FileName.size();
  for (int version : {0, 1}) {
    std::vector<uint8_t> out = {static_cast<uint8_t>(version), 0, 0, 0};
    out.insert(out.end(), d.begin() + 4, d.begin() + static_cast<long>(nameEnd));
    out.push_back(static_cast<uint8_t>(a.FileType));
    // Find the JPEG scale byte: it is 12 + 16 + 9 bytes before the end.
    const size_t tailStart = d.size() - 9;      // PNG block
    const size_t iconStart = tailStart - 16;    // icon/cursor ints
    const size_t scalePos = iconStart - 7 - 1;  // PCX/BMP block is 7 bytes
    out.insert(out.end(), d.begin() + static_cast<long>(nameEnd + 4),
               d.begin() + static_cast<long>(scalePos));
    if (version >= 1) out.push_back(d[scalePos]);
    out.insert(out.end(), d.begin() + static_cast<long>(scalePos + 1), d.end());
    TMemoryStream s(out);
    TIOParamsVals b;
    b.JPEG_Scale = ioJPEG_HALF;
    b.LoadFromStream(s);
    EXPECT_EQ(s.Position(), s.Size()) << version;
    EXPECT_EQ(b.FileType, ioPNG);
    EXPECT_EQ(b.PCX_Version, 3);
    EXPECT_EQ(b.PNG_Compression, 9);
    EXPECT_EQ(b.JPEG_Scale, version == 0 ? ioJPEG_HALF : ioJPEG_QUARTER);
    EXPECT_EQ(b.ICO_ImageIndex, version == 0 ? 0 : 1);
    EXPECT_EQ(b.CUR_YHotSpot, version == 0 ? 0 : 4);
  }
}

TEST(IOParams, TruncatedStreamChangesOnlyWhatWasRead) {
  TMemoryStream full;
  NonDefault().SaveToStream(full);
  // Cut inside the GIF block: the TIFF fields arrive, the JPEG ones do not.
  std::vector<uint8_t> cut(full.Data().begin(), full.Data().end() - 60);
  TMemoryStream s(cut);
  TIOParamsVals p;
  p.LoadFromStream(s);
  EXPECT_EQ(p.TIFF_PageCount, 9);
  EXPECT_EQ(p.PNG_Compression, 5);
  EXPECT_EQ(p.JPEG_Quality, 50);
  // A palette count larger than the stream holds allocates nothing.
  TMemoryStream bad;
  TIOParamsVals q;
  q.SaveToStream(bad);
  bad.Data()[4 + 4 + 4 + 24] = 0xFF;
  bad.Data()[4 + 4 + 4 + 24 + 3] = 0x7F;
  bad.SetPosition(0);
  TIOParamsVals r;
  r.LoadFromStream(bad);
  EXPECT_EQ(r.ColorMapCount, 0);
}

TEST(IOParams, AssignCopiesDeeplyAndFreesPalette) {
  TIOParamsVals a = NonDefault();
  TIOParamsVals b;
  b.Assign(a);
  ExpectSameStored(a, b);
  a.ColorMap[0] = TRGB{9, 9, 9};
  EXPECT_EQ(b.ColorMap[0], (TRGB{1, 1, 1}));
  TIOParamsVals empty;
  b.Assign(empty);
  EXPECT_EQ(b.ColorMapCount, 0);
  EXPECT_TRUE(b.ColorMap.empty());
}

TEST(IOParams, FileRoundTripAndOpenErrors) {
  const std::string name = testing::TempDir() + "/params.bin";
  NonDefault().SaveToFile(name);
  TIOParamsVals p;
  p.LoadFromFile(name);
  ExpectSameStored(p, NonDefault());
  EXPECT_THROW(p.LoadFromFile("/no/such/params.bin"), EFOpenError);
}

TEST(IOParams, FileTypeStrings) {
  const struct {
    int type;
    void (*set)(TIOParamsVals&);
    const char* want;
  } cases[] = {
      {ioUnknown, [](TIOParamsVals&) {}, ""},
      {ioGIF, [](TIOParamsVals& p) { p.GIF_Interlaced = true; },
       "CompuServe Bitmap (GIF) Interlaced"},
      {ioGIF, [](TIOParamsVals&) {}, "CompuServe Bitmap (GIF)"},
      {ioTIFF, [](TIOParamsVals& p) { p.TIFF_Compression = ioTIFF_G3FAX2D; },
       "TIFF Bitmap (TIF) Group 3 Fax 2D"},
      {ioTIFF, [](TIOParamsVals& p) { p.TIFF_Compression = ioTIFF_PACKBITS; },
       "TIFF Bitmap (TIF) PackBits RLE"},
      {ioTIFF, [](TIOParamsVals& p) { p.TIFF_Compression = ioTIFF_DEFLATE; },
       "TIFF Bitmap (TIF) Deflate"},
      {ioJPEG, [](TIOParamsVals& p) { p.JPEG_ColorSpace = ioJPEG_RGB; }, "JPEG Bitmap (JPG)"},
      {ioJPEG, [](TIOParamsVals& p) { p.JPEG_ColorSpace = ioJPEG_GRAYLEV; },
       "JPEG Bitmap (JPG) Gray level"},
      {ioPCX, [](TIOParamsVals& p) { p.PCX_Compression = ioPCX_UNCOMPRESSED; },
       "PaintBrush (PCX) Uncompressed"},
      {ioPCX, [](TIOParamsVals&) {}, "PaintBrush (PCX)"},
      {ioBMP, [](TIOParamsVals& p) { p.BMP_Version = ioBMP_BMOS2V1; },
       "Windows Bitmap (BMP) OS/2 v.1"},
      {ioBMP, [](TIOParamsVals&) {}, "Windows Bitmap (BMP) ver.3"},
      {ioPNG, [](TIOParamsVals& p) { p.PNG_Interlaced = true; },
       "Portable Network Graphics (PNG) Interlaced"},
      {ioICO, [](TIOParamsVals&) {}, "Windows Icon (ICO)"},
      {ioEMF, [](TIOParamsVals&) {}, "Enhanced Windows Metafile (EMF)"},
      {77, [](TIOParamsVals&) {}, ""},
  };
  for (const auto& c : cases) {
    TIOParamsVals p;
    p.FileType = c.type;
    c.set(p);
    EXPECT_EQ(p.GetFileTypeStr(), c.want) << c.type;
  }
}

TEST(IOParams, ColoursByNameTakeOnlyWellFormedValues) {
  TIOParamsVals p;
  std::string error;
  ASSERT_TRUE(SetParamByName(p, "gif_transpcolor", "#ff8001", error));
  EXPECT_EQ(p.GIF_TranspColor, CreateRGB(255, 128, 1));
  ASSERT_TRUE(SetParamByName(p, "PNG_Background", "10,20,30", error));
  EXPECT_EQ(p.PNG_Background, CreateRGB(10, 20, 30));
  for (const char* bad : {"#-1-1-1", "# f f f", "#+f+f+f", "#ff80", "#ff80zz", "1,2,256", "1,2"}) {
    EXPECT_FALSE(SetParamByName(p, "GIF_TranspColor", bad, error)) << bad;
    EXPECT_EQ(p.GIF_TranspColor, CreateRGB(255, 128, 1)) << bad;
  }
}
