#include "io/ioparams.h"

#include <algorithm>
#include <cctype>

#include "core/vxlists.h"
#include "io/fileformats.h"
#include "io/vantixio.h"
#include "platform/bitmap.h"
#include "platform/imagehost.h"
#include "platform/stream.h"

namespace vx {

namespace {

constexpr int32_t kStreamVersion = 2;

// Reads the stored items one by one. Once the stream runs short nothing more is
// assigned, so a truncated stream changes only the fields read before the cut.
class TFieldReader {
 public:
  explicit TFieldReader(TStream& s) : s_(s) {}
  bool ok() const { return ok_; }

  template <class T>
  void Int(T& field) {
    uint32_t v;
    if (ok_ && (ok_ = TryReadLE32(s_, v))) field = static_cast<T>(static_cast<int32_t>(v));
  }
  template <class T>
  void Byte(T& field) {
    uint8_t b;
    if (ok_ && (ok_ = s_.Read(&b, 1) == 1)) field = static_cast<T>(b);
  }
  void Bool(bool& field) {
    uint8_t b;
    if (ok_ && (ok_ = s_.Read(&b, 1) == 1)) field = b != 0;
  }
  void Rgb(TRGB& field) {
    uint8_t b[3];
    if (ok_ && (ok_ = s_.Read(b, 3) == 3)) field = TRGB{b[0], b[1], b[2]};
  }
  void Skip(int64_t n) {
    if (!ok_) return;
    uint8_t b[16];
    ok_ = n <= 16 && s_.Read(b, n) == n;
  }
  void String(std::string& field) {
    if (!ok_) return;
    try {
      std::string v;
      LoadStringFromStream(s_, v);
      field = std::move(v);
    } catch (...) {
      ok_ = false;
    }
  }
  void ColorMap(TIOParamsFields& p) {
    int32_t count = 0;
    Int(count);
    if (!ok_) return;
    std::vector<TRGB> map;
    if (count > 0) {
      // Never allocate more than the stream can still hold.
      const int64_t left = s_.Size() - s_.Position();
      if (int64_t{count} * 3 > left) {
        ok_ = false;
        return;
      }
      map.resize(static_cast<size_t>(count));
      ok_ = s_.Read(map.data(), int64_t{count} * 3) == int64_t{count} * 3;
      if (!ok_) return;
    }
    p.ColorMap = std::move(map);
    p.ColorMapCount = static_cast<int>(p.ColorMap.size());
  }

