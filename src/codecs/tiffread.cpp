// TIFF reading: the IFD chain, page parameters and the pixels of one page, in strips
// or tiles, contiguous or planar, through every compression we decode.
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "codecs/lzw/tifflzw.h"
#include "codecs/tifccitt.h"
#include "codecs/tiffcommon.h"
#include "codecs/tiffilt.h"
#include "codecs/tiffjpeg.h"
#include "core/arith.h"
#include "core/vxutils.h"
#include "platform/exceptions.h"
#include "platform/screen.h"

namespace vx {

namespace {

using tiff::ByteOrder;
using tiff::Entry;
using tiff::Source;

// Widest image side we make a bitmap for (keeps every row length an int).
constexpr uint32_t kMaxSide = 1u << 20;
// A page whose bitmap and decoded rows both stay under this size is read whatever its
// data; a larger one only when its compressed data could expand to the decoded rows.
constexpr int64_t kFreeBitmapBytes = int64_t{32} << 20;
// The pixel limit counts pixels; the decoded samples may be up to this many times more,
// as RGBA and CMYK pages have, and no more: extra samples are not shown, so they must not
// multiply the memory a page can take.
constexpr uint64_t kSamplesPerLimitPixel = 4;

enum class Kind { None, Rgb8, Rgb16, Rgb555, Palette, Grey, Grey16, Bilevel, Cmyk, Lab };
// Colour samples premultiplied by alpha (associated) or not.
enum class Alpha { None, Associated, Unassociated };

// The decoded directory of the page being read.
struct Page {
  uint32_t width = 0, height = 0;
  uint32_t spp = 1;
  int bps = 1;
  uint32_t rowsPerStrip = 0;
  int64_t tileWidth = -1, tileLength = -1;
  uint16_t photometric = 2;
  uint16_t planar = 1;
  uint16_t compression = 1;
  uint32_t sampleFormat = 1;
  std::vector<uint32_t> offsets, byteCounts;
  bool tiled = false;
  bool bpsMismatch = false;
  bool badArrays = false;
  std::vector<TRGB> colorMap;
  uint32_t resolutionUnit = 2;
  double xRes = 0, yRes = 0, xPos = 0, yPos = 0;
  uint32_t predictor = 1;
  uint32_t t4Options = 0;
  uint32_t fillOrder = 1;
  std::string documentName, imageDescription, pageName, software;
  uint32_t pageNumber = 0, pageCount = 0;
  uint32_t orientation = 1;
  // What each sample past the colour ones holds (0 unspecified, 1 associated alpha,
  // 2 unassociated alpha); empty when the page declares none.
  std::vector<uint32_t> extraSamples;
  std::vector<uint8_t> jpegTables;

  // Samples of the colour model; the rest are extra samples.
  uint32_t ColourSamples() const {
    return extraSamples.size() < spp ? spp - static_cast<uint32_t>(extraSamples.size()) : spp;
  }
  // The alpha sample: the first extra sample, when it is declared alpha.
  Alpha AlphaKind() const {
    if (extraSamples.empty() || extraSamples.size() >= spp) return Alpha::None;
    switch (extraSamples[0]) {
      case 1:
        return Alpha::Associated;
      case 2:
        return Alpha::Unassociated;
      default:
        return Alpha::None;
    }
  }
};

class Directory {
 public:
  Directory(Source& src, const ByteOrder& bo, std::vector<Entry> entries)
      : src_(src), bo_(bo), entries_(std::move(entries)) {}

  const Entry* Find(uint16_t tag) const {
    for (const Entry& e : entries_)
      if (e.tag == tag) return &e;
    return nullptr;
  }
  uint32_t Single(uint16_t tag, uint32_t def) const {
    const Entry* e = Find(tag);
    std::vector<uint32_t> v;
    if (!e || e->count == 0 ||
        !tiff::ReadInts(src_, bo_, *e, v, std::numeric_limits<uint32_t>::max()))
      return def;
    return v[0];
  }
  // False when the tag is present but its values cannot be read.
  bool Array(uint16_t tag, std::vector<uint32_t>& out, uint32_t maxCount) const {
    out.clear();
    const Entry* e = Find(tag);
    if (!e) return true;
    return tiff::ReadInts(src_, bo_, *e, out, maxCount);
  }
  double Rational(uint16_t tag) const {
    const Entry* e = Find(tag);
    if (!e || e->count == 0) return 0;
    if (e->type == tiff::kRational || e->type == tiff::kSRational) {
      uint8_t b[8];
      if (!src_.ReadAt(bo_.U32(e->value), b, 8)) return 0;
      uint32_t num = bo_.U32(b), den = bo_.U32(b + 4);
      if (e->type == tiff::kSRational) {
        const auto sn = static_cast<int32_t>(num), sd = static_cast<int32_t>(den);
        return static_cast<double>(sn) / (sd == 0 ? 1 : sd);
      }
      return static_cast<double>(num) / (den == 0 ? 1 : den);
    }
    return Single(tag, 0);
  }
  // The bytes of a BYTE or UNDEFINED entry; empty when absent or outside the file.
  std::vector<uint8_t> Bytes(uint16_t tag) const {
    const Entry* e = Find(tag);
    std::vector<uint8_t> data;
    if (!e || e->count == 0 || (e->type != tiff::kByte && e->type != tiff::kUndefined)) return data;
    if (e->count <= 4)
      data.assign(e->value, e->value + e->count);
    else if (!src_.ReadVec(bo_.U32(e->value), e->count, data))
      data.clear();
    return data;
  }
  // The text up to its first zero byte (the stored terminator is not part of it).
  std::string Ascii(uint16_t tag) const {
    const Entry* e = Find(tag);
    if (!e || e->count == 0 || tiff::TypeSize(e->type) != 1) return {};
    std::vector<uint8_t> data;
    if (e->count <= 4) {
      data.assign(e->value, e->value + e->count);
    } else if (!src_.ReadVec(bo_.U32(e->value), e->count, data)) {
      return {};
    }
    const auto end = std::find(data.begin(), data.end(), uint8_t{0});
    return std::string(data.begin(), end);
  }

