#include "io/paramfields.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <functional>

namespace vx {

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool ParseInt(const std::string& s, int& out) {
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, out);
  return ec == std::errc() && p == end;
}

bool ParseBool(const std::string& s, bool& out) {
  if (EqualNoCase(s, "true") || s == "1" || EqualNoCase(s, "yes")) return out = true, true;
  if (EqualNoCase(s, "false") || s == "0" || EqualNoCase(s, "no")) return out = false, true;
  return false;
}

// "#rrggbb" or "r,g,b".
bool ParseRgb(const std::string& s, TRGB& out) {
  unsigned r = 0, g = 0, b = 0;
  char tail = 0;
  // sscanf's %x alone would also take signs and blanks ("#-1-1-1" as white).
  if (s.size() == 7 && s[0] == '#' &&
      std::all_of(s.begin() + 1, s.end(), [](unsigned char c) { return std::isxdigit(c); }) &&
      std::sscanf(s.c_str() + 1, "%2x%2x%2x%c", &r, &g, &b, &tail) == 3) {
  } else if (std::sscanf(s.c_str(), "%u,%u,%u%c", &r, &g, &b, &tail) != 3 || r > 255 || g > 255 ||
             b > 255) {
    return false;
  }
  out = TRGB{static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r)};
  return true;
}

std::string RgbText(const TRGB& c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.r, c.g, c.b);
  return buf;
}

struct Field {
  const char* name;
  std::function<std::string(const TIOParamsVals&)> get;
  std::function<bool(TIOParamsVals&, const std::string&)> set;
};

Field IntField(const char* name, int TIOParamsFields::*m) {
  return {name, [m](const TIOParamsVals& p) { return std::to_string(p.*m); },
          [m](TIOParamsVals& p, const std::string& v) { return ParseInt(v, p.*m); }};
}

Field BoolField(const char* name, bool TIOParamsFields::*m) {
  return {name, [m](const TIOParamsVals& p) { return std::string(p.*m ? "true" : "false"); },
          [m](TIOParamsVals& p, const std::string& v) { return ParseBool(v, p.*m); }};
}

Field StringField(const char* name, std::string TIOParamsFields::*m) {
  return {name, [m](const TIOParamsVals& p) { return p.*m; },
          [m](TIOParamsVals& p, const std::string& v) {
            p.*m = v;
            return true;
          }};
}

Field RgbField(const char* name, TRGB TIOParamsFields::*m) {
  return {name, [m](const TIOParamsVals& p) { return RgbText(p.*m); },
          [m](TIOParamsVals& p, const std::string& v) { return ParseRgb(v, p.*m); }};
}

// Enumerations accept their member names or the stored number.
template <class E>
Field EnumField(const char* name, E TIOParamsFields::*m, std::vector<const char*> members) {
  return {name,
          [m, members](const TIOParamsVals& p) {
            const auto i = static_cast<size_t>(p.*m);
            return i < members.size() ? std::string(members[i]) : std::to_string(i);
          },
          [m, members](TIOParamsVals& p, const std::string& v) {
            for (size_t i = 0; i < members.size(); ++i)
              if (EqualNoCase(v, members[i])) return p.*m = static_cast<E>(i), true;
            int n = 0;
            if (!ParseInt(v, n) || n < 0 || n >= static_cast<int>(members.size())) return false;
            p.*m = static_cast<E>(n);
            return true;
          }};
}