 private:
  TStream& s_;
  bool ok_ = true;
};

void PutInt(TStream& s, int32_t v) {
  WriteLE32(s, static_cast<uint32_t>(v));
}
void PutByte(TStream& s, int v) {
  WriteU8(s, static_cast<uint8_t>(v));
}
void PutRgb(TStream& s, const TRGB& c) {
  s.WriteBuffer(&c, 3);
}

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

std::string DetailSuffix(const TIOParamsFields& p) {
  switch (p.FileType) {
    case ioTIFF: {
      static const char* const kTiff[] = {
          " Uncompressed", " Huffman",  " Group 3 Fax", " Group 3 Fax 2D", " Group 4 Fax",
          " LZW",          " Jpeg v.5", " Jpeg",        " PackBits RLE",   " Deflate"};
      const auto i = static_cast<size_t>(p.TIFF_Compression);
      return i < std::size(kTiff) ? kTiff[i] : "";
    }
    case ioGIF:
      return p.GIF_Interlaced ? " Interlaced" : "";
    case ioJPEG: {
      switch (p.JPEG_ColorSpace) {
        case ioJPEG_GRAYLEV:
          return " Gray level";
        case ioJPEG_YCbCr:
          return " YCbCr";
        case ioJPEG_CMYK:
          return " CMYK";
        case ioJPEG_YCbCrK:
          return " YCbCrK";
        default:
          return "";
      }
    }
    case ioPCX:
      return p.PCX_Compression == ioPCX_UNCOMPRESSED ? " Uncompressed" : "";
    case ioBMP: {
      static const char* const kBmp[] = {" ver.1", " ver.3", " OS/2 v.1", " OS/2 v.2"};
      const auto i = static_cast<size_t>(p.BMP_Version);
      return i < std::size(kBmp) ? kBmp[i] : "";
    }
    case ioPNG:
      return p.PNG_Interlaced ? " Interlaced" : "";
    default:
      return "";
  }
}

}  // namespace

TIOParamsVals::TIOParamsVals(TVantixIO* owner) : owner_(owner) {
  SetDefaultParams();
}

TIOParamsVals::TIOParamsVals(const TIOParamsVals& other)
    : TObject(), TIOParamsFields(other), owner_(nullptr) {}

TIOParamsVals& TIOParamsVals::operator=(const TIOParamsVals& other) {
  Assign(other);
  return *this;
}

void TIOParamsVals::SetColorMap(std::vector<TRGB> map) {
  ColorMap = std::move(map);
  ColorMapCount = static_cast<int>(ColorMap.size());
}

void TIOParamsVals::FreeColorMap() {
  ColorMap.clear();
  ColorMapCount = 0;
}

void TIOParamsVals::SetDefaultParams() {
  const int width = Width, height = Height, dpiX = DpiX, dpiY = DpiY;
  static_cast<TIOParamsFields&>(*this) = TIOParamsFields{};
  // Size and resolution follow what the owner works on; without it they stay.
  Width = width;
  Height = height;
  DpiX = dpiX;
  DpiY = dpiY;
  if (owner_) {
    if (TBitmap* bmp = owner_->Bitmap()) {
      Width = bmp->Width();
      Height = bmp->Height();
    }
    if (IImageHost* view = owner_->AttachedVantix()) {
      DpiX = view->DpiX();
      DpiY = view->DpiY();
    }
  }
  GIF_LZWDecompress = DefGIF_LZWDECOMPFUNC;
  GIF_LZWCompress = DefGIF_LZWCOMPFUNC;
  TIFF_LZWDecompress = DefTIFF_LZWDECOMPFUNC;
  TIFF_LZWCompress = DefTIFF_LZWCOMPFUNC;
}

void TIOParamsVals::Assign(const TIOParamsVals& source) {
  if (&source == this) return;
  static_cast<TIOParamsFields&>(*this) = source;
  ColorMapCount = std::clamp(ColorMapCount, 0, static_cast<int>(ColorMap.size()));
  ColorMap.resize(static_cast<size_t>(ColorMapCount));
}

void TIOParamsVals::SaveToStream(TStream& s) const {
  const int count = std::clamp(ColorMapCount, 0, static_cast<int>(ColorMap.size()));
  PutInt(s, kStreamVersion);
  SaveStringToStream(s, FileName);
  PutInt(s, FileType);
  for (int v : {BitsPerSample, SamplesPerPixel, Width, Height, DpiX, DpiY}) PutInt(s, v);
  PutInt(s, count);
  if (count > 0) s.WriteBuffer(ColorMap.data(), int64_t{count} * 3);

  PutByte(s, TIFF_Compression);
  PutInt(s, TIFF_ImageIndex);
  PutByte(s, TIFF_PhotometInterpret);
  for (int v : {TIFF_PlanarConf, TIFF_XPos, TIFF_YPos}) PutInt(s, v);
  SaveStringToStream(s, TIFF_DocumentName);
  SaveStringToStream(s, TIFF_ImageDescription);
  SaveStringToStream(s, TIFF_PageName);
  PutInt(s, TIFF_PageNumber);
  PutInt(s, TIFF_PageCount);

  SaveStringToStream(s, GIF_Version);
  for (int v : {GIF_ImageIndex, GIF_XPos, GIF_YPos, GIF_DelayTime}) PutInt(s, v);
  PutByte(s, GIF_FlagTranspColor);
  PutRgb(s, GIF_TranspColor);
  PutByte(s, GIF_Interlaced);
  PutInt(s, GIF_WinWidth);
  PutInt(s, GIF_WinHeight);
  PutRgb(s, GIF_Background);
  PutInt(s, GIF_Ratio);

  PutByte(s, JPEG_ColorSpace);
  PutInt(s, JPEG_Quality);
  PutByte(s, JPEG_DCTMethod);
  PutByte(s, JPEG_OptimalHuffman);
  PutInt(s, JPEG_Smooth);
  PutByte(s, JPEG_Progressive);
  PutByte(s, JPEG_Scale);

  PutInt(s, PCX_Version);
  PutByte(s, PCX_Compression);
  PutByte(s, BMP_Version);
  PutByte(s, BMP_Compression);

  for (int v : {ICO_ImageIndex, CUR_ImageIndex, CUR_XHotSpot, CUR_YHotSpot}) PutInt(s, v);

  PutByte(s, PNG_Interlaced);
  PutRgb(s, PNG_Background);
  PutByte(s, PNG_Filter);
  PutInt(s, PNG_Compression);
}

void TIOParamsVals::LoadFromStream(TStream& s) {
  int32_t version = 0;
  {
    uint32_t v;
    if (!TryReadLE32(s, v)) return;
    version = static_cast<int32_t>(v);
  }
  if (version > kStreamVersion || version < 0) return;
  TFieldReader r(s);
  r.String(FileName);
  if (version >= 2)
    r.Int(FileType);
  else
    r.Byte(FileType);
  r.Int(BitsPerSample);
  r.Int(SamplesPerPixel);
  r.Int(Width);
  r.Int(Height);
  r.Int(DpiX);
  r.Int(DpiY);
  r.ColorMap(*this);

  r.Byte(TIFF_Compression);
  r.Int(TIFF_ImageIndex);
  r.Byte(TIFF_PhotometInterpret);
  r.Int(TIFF_PlanarConf);
  r.Int(TIFF_XPos);
  r.Int(TIFF_YPos);
  r.String(TIFF_DocumentName);
  r.String(TIFF_ImageDescription);
  r.String(TIFF_PageName);
  r.Int(TIFF_PageNumber);
  r.Int(TIFF_PageCount);

  r.String(GIF_Version);
  r.Int(GIF_ImageIndex);
  r.Int(GIF_XPos);
  r.Int(GIF_YPos);
  r.Int(GIF_DelayTime);
  r.Bool(GIF_FlagTranspColor);
  r.Rgb(GIF_TranspColor);
  r.Bool(GIF_Interlaced);
  r.Int(GIF_WinWidth);
  r.Int(GIF_WinHeight);
  r.Rgb(GIF_Background);
  r.Int(GIF_Ratio);

  r.Byte(JPEG_ColorSpace);
  r.Int(JPEG_Quality);
  r.Byte(JPEG_DCTMethod);
  r.Bool(JPEG_OptimalHuffman);
  r.Int(JPEG_Smooth);
  r.Bool(JPEG_Progressive);
  if (version >= 1) r.Byte(JPEG_Scale);

  r.Int(PCX_Version);
  r.Byte(PCX_Compression);
  r.Byte(BMP_Version);
  r.Byte(BMP_Compression);

  if (version == 0) {
    r.Skip(16);
    if (r.ok()) ICO_ImageIndex = CUR_ImageIndex = CUR_XHotSpot = CUR_YHotSpot = 0;
  } else {
    r.Int(ICO_ImageIndex);
    r.Int(CUR_ImageIndex);
    r.Int(CUR_XHotSpot);
    r.Int(CUR_YHotSpot);
  }

  r.Bool(PNG_Interlaced);
  r.Rgb(PNG_Background);
  r.Byte(PNG_Filter);
  r.Int(PNG_Compression);
}

void TIOParamsVals::SaveToFile(const std::string& fileName) const {
  TFileStream f(fileName, fmCreate);
  SaveToStream(f);
}

void TIOParamsVals::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead);
  LoadFromStream(f);
}

std::string TIOParamsVals::GetFileTypeStr() const {
  const TVXFileFormatInfo* info = VXFileFormatGetInfo(FileType);
  if (!info) return {};
  return info->FullName + " (" + Upper(VXFileFormatGetExt(FileType, 0)) + ")" + DetailSuffix(*this);
}

}  // namespace vx