 private:
  Source& src_;
  const ByteOrder& bo_;
  std::vector<Entry> entries_;
};

void DecodePage(const Directory& d, Source& src, Page& p) {
  p.width = d.Single(tiff::kImageWidth, 0);
  p.height = d.Single(tiff::kImageLength, 0);
  p.spp = d.Single(tiff::kSamplesPerPixel, 1);
  std::vector<uint32_t> bps;
  if (!d.Array(tiff::kBitsPerSample, bps, 0xFFFF)) p.bpsMismatch = true;
  if (bps.empty()) {
    p.bps = 1;
  } else {
    p.bps = static_cast<int>(std::min<uint32_t>(bps[0], 0x7FFF));
    for (uint32_t v : bps)
      if (v != bps[0]) p.bpsMismatch = true;
  }
  p.rowsPerStrip = d.Single(tiff::kRowsPerStrip, 0xFFFFFFFFu);
  if (p.rowsPerStrip == 0xFFFFFFFFu || p.rowsPerStrip == 0 || p.rowsPerStrip > p.height)
    p.rowsPerStrip = p.height;
  if (d.Find(tiff::kTileWidth)) p.tileWidth = d.Single(tiff::kTileWidth, 0);
  if (d.Find(tiff::kTileLength)) p.tileLength = d.Single(tiff::kTileLength, 0);
  p.tiled = p.tileWidth > 0 || p.tileLength > 0;
  p.photometric = static_cast<uint16_t>(d.Single(tiff::kPhotometric, 2));
  p.planar = static_cast<uint16_t>(d.Single(tiff::kPlanarConfig, 1));
  p.compression = static_cast<uint16_t>(d.Single(tiff::kCompression, 1));
  p.sampleFormat = d.Single(tiff::kSampleFormat, 1);
  // Each offset takes at least a byte of the file; a longer array cannot be real.
  const auto maxBlocks = static_cast<uint32_t>(std::min<int64_t>(src.Size(), 0xFFFFFFFF));
  const bool tileArrays = p.tiled && d.Find(tiff::kTileOffsets);
  if (!d.Array(tileArrays ? tiff::kTileOffsets : tiff::kStripOffsets, p.offsets, maxBlocks) ||
      !d.Array(tileArrays ? tiff::kTileByteCounts : tiff::kStripByteCounts, p.byteCounts,
               maxBlocks))
    p.badArrays = true;
  p.resolutionUnit = d.Single(tiff::kResolutionUnit, 2);
  p.xRes = d.Rational(tiff::kXResolution);
  p.yRes = d.Rational(tiff::kYResolution);
  p.xPos = d.Rational(tiff::kXPosition);
  p.yPos = d.Rational(tiff::kYPosition);
  p.predictor = d.Single(tiff::kPredictor, 1);
  p.t4Options = d.Single(tiff::kT4Options, 0);
  p.fillOrder = d.Single(tiff::kFillOrder, 1);
  p.documentName = d.Ascii(tiff::kDocumentName);
  p.imageDescription = d.Ascii(tiff::kImageDescription);
  p.pageName = d.Ascii(tiff::kPageName);
  p.software = d.Ascii(tiff::kSoftware);
  p.orientation = d.Single(tiff::kOrientation, 1);
  if (!d.Array(tiff::kExtraSamples, p.extraSamples, 0xFFFF)) p.extraSamples.clear();
  if (p.compression == 7) p.jpegTables = d.Bytes(tiff::kJPEGTables);
  std::vector<uint32_t> pn;
  if (d.Array(tiff::kPageNumber, pn, 2) && pn.size() == 2) {
    p.pageNumber = pn[0];
    p.pageCount = pn[1];
  }
  if (p.bps >= 1 && p.bps <= 16) {
    const uint32_t n = 1u << p.bps;
    std::vector<uint32_t> cm;
    if (d.Array(tiff::kColorMap, cm, 3 * n) && cm.size() == 3 * n) {
      p.colorMap.resize(n);
      for (uint32_t i = 0; i < n; ++i)
        p.colorMap[i] =
            TRGB{static_cast<uint8_t>(cm[i + 2 * n] >> 8), static_cast<uint8_t>(cm[i + n] >> 8),
                 static_cast<uint8_t>(cm[i] >> 8)};
    }
  }
}

void FillParams(const Page& p, TIOParamsVals& params) {
  params.BitsPerSample = p.bps;
  params.SamplesPerPixel = static_cast<int>(std::min<uint32_t>(p.spp, 0xFFFF));
  params.Width = static_cast<int>(std::min<uint32_t>(p.width, std::numeric_limits<int>::max()));
  params.Height = static_cast<int>(std::min<uint32_t>(p.height, std::numeric_limits<int>::max()));
  const double factor = p.resolutionUnit == 3 ? 2.54 : 1;
  auto toInt = [](double v) {
    if (!(v == v)) return 0;  // NaN
    return static_cast<int>(std::clamp<double>(v, -2147483647.0, 2147483647.0));
  };
  params.DpiX = toInt(static_cast<double>(Trunc(std::clamp(p.xRes * factor, -2e9, 2e9))));
  params.DpiY = toInt(static_cast<double>(Trunc(std::clamp(p.yRes * factor, -2e9, 2e9))));
  // A signed rational can carry a negative resolution; no resolution is usable below 1.
  if (params.DpiX <= 0) params.DpiX = gSystemDPIX;
  if (params.DpiY <= 0) params.DpiY = gSystemDPIY;
  switch (p.compression) {
    case 1:
      params.TIFF_Compression = ioTIFF_UNCOMPRESSED;
      break;
    case 2:
      params.TIFF_Compression = ioTIFF_CCITT1D;
      break;
    case 3:
      params.TIFF_Compression = (p.t4Options & 1) ? ioTIFF_G3FAX2D : ioTIFF_G3FAX1D;
      break;
    case 4:
      params.TIFF_Compression = ioTIFF_G4FAX;
      break;
    case 5:
      params.TIFF_Compression = ioTIFF_LZW;
      break;
    case 6:
      params.TIFF_Compression = ioTIFF_OLDJPEG;
      break;
    case 7:
      params.TIFF_Compression = ioTIFF_JPEG;
      break;
    case 8:
    case 32946:
      params.TIFF_Compression = ioTIFF_DEFLATE;
      break;
    case 32773:
      params.TIFF_Compression = ioTIFF_PACKBITS;
      break;
    default:
      break;
  }
  if (p.photometric <= 6)
    params.TIFF_PhotometInterpret = static_cast<TIOTIFFPhotometInterpret>(p.photometric);
  else if (p.photometric == 8)
    params.TIFF_PhotometInterpret = ioTIFF_CIELAB;
  params.TIFF_PlanarConf = p.planar;
  params.TIFF_XPos = toInt(static_cast<double>(Trunc(std::clamp(p.xPos * factor, -2e9, 2e9))));
  params.TIFF_YPos = toInt(static_cast<double>(Trunc(std::clamp(p.yPos * factor, -2e9, 2e9))));
  params.TIFF_DocumentName = p.documentName;
  params.TIFF_ImageDescription = p.imageDescription;
  params.TIFF_PageName = p.pageName;
  params.TIFF_PageNumber = static_cast<int>(p.pageNumber & 0x7FFFFFFF);
  params.TIFF_PageCount = static_cast<int>(p.pageCount & 0x7FFFFFFF);
  params.FreeColorMap();
  if (!p.colorMap.empty()) params.SetColorMap(p.colorMap);
  // Only the eight meanings the tag defines; anything else is taken as the default.
  params.TIFF_Orientation =
      p.orientation >= 1 && p.orientation <= 8 ? static_cast<int>(p.orientation) : 1;
}

// Which row conversion the page needs; Kind::None when we do not convert it.
Kind ConversionOf(const Page& p) {
  const uint32_t P = p.photometric, S = p.spp;
  const int B = p.bps;
  // Grey and palette pages with extra samples: whole-byte samples only.
  const bool oneColour = S == 1 || (p.ColourSamples() == 1 && (B == 8 || B == 16));
  // libjpeg turns YCbCr into RGB; other YCbCr pages we do not convert.
  if (P == 6 && p.compression == 7 && S == 3 && B == 8 && p.planar == 1) return Kind::Rgb8;
  if (P == 2 && S >= 3 && B == 8) return Kind::Rgb8;
  if (P == 2 && S >= 3 && B == 16) return Kind::Rgb16;
  if (P == 2 && S == 1 && B == 16) return Kind::Rgb555;
  if (P == 3 && oneColour && B >= 1 && B <= 8)
    return p.colorMap.empty() ? Kind::None : Kind::Palette;
  if (P <= 1 && oneColour && (B == 8 || B == 4 || B == 2)) return Kind::Grey;
  if (P <= 1 && oneColour && B == 16) return Kind::Grey16;
  if (P <= 1 && S == 1 && B == 1) return Kind::Bilevel;
  if (P == 5 && S == 4 && B == 8) return Kind::Cmyk;
  if (P == 8 && S == 3 && B == 8) return Kind::Lab;
  return Kind::None;
}

bool IsCCITT(uint16_t c) {
  return c == 2 || c == 3 || c == 4;
}

bool SupportedCompression(uint16_t c) {
  return c == 1 || IsCCITT(c) || c == 5 || c == 7 || c == 8 || c == 32946 || c == 32773;
}

// The most decoded bytes `data` bytes of one compression can give, in blocks whose
// rows are rowBytes long. Each bound is the format's real maximum, so that no page our
// decoders can read is refused:
// - none: 1 to 1.
// - PackBits: a two-byte run (count -127, value) gives 128 bytes: 64 to 1.
// - LZW: an entry is one byte longer than the entry it extends, so the longest, at code
//   4095, holds 4095 - 258 + 2 = 3839 bytes, and it takes a 12-bit code: 3839 bytes per 12
//   bits (about 2559 per byte). Our decoder also completes, with zeros, the row a strip's
//   data ends in: one row of each block on top.
// - Deflate: the longest match is 258 bytes and takes at least a 1-bit length code and a
//   1-bit distance code: 1032 to 1.
// - CCITT: a row costs at least one bit in two-dimensional coding (one vertical-0 code
//   for an all-white row under an all-white one, whatever its width), at least a 4-bit
//   white run code in Group 3 one-dimensional coding, and a whole byte in modified
//   Huffman, whose rows are byte-aligned; a row is rowBytes.
// - JPEG: at least a bit for each 8 x 8 block of each component (Huffman coding; see
//   kJpegMostBytesPerByte).
long double MostDecodedBytes(const Page& p, long double data, uint64_t blocks, size_t rowBytes) {
  const auto row = static_cast<long double>(rowBytes);
  switch (p.compression) {
    case 1:
      return data;
    case 32773:
      return data * 64;
    case 5:
      return data * 8 * 3839 / 12 + static_cast<long double>(blocks) * row;
    case 8:
    case 32946:
      return data * 1032;
    case 2:
      return data * row;
    case 3:
      return data * 8 / ((p.t4Options & 1) ? 1 : 4) * row;
    case 4:
      return data * 8 * row;
    case 7:
      return data * tiff::kJpegMostBytesPerByte;
    default:
      return 0;
  }
}

// Calls the LZW decoder's closing call whatever way a block ends.
struct LzwState {
  TTIFFLZWDecompFunc fn = nullptr;
  void* state = nullptr;
  ~LzwState() {
    if (fn) fn(nullptr, 0, 0, state);
  }
};

// Decodes one strip or tile of `rows` rows of rowBytes bytes each into out (which holds
// rows * rowBytes bytes). Returns the number of complete rows produced.
int DecodeBlock(const Page& p, TTIFFLZWDecompFunc lzw, const uint8_t* in, int64_t inSize,
                int blockWidth, int rows, size_t rowBytes, uint8_t* out, std::string& why) {
  switch (p.compression) {
    case 7: {
      tiff::TJpegBlock b;
      b.tables = p.jpegTables.data();
      b.tablesSize = p.jpegTables.size();
      b.data = in;
      b.dataSize = static_cast<size_t>(inSize);
      b.ycbcrToRgb = p.photometric == 6;
      b.components = static_cast<int>(rowBytes / static_cast<size_t>(blockWidth));
      b.width = static_cast<uint32_t>(blockWidth);
      b.maxHeight = p.tiled ? static_cast<uint32_t>(p.tileLength) : p.rowsPerStrip;
      b.rows = static_cast<uint32_t>(rows);
      b.rowBytes = rowBytes;
      b.out = out;
      return tiff::DecodeJpegBlock(b, why);
    }
    case 1: {
      const int64_t whole = std::min<int64_t>(inSize / static_cast<int64_t>(rowBytes), rows);
      // A strip of no bytes may come with no buffer at all.
      if (whole > 0) std::memcpy(out, in, static_cast<size_t>(whole) * rowBytes);
      return static_cast<int>(std::max<int64_t>(whole, 0));
    }
    case 32773: {
      int64_t pos = 0;
      for (int r = 0; r < rows; ++r) {
        uint8_t* row = out + r * rowBytes;
        size_t got = 0;
        while (got < rowBytes) {
          if (pos >= inSize) return r;
          const auto n = static_cast<int8_t>(in[pos++]);
          if (n >= 0) {
            const size_t len = static_cast<size_t>(n) + 1;
            if (pos + static_cast<int64_t>(len) > inSize) return r;
            const size_t take = std::min(len, rowBytes - got);
            std::memcpy(row + got, in + pos, take);
            got += take;
            pos += static_cast<int64_t>(len);
          } else if (n != -128) {
            if (pos >= inSize) return r;
            const size_t len = static_cast<size_t>(1 - n);
            const size_t take = std::min(len, rowBytes - got);
            std::memset(row + got, in[pos++], take);
            got += take;
          }
        }
      }
      return rows;
    }
    case 5: {
      if (lzw == TIFFLZWDecompress) {
        // Our own decoder takes the whole block in one pass; rows come out as the row
        // calls would give them, the row the data ends in completed with zeros.
        bool corrupt = false;
        const size_t got =
            TIFFLZWDecodeStrip(in, inSize, out, rowBytes * static_cast<size_t>(rows), corrupt);
        size_t whole = got / rowBytes;
        if (!corrupt && got % rowBytes != 0) {
          std::memset(out + got, 0, rowBytes - got % rowBytes);
          ++whole;
        }
        return static_cast<int>(whole);
      }
      LzwState st;
      st.fn = lzw;
      for (int r = 0; r < rows; ++r) {
        const uint8_t* row = lzw(in, inSize, static_cast<int>(rowBytes), st.state);
        if (!row) return r;
        std::memcpy(out + r * rowBytes, row, rowBytes);
      }
      return rows;
    }
    case 8:
    case 32946: {
      z_stream z{};
      if (inflateInit(&z) != Z_OK) return 0;
      const size_t total = rowBytes * static_cast<size_t>(rows);
      z.next_in = const_cast<Bytef*>(in);
      z.avail_in = static_cast<uInt>(std::min<int64_t>(inSize, std::numeric_limits<uInt>::max()));
      z.next_out = out;
      z.avail_out = static_cast<uInt>(std::min<size_t>(total, std::numeric_limits<uInt>::max()));
      const uInt avail = z.avail_out;
      inflate(&z, Z_FINISH);
      const size_t produced = avail - z.avail_out;
      inflateEnd(&z);
      return static_cast<int>(produced / rowBytes);
    }
    case 2: {
      int64_t pos = 0;
      for (int r = 0; r < rows; ++r) {
        if (pos > inSize) return r;
        const int used = CCITTHuffmanGetLine(out + r * rowBytes, in + pos, inSize - pos, blockWidth,
                                             static_cast<int>(p.fillOrder));
        if (used < 0) return r;
        pos += used;
      }
      return rows;
    }
    case 3:
    case 4: {
      std::vector<uint8_t> ref(rowBytes, 0xFF);
      // The previous row's colour changes, kept as runs so rows coded against zero-length
      // runs decode as their encoder meant.
      std::vector<int32_t> refChanges;
      int64_t bit = 0;
      const bool twoD = p.compression == 4 || (p.t4Options & 1);
      for (int r = 0; r < rows; ++r) {
        uint8_t* row = out + r * rowBytes;
        bit = twoD ? CCITT3_2D_GetLine(row, in, inSize, blockWidth, ref.data(), bit,
                                       static_cast<int>(p.fillOrder), &refChanges)
                   : CCITTHuffmanGetLine(row, in, inSize, blockWidth, bit,
                                         static_cast<int>(p.fillOrder));
        if (bit < 0) return r;
      }
      return rows;
    }
    default:
      return 0;
  }
}

// Undoes horizontal differencing on one decoded row of a block.
// 8-bit samples, one to four to a pixel: the running sums stay in registers rather
// than going through memory at every byte.
void Accumulate8(uint8_t* row, size_t n, uint32_t samples) {
  uint32_t a = row[0], b = samples > 1 ? row[1] : 0, c = samples > 2 ? row[2] : 0,
           d = samples > 3 ? row[3] : 0;
  switch (samples) {
    case 1:
      for (size_t i = 1; i < n; ++i) row[i] = static_cast<uint8_t>(a += row[i]);
      break;
    case 2:
      for (size_t i = 2; i + 2 <= n; i += 2) {
        row[i] = static_cast<uint8_t>(a += row[i]);
        row[i + 1] = static_cast<uint8_t>(b += row[i + 1]);
      }
      break;
    case 3:
      for (size_t i = 3; i + 3 <= n; i += 3) {
        row[i] = static_cast<uint8_t>(a += row[i]);
        row[i + 1] = static_cast<uint8_t>(b += row[i + 1]);
        row[i + 2] = static_cast<uint8_t>(c += row[i + 2]);
      }
      break;
    default:
      for (size_t i = 4; i + 4 <= n; i += 4) {
        row[i] = static_cast<uint8_t>(a += row[i]);
        row[i + 1] = static_cast<uint8_t>(b += row[i + 1]);
        row[i + 2] = static_cast<uint8_t>(c += row[i + 2]);
        row[i + 3] = static_cast<uint8_t>(d += row[i + 3]);
      }
      break;
  }
}

void UndoPredictor(uint8_t* row, size_t rowBytes, int bps, uint32_t samples, int blockWidth,
                   bool big) {
  if (bps == 8) {
    const size_t n = std::min(static_cast<size_t>(blockWidth) * samples, rowBytes);
    if (n <= samples) return;
    if (samples <= 4) {
      Accumulate8(row, n, samples);
      return;
    }
    for (size_t i = samples; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - samples]);
  } else if (bps == 16) {
    const size_t n = static_cast<size_t>(blockWidth) * samples;
    ByteOrder bo{big};
    for (size_t i = samples; i < n && 2 * i + 1 < rowBytes; ++i) {
      const uint32_t v = bo.U16(row + 2 * i) + bo.U16(row + 2 * (i - samples));
      bo.Put16(row + 2 * i, v & 0xFFFF);
    }
  }
}

// Unpacks samples of fewer than 8 bits to one byte each, most significant bits first.
void Unpack(const uint8_t* src, uint8_t* dst, size_t count, int bps) {
  uint64_t bitPos = 0;
  const uint32_t mask = (1u << bps) - 1;
  for (size_t i = 0; i < count; ++i, bitPos += static_cast<uint64_t>(bps)) {
    const size_t byte = bitPos >> 3;
    const int shift = 16 - bps - static_cast<int>(bitPos & 7);
    const uint32_t word =
        (static_cast<uint32_t>(src[byte]) << 8) | ((shift < 8) ? src[byte + 1] : 0u);
    dst[i] = static_cast<uint8_t>((word >> shift) & mask);
  }
}

uint8_t LabChannel(double c) {
  if (c <= 0) return 0;
  if (c >= 1) return 255;
  return static_cast<uint8_t>(TruncI(std::sqrt(c) * 256));
}

// Alpha over the background, per channel: c + bg * (1 - a) for premultiplied colour,
// c * a + bg * (1 - a) otherwise, rounded; a runs from 0 to max.
class Compositor {
 public:
  Compositor(Alpha kind, uint32_t max, const TRGB& bg)
      : kind_(kind), max_(max), bg_{bg.b, bg.g, bg.r} {}
  void Apply(uint8_t* bgr, uint32_t a) const {
    if (a >= max_) return;
    const uint32_t rest = max_ - a;
    for (int k = 0; k < 3; ++k) {
      const uint32_t under = bg_[k] * rest;
      const uint32_t v = kind_ == Alpha::Associated ? bgr[k] + (under + max_ / 2) / max_
                                                    : (bgr[k] * a + under + max_ / 2) / max_;
      bgr[k] = static_cast<uint8_t>(std::min<uint32_t>(v, 255));
    }
  }