const std::vector<Field>& Fields() {
  using P = TIOParamsFields;
  static const std::vector<Field> fields = {
      IntField("BitsPerSample", &P::BitsPerSample),
      IntField("SamplesPerPixel", &P::SamplesPerPixel),
      IntField("Width", &P::Width),
      IntField("Height", &P::Height),
      IntField("DpiX", &P::DpiX),
      IntField("DpiY", &P::DpiY),
      IntField("FileType", &P::FileType),
      EnumField("TIFF_Compression", &P::TIFF_Compression,
                {"ioTIFF_UNCOMPRESSED", "ioTIFF_CCITT1D", "ioTIFF_G3FAX1D", "ioTIFF_G3FAX2D",
                 "ioTIFF_G4FAX", "ioTIFF_LZW", "ioTIFF_OLDJPEG", "ioTIFF_JPEG", "ioTIFF_PACKBITS",
                 "ioTIFF_DEFLATE"}),
      IntField("TIFF_ImageIndex", &P::TIFF_ImageIndex),
      EnumField("TIFF_PhotometInterpret", &P::TIFF_PhotometInterpret,
                {"ioTIFF_WHITEISZERO", "ioTIFF_BLACKISZERO", "ioTIFF_RGB", "ioTIFF_RGBPALETTE",
                 "ioTIFF_TRANSPMASK", "ioTIFF_CMYK", "ioTIFF_YCBCR", "ioTIFF_CIELAB"}),
      IntField("TIFF_PlanarConf", &P::TIFF_PlanarConf),
      IntField("TIFF_XPos", &P::TIFF_XPos),
      IntField("TIFF_YPos", &P::TIFF_YPos),
      StringField("TIFF_DocumentName", &P::TIFF_DocumentName),
      StringField("TIFF_ImageDescription", &P::TIFF_ImageDescription),
      StringField("TIFF_PageName", &P::TIFF_PageName),
      IntField("TIFF_PageNumber", &P::TIFF_PageNumber),
      IntField("TIFF_PageCount", &P::TIFF_PageCount),
      IntField("TIFF_Orientation", &P::TIFF_Orientation),
      RgbField("TIFF_Background", &P::TIFF_Background),
      StringField("GIF_Version", &P::GIF_Version),
      IntField("GIF_ImageIndex", &P::GIF_ImageIndex),
      IntField("GIF_XPos", &P::GIF_XPos),
      IntField("GIF_YPos", &P::GIF_YPos),
      IntField("GIF_DelayTime", &P::GIF_DelayTime),
      BoolField("GIF_FlagTranspColor", &P::GIF_FlagTranspColor),
      RgbField("GIF_TranspColor", &P::GIF_TranspColor),
      BoolField("GIF_Interlaced", &P::GIF_Interlaced),
      IntField("GIF_WinWidth", &P::GIF_WinWidth),
      IntField("GIF_WinHeight", &P::GIF_WinHeight),
      RgbField("GIF_Background", &P::GIF_Background),
      IntField("GIF_Ratio", &P::GIF_Ratio),
      EnumField("JPEG_ColorSpace", &P::JPEG_ColorSpace,
                {"ioJPEG_RGB", "ioJPEG_GRAYLEV", "ioJPEG_YCbCr", "ioJPEG_CMYK", "ioJPEG_YCbCrK"}),
      IntField("JPEG_Quality", &P::JPEG_Quality),
      EnumField("JPEG_DCTMethod", &P::JPEG_DCTMethod,
                {"ioJPEG_ISLOW", "ioJPEG_IFAST", "ioJPEG_FLOAT"}),
      BoolField("JPEG_OptimalHuffman", &P::JPEG_OptimalHuffman),
      IntField("JPEG_Smooth", &P::JPEG_Smooth),
      BoolField("JPEG_Progressive", &P::JPEG_Progressive),
      EnumField(
          "JPEG_Scale", &P::JPEG_Scale,
          {"ioJPEG_AUTOCALC", "ioJPEG_FULLSIZE", "ioJPEG_HALF", "ioJPEG_QUARTER", "ioJPEG_EIGHTH"}),
      IntField("PCX_Version", &P::PCX_Version),
      EnumField("PCX_Compression", &P::PCX_Compression, {"ioPCX_UNCOMPRESSED", "ioPCX_RLE"}),
      EnumField("BMP_Version", &P::BMP_Version,
                {"ioBMP_BM", "ioBMP_BM3", "ioBMP_BMOS2V1", "ioBMP_BMOS2V2"}),
      EnumField("BMP_Compression", &P::BMP_Compression, {"ioBMP_UNCOMPRESSED", "ioBMP_RLE"}),
      IntField("ICO_ImageIndex", &P::ICO_ImageIndex),
      IntField("CUR_ImageIndex", &P::CUR_ImageIndex),
      IntField("CUR_XHotSpot", &P::CUR_XHotSpot),
      IntField("CUR_YHotSpot", &P::CUR_YHotSpot),
      BoolField("PNG_Interlaced", &P::PNG_Interlaced),
      RgbField("PNG_Background", &P::PNG_Background),
      EnumField("PNG_Filter", &P::PNG_Filter,
                {"ioPNG_FILTER_NONE", "ioPNG_FILTER_SUB", "ioPNG_FILTER_PAETH"}),
      IntField("PNG_Compression", &P::PNG_Compression),
      StringField("FileName", &P::FileName),
      {"ColorMapCount", [](const TIOParamsVals& p) { return std::to_string(p.ColorMapCount); },
       [](TIOParamsVals&, const std::string&) { return false; }},
  };
  return fields;
}

}  // namespace

bool SetParamByName(TIOParamsVals& params, const std::string& name, const std::string& value,
                    std::string& error) {
  for (const auto& f : Fields()) {
    if (!EqualNoCase(f.name, name)) continue;
    if (f.set(params, value)) return true;
    error = "value \"" + value + "\" does not fit " + f.name;
    return false;
  }
  error = "no parameter named \"" + name + "\"";
  return false;
}

std::vector<TParamFieldValue> DescribeParams(const TIOParamsVals& params,
                                             const std::string& prefix) {
  std::vector<TParamFieldValue> out;
  for (const auto& f : Fields()) {
    const std::string n = f.name;
    if (prefix.empty() || n.compare(0, prefix.size(), prefix) == 0)
      out.push_back({n, f.get(params)});
  }
  return out;
}

}  // namespace vx