 private:
  Alpha kind_;
  uint32_t max_;
  uint32_t bg_[3];
};

class RowConverter {
 public:
  RowConverter(const Page& p, Kind kind, bool big, const TRGB& background)
      : p_(p),
        kind_(kind),
        big_(big),
        alpha_(p.AlphaKind()),
        compositor_(alpha_, p.bps == 16 ? 65535u : 255u, background) {
    const uint32_t w = p.width;
    if ((kind == Kind::Palette || kind == Kind::Grey) && p.bps < 8) unpacked_.resize(w + 2);
    invert_ = kind == Kind::Bilevel &&
              ((p.photometric == 0 && (p.compression == 1 || p.compression > 4)) ||
               (p.photometric == 1 && IsCCITT(p.compression)));
    lookAtMolli_ = p.software.compare(0, 15, "Look@Molli v1.1") == 0 && p.software.size() >= 15;
    // Extra samples follow the colour model's own (as libtiff also reads them, whatever
    // the ExtraSamples count says); alpha is composited where samples are whole bytes.
    alphaIndex_ = kind == Kind::Rgb8 || kind == Kind::Rgb16 ? 3 : 1;
    if ((kind != Kind::Rgb8 && kind != Kind::Rgb16 && kind != Kind::Grey && kind != Kind::Grey16 &&
         kind != Kind::Palette) ||
        p.bps < 8 || alphaIndex_ >= p.spp)
      alpha_ = Alpha::None;
  }

  // src: one contiguous image row (all samples interleaved), padded so that reading the
  // byte after the last sample is safe.
  void Convert(const uint8_t* src, uint8_t* dst) {
    ConvertColour(src, dst);
    if (alpha_ != Alpha::None) Composite(src, dst);
  }

 private:
  void ConvertColour(const uint8_t* src, uint8_t* dst) {
    const uint32_t w = p_.width;
    const uint32_t S = p_.spp;
    const ByteOrder bo{big_};
    switch (kind_) {
      case Kind::Rgb8:
        for (uint32_t x = 0; x < w; ++x, src += S, dst += 3) {
          dst[0] = src[2];
          dst[1] = src[1];
          dst[2] = src[0];
        }
        break;
      case Kind::Rgb16: {
        const int hi = big_ ? 0 : 1;
        for (uint32_t x = 0; x < w; ++x, src += 2 * S, dst += 3) {
          dst[0] = src[4 + hi];
          dst[1] = src[2 + hi];
          dst[2] = src[hi];
        }
        break;
      }
      case Kind::Rgb555:
        for (uint32_t x = 0; x < w; ++x, src += 2, dst += 3) {
          const uint32_t v = bo.U16(src);
          dst[2] = static_cast<uint8_t>(((v >> 10) & 31) * 8);
          dst[1] = static_cast<uint8_t>(((v >> 5) & 31) * 8);
          dst[0] = static_cast<uint8_t>((v & 31) * 8);
        }
        break;
      case Kind::Palette: {
        // Below 8 bits there is one sample a pixel (extra samples need whole bytes).
        const uint8_t* idx = src;
        size_t step = S;
        if (p_.bps < 8) {
          Unpack(src, unpacked_.data(), w, p_.bps);
          idx = unpacked_.data();
          step = 1;
        }
        for (uint32_t x = 0; x < w; ++x, idx += step, dst += 3) {
          const TRGB& c = p_.colorMap[*idx];
          dst[0] = c.b;
          dst[1] = c.g;
          dst[2] = c.r;
        }
        break;
      }
      case Kind::Grey: {
        const uint8_t* g = src;
        size_t step = S;
        if (p_.bps < 8) {
          Unpack(src, unpacked_.data(), w, p_.bps);
          // Four bits keep their place in the byte; two bits span the whole range.
          const uint32_t scale = p_.bps == 4 ? 16 : 85;
          for (uint32_t x = 0; x < w; ++x)
            unpacked_[x] = static_cast<uint8_t>(unpacked_[x] * scale);
          g = unpacked_.data();
          step = 1;
        }
        const bool white = p_.photometric == 0;
        for (uint32_t x = 0; x < w; ++x, g += step, dst += 3) {
          const uint8_t v = white ? static_cast<uint8_t>(255 - *g) : *g;
          dst[0] = dst[1] = dst[2] = v;
        }
        break;
      }
      case Kind::Grey16: {
        // Signed samples are taken as their bit patterns, as libtiff shows them.
        const int shift = lookAtMolli_ ? 4 : 8;
        for (uint32_t x = 0; x < w; ++x, src += 2 * S, dst += 3) {
          uint32_t v = bo.U16(src);
          if (p_.photometric == 0) v = 65535 - v;
          const auto g = static_cast<uint8_t>(std::min<uint32_t>(v >> shift, 255));
          dst[0] = dst[1] = dst[2] = g;
        }
        break;
      }
      case Kind::Bilevel: {
        const size_t n = (w + 7) / 8;
        if (invert_)
          for (size_t i = 0; i < n; ++i) dst[i] = static_cast<uint8_t>(~src[i]);
        else
          std::memcpy(dst, src, n);
        break;
      }
      case Kind::Cmyk:
        for (uint32_t x = 0; x < w; ++x, src += 4, dst += 3) {
          const int k = 255 - src[3];
          dst[2] = static_cast<uint8_t>(DivI((255 - src[0]) * k, 255));
          dst[1] = static_cast<uint8_t>(DivI((255 - src[1]) * k, 255));
          dst[0] = static_cast<uint8_t>(DivI((255 - src[2]) * k, 255));
        }
        break;
      case Kind::Lab:
        for (uint32_t x = 0; x < w; ++x, src += 3, dst += 3) {
          const double L = src[0] / 255.0 * 100;
          const double a = (static_cast<int8_t>(src[1]) + 127) / 255.0 * 200 - 100;
          const double b = (static_cast<int8_t>(src[2]) + 127) / 255.0 * 200 - 100;
          const double fy = (L + 16) / 116;
          const double fx = fy + a / 500;
          const double fz = fy - b / 200;
          double X, Y, Z;
          if (L >= 7.9996) {
            X = fx * fx * fx;
            Y = fy * fy * fy;
            Z = fz * fz * fz;
          } else {
            Y = L / 903.3;
            X = Y + a / 3893.5;
            Z = Y - b / 1557.4;
          }
          dst[2] = LabChannel(2.69 * X - 1.276 * Y - 0.414 * Z);
          dst[1] = LabChannel(-1.022 * X + 1.978 * Y + 0.044 * Z);
          dst[0] = LabChannel(0.061 * X - 0.224 * Y + 1.163 * Z);
        }
        break;
      case Kind::None:
        break;
    }
  }

  void Composite(const uint8_t* src, uint8_t* dst) const {
    const uint32_t w = p_.width;
    const size_t bytes = static_cast<size_t>(p_.bps / 8);
    const size_t stride = p_.spp * bytes;
    const uint8_t* a = src + alphaIndex_ * bytes;
    const ByteOrder bo{big_};
    for (uint32_t x = 0; x < w; ++x, a += stride, dst += 3)
      compositor_.Apply(dst, bytes == 2 ? bo.U16(a) : *a);
  }

  const Page& p_;
  Kind kind_;
  bool big_;
  Alpha alpha_;
  uint32_t alphaIndex_ = 1;  // the alpha sample's place in a pixel
  Compositor compositor_;
  bool invert_ = false;
  bool lookAtMolli_ = false;
  std::vector<uint8_t> unpacked_;
};

class PageReader {
 public:
  PageReader(Source& src, const ByteOrder& bo, const Page& p, TTIFFLZWDecompFunc lzw, TBitmap& bmp,
             const TRGB& background, TProgressRec& progress)
      : src_(src),
        bo_(bo),
        p_(p),
        lzw_(lzw),
        bmp_(bmp),
        background_(background),
        progress_(progress) {}

  // Why the last block failed, when its decoder said (libjpeg does).
  const std::string& BlockError() const { return blockError_; }

  // Works out the block layout and checks that the page's data lies inside the file
  // and could fill the bitmap. False, with progress failed, when it cannot.
  bool Prepare() {
    const uint32_t w = p_.width, h = p_.height;
    planes_ = (p_.planar == 2 && p_.spp > 1) ? p_.spp : 1;
    samplesPerBlockPixel_ = planes_ > 1 ? 1 : p_.spp;
    if (planes_ > 1 && p_.bps != 8 && p_.bps != 16)
      return Refuse("TIFF: separate planes of " + std::to_string(p_.bps) +
                    "-bit samples are not supported");
    blockW_ = p_.tiled ? static_cast<uint32_t>(p_.tileWidth) : w;
    blockH_ = p_.tiled ? static_cast<uint32_t>(p_.tileLength) : p_.rowsPerStrip;
    if (blockW_ == 0 || blockH_ == 0 || blockW_ > kMaxSide || blockH_ > kMaxSide)
      return Refuse("TIFF: tile size out of range");
    const uint64_t blockRowBits = uint64_t{blockW_} * samplesPerBlockPixel_ * p_.bps;
    if (p_.tiled && blockRowBits % 8 != 0) return Refuse("TIFF: tile rows end inside a byte");
    blockRowBytes_ = static_cast<size_t>((blockRowBits + 7) / 8);
    across_ = (w + blockW_ - 1) / blockW_;
    down_ = (h + blockH_ - 1) / blockH_;
    // In floating point first: with many planes the product can exceed 64 bits.
    if (static_cast<long double>(across_) * down_ * planes_ >
        static_cast<long double>(p_.offsets.size()))
      return Refuse("TIFF: fewer strip or tile offsets than the page has strips or tiles");
    // libjpeg may hold a whole block's coefficients (progressive data): a JPEG tile may
    // not reach far beyond the page it tiles.
    const long double blockBytes = static_cast<long double>(blockRowBytes_) * blockH_;
    if (p_.compression == 7 && blockBytes > kFreeBitmapBytes &&
        blockBytes > static_cast<long double>(blockRowBytes_) * h * across_)
      return Refuse("TIFF: JPEG tiles of " + std::to_string(blockW_) + " x " +
                    std::to_string(blockH_) + " reach far beyond the page");
    const uint64_t blocks = uint64_t{across_} * down_ * planes_;
    return CheckData(blocks);
  }

  // Fills the bitmap (already sized). False on bad data (the rows converted so far stay).
  bool Run(Kind kind) {
    const uint32_t w = p_.width, h = p_.height;
    // One band of image rows per block row, each plane full width.
    planeRowBytes_ = static_cast<size_t>(
        (uint64_t{across_} * blockW_ * samplesPerBlockPixel_ * static_cast<uint64_t>(p_.bps) + 7) /
        8);
    imageRowBytes_ = static_cast<size_t>((uint64_t{w} * p_.spp * p_.bps + 7) / 8) + 8;
    RowConverter conv(p_, kind, bo_.big, background_);
    std::vector<uint8_t> band;
    std::vector<uint8_t> row(std::max(imageRowBytes_, planeRowBytes_ * planes_ + 8), 0);
    for (uint32_t by = 0; by < down_; ++by) {
      const uint32_t y0 = by * blockH_;
      const uint32_t bandRows = std::min(blockH_, h - y0);
      // Every row converted below is written in full by the decoders first, so the band
      // is only cleared when it grows. Eight bytes on top let a row be read one byte
      // past its end.
      band.resize(planeRowBytes_ * planes_ * bandRows + 8);
      uint32_t goodRows = bandRows;
      for (uint32_t plane = 0; plane < planes_; ++plane)
        for (uint32_t bx = 0; bx < across_; ++bx) {
          const uint64_t index = (uint64_t{plane} * down_ + by) * across_ + bx;
          const int got = ReadBlock(index, band, plane, bx, bandRows);
          goodRows = std::min<uint32_t>(goodRows, static_cast<uint32_t>(std::max(got, 0)));
        }
      for (uint32_t r = 0; r < goodRows; ++r) {
        const uint8_t* src = AssembleRow(band, r, row);
        conv.Convert(src, bmp_.ScanLine(static_cast<int>(y0 + r)));
        progress_.Report(PercentOf(int64_t{y0} + r + 1, h));
      }
      if (goodRows < bandRows) return false;
      if (progress_.Aborted()) return true;
    }
    return true;
  }

 private:
  bool Refuse(const std::string& why) {
    progress_.Fail(why);
    return false;
  }

  // The page's compressed data must lie inside the file and be able to expand to the
  // rows we are about to decode.
  bool CheckData(uint64_t blocks) {
    long double total = 0;
    for (uint64_t i = 0; i < blocks; ++i) {
      int64_t off, len;
      if (!BlockRange(i, off, len)) return Refuse("TIFF: strip or tile data lies outside the file");
      total += static_cast<long double>(len);
    }
    const int bits = p_.bps == 1 && p_.spp == 1 && p_.photometric <= 1 ? 1 : 24;
    const long double bitmapBytes =
        static_cast<long double>(BitmapRowLen(static_cast<int>(p_.width), bits)) * p_.height;
    // Every row of every block column and plane is decoded, the columns' full width.
    const long double decodedBytes =
        static_cast<long double>(blockRowBytes_) * p_.height * across_ * planes_;
    if (bitmapBytes <= kFreeBitmapBytes && decodedBytes <= kFreeBitmapBytes) return true;
    if (decodedBytes <= MostDecodedBytes(p_, total, blocks, blockRowBytes_)) return true;
    return Refuse("TIFF: " + std::to_string(p_.width) + " x " + std::to_string(p_.height) +
                  " page decodes to " + std::to_string(static_cast<uint64_t>(decodedBytes)) +
                  " bytes, more than its " + std::to_string(static_cast<uint64_t>(total)) +
                  " bytes of data can hold");
  }

  bool BlockRange(uint64_t index, int64_t& off, int64_t& len) {
    off = p_.offsets[index];
    const uint32_t count = index < p_.byteCounts.size() ? p_.byteCounts[index] : 0;
    // No byte count: the block runs to the end of the data.
    len = count ? count : src_.Size() - off;
    return src_.Contains(static_cast<uint64_t>(off),
                         static_cast<uint64_t>(std::max<int64_t>(len, 0))) &&
           len >= 0;
  }

  // Decodes block `index` and places its rows in the band: the band's rows, also of a
  // tile that reaches below the page. Returns the complete rows.
  int ReadBlock(uint64_t index, std::vector<uint8_t>& band, uint32_t plane, uint32_t bx,
                uint32_t rows) {
    int64_t off, len;
    if (!BlockRange(index, off, len)) return 0;
    if (!src_.ReadVec(static_cast<uint64_t>(off), static_cast<uint64_t>(len), data_)) return 0;
    // The CCITT decoders take the fill order themselves; JPEG data is bytes, which
    // libtiff never reverses either.
    if (p_.fillOrder == 2 && !IsCCITT(p_.compression) && p_.compression != 7) {
      const uint8_t* rev = ReverseBitsTable();
      for (uint8_t& b : data_) b = rev[b];
    }
    const bool direct = !p_.tiled;
    uint8_t* out;
    if (direct && planes_ == 1) {
      out = band.data();
    } else {
      block_.assign(blockRowBytes_ * rows, 0);
      out = block_.data();
    }
    const int got = DecodeBlock(p_, lzw_, data_.data(), static_cast<int64_t>(data_.size()),
                                static_cast<int>(blockW_), static_cast<int>(rows), blockRowBytes_,
                                out, blockError_);
    // A predictor does not apply to JPEG data (libtiff's JPEG codec has none).
    if (p_.predictor == 2 && p_.compression != 7)
      for (int r = 0; r < got; ++r)
        UndoPredictor(out + r * blockRowBytes_, blockRowBytes_, p_.bps, samplesPerBlockPixel_,
                      static_cast<int>(blockW_), bo_.big);
    if (out != band.data()) {
      const size_t xByte = static_cast<size_t>(bx) * blockRowBytes_;
      for (int r = 0; r < got; ++r)
        std::memcpy(band.data() + (r * planes_ + plane) * planeRowBytes_ + xByte,
                    out + r * blockRowBytes_, blockRowBytes_);
    }
    return got;
  }

  // The contiguous samples of band row r: a pointer into the band, or the planes
  // interleaved into `row`.
  const uint8_t* AssembleRow(const std::vector<uint8_t>& band, uint32_t r,
                             std::vector<uint8_t>& row) {
    if (planes_ == 1) return band.data() + r * planeRowBytes_;
    const size_t bytesPerSample = static_cast<size_t>(p_.bps / 8);
    const uint32_t w = p_.width;
    for (uint32_t plane = 0; plane < planes_; ++plane) {
      const uint8_t* src = band.data() + (r * planes_ + plane) * planeRowBytes_;
      uint8_t* dst = row.data() + plane * bytesPerSample;
      const size_t stride = planes_ * bytesPerSample;
      for (uint32_t x = 0; x < w; ++x, src += bytesPerSample, dst += stride)
        std::memcpy(dst, src, bytesPerSample);
    }
    return row.data();
  }

  Source& src_;
  const ByteOrder& bo_;
  const Page& p_;
  TTIFFLZWDecompFunc lzw_;
  TBitmap& bmp_;
  TRGB background_;
  TProgressRec& progress_;
  std::string blockError_;
  uint32_t planes_ = 1, samplesPerBlockPixel_ = 1;
  uint32_t blockW_ = 0, blockH_ = 0, across_ = 0, down_ = 0;
  size_t blockRowBytes_ = 0, planeRowBytes_ = 0, imageRowBytes_ = 0;
  std::vector<uint8_t> data_, block_;
};

// Why a page cannot be shown; empty when it can. Pages we cannot convert are refused
// rather than shown as a blank image.
std::string Unsupported(const Page& page, Kind kind) {
  const bool predictorOk = page.predictor == 1 || page.compression == 7 ||
                           (page.predictor == 2 && (page.bps == 8 || page.bps == 16));
  if (kind == Kind::None)
    return "TIFF: " + std::to_string(page.spp) + " samples of " + std::to_string(page.bps) +
           " bits under photometric " + std::to_string(page.photometric) + " are not supported";
  if (!SupportedCompression(page.compression))
    return "TIFF: compression " + std::to_string(page.compression) + " is not supported";
  // Signed samples only for 16-bit grey, which shows them as libtiff does.
  if (page.sampleFormat != 1 && !(page.sampleFormat == 2 && kind == Kind::Grey16))
    return "TIFF: sample format " + std::to_string(page.sampleFormat) + " of " +
           std::to_string(page.bps) + "-bit samples is not supported";
  if (page.compression == 7 && page.bps != 8)
    return "TIFF: JPEG data of " + std::to_string(page.bps) + "-bit samples is not supported";
  if (!predictorOk)
    return "TIFF: predictor " + std::to_string(page.predictor) + " is not supported";
  if (IsCCITT(page.compression) && kind != Kind::Bilevel)
    return "TIFF: CCITT compression on a page that is not bilevel";
  if (page.badArrays) return "TIFF: the strip or tile offsets cannot be read";
  if (page.tiled && (page.tileWidth <= 0 || page.tileLength <= 0))
    return "TIFF: tile width or length missing";
  if (page.fillOrder != 1 && page.fillOrder != 2)
    return "TIFF: fill order " + std::to_string(page.fillOrder) + " is not defined";
  if (page.offsets.empty()) return "TIFF: the page has no strip or tile offsets";
  return {};
}

// The pixel limit, for the pixels and for the decoded samples, before anything scales
// with the page.
bool PageSizeAllowed(const Page& page, TProgressRec& progress) {
  if (!ImageSizeAllowed(page.width, page.height, progress)) return false;
  const uint64_t limit = MaxImagePixels();
  // In floating point: sides of 2^20 and 2^32 samples overflow 64 bits.
  const long double samples =
      static_cast<long double>(page.width) * page.height * std::max<uint32_t>(page.spp, 1);
  if (limit == 0 || samples <= static_cast<long double>(limit) * kSamplesPerLimitPixel) return true;
  progress.Fail("TIFF: " + std::to_string(page.width) + " x " + std::to_string(page.height) +
                " pixels of " + std::to_string(page.spp) +
                " samples each exceed the pixel limit of " + std::to_string(limit) + " at " +
                std::to_string(kSamplesPerLimitPixel) +
                " samples a pixel (vx::SetMaxImagePixels raises it)");
  return false;
}

void ReadPage(TBitmap* bitmap, TStream& stream, int& numImages, TIOParamsVals* params,
              TProgressRec& progress, bool preview) {
  Source src(stream);
  uint8_t header[8];
  if (!src.ReadAt(0, header, 8) ||
      !((header[0] == 'I' && header[1] == 'I') || (header[0] == 'M' && header[1] == 'M'))) {
    progress.Fail("TIFF: no TIFF byte order mark");
    return;
  }
  const ByteOrder bo{header[0] == 'M'};
  // BigTIFF keeps 64-bit offsets in a different layout; we do not read it.
  if (bo.U16(header + 2) == 43) {
    progress.Fail("TIFF: BigTIFF is not supported");
    return;
  }
  const int wanted = params ? params->TIFF_ImageIndex : -1;
  std::vector<Entry> entries;
  bool found = false;
  // Walk the chain; an offset met before (a loop to any earlier IFD) ends it, and so
  // does a directory that does not lie inside the data.
  std::unordered_set<uint32_t> seen;
  uint32_t off = bo.U32(header + 4);
  int count = 0;
  while (off != 0 && seen.insert(off).second) {
    uint32_t next = 0;
    const bool want = count == wanted;
    if (!tiff::ReadIfd(src, bo, off, want ? &entries : nullptr, next)) break;
    if (want) found = true;
    ++count;
    if (count == std::numeric_limits<int>::max()) break;
    off = next;
  }
  numImages = count;
  if (count == 0) {
    progress.Fail("TIFF: no image directory lies inside the file");
    return;
  }
  // A page index past the end only counts the pages: callers learn the count this way.
  if (!params || !found) return;

  const Directory dir(src, bo, std::move(entries));
  Page page;
  DecodePage(dir, src, page);
  if (page.bpsMismatch) {
    progress.Fail("TIFF: samples of different bit depths are not supported");
    return;
  }
  FillParams(page, *params);
  TTIFFLZWDecompFunc lzw = nullptr;
  if (page.compression == 5) {
    lzw = params->TIFF_LZWDecompress ? params->TIFF_LZWDecompress : DefTIFF_LZWDECOMPFUNC;
    if (!lzw) {
      progress.Fail("TIFF: no LZW decoder is installed");
      return;
    }
  }
  if (preview || !bitmap) return;

  if (page.width == 0 || page.height == 0 || page.width > kMaxSide || page.height > kMaxSide) {
    progress.Fail("TIFF: page size " + std::to_string(page.width) + " x " +
                  std::to_string(page.height) + " out of range (1 to " + std::to_string(kMaxSide) +
                  " a side)");
    return;
  }
  const Kind kind = ConversionOf(page);
  if (const std::string why = Unsupported(page, kind); !why.empty()) {
    progress.Fail(why);
    return;
  }
  if (!PageSizeAllowed(page, progress)) return;
  // A one-bit palette page is shown through its colour map, like every palette page.
  const TPixelFormat pf = kind == Kind::Bilevel ? pf1bit : pf24bit;
  PageReader reader(src, bo, page, lzw, *bitmap, params->TIFF_Background, progress);
  if (!reader.Prepare()) return;
  if (!SizeImage(*bitmap, static_cast<int>(page.width), static_cast<int>(page.height), pf,
                 progress))
    return;
  if (!reader.Run(kind))
    progress.Fail(reader.BlockError().empty()
                      ? std::string("TIFF: strip or tile data is damaged or ends early")
                      : "TIFF: JPEG data: " + reader.BlockError());
}

}  // namespace

void TIFFReadStream(TBitmap* bitmap, TStream& stream, int& numImages, TIOParamsVals* params,
                    TProgressRec& progress, bool preview) {
  numImages = 0;
  // Callers learn of every failure through the abort flag and the reason, also of a
  // stream that throws or memory that runs out; the latter is told apart, so that a
  // caller discards the half-read page.
  try {
    ReadPage(bitmap, stream, numImages, params, progress, preview);
  } catch (const std::bad_alloc&) {
    progress.FailOutOfMemory("to read the TIFF page");
  } catch (const EOutOfResources& e) {
    progress.FailOutOfMemory(e.what());
  } catch (const std::exception& e) {
    progress.Fail(std::string("TIFF: ") + e.what());
  }
}

int EnumTIFFImStream(TStream& stream) {
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  int n = 0;
  TIFFReadStream(nullptr, stream, n, nullptr, pr, false);
  return n;
}

}  // namespace vx
