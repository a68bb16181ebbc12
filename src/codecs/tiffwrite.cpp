// TIFF writing: a new single-page file or a page inserted into an existing chain, and
// the removal of a page. Files are little-endian, one strip a page.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "codecs/tifccitt.h"
#include "codecs/tiffcommon.h"
#include "codecs/tiffilt.h"
#include "core/arith.h"
#include "proc/convert1bit.h"

namespace vx {

namespace {

using tiff::ByteOrder;
using tiff::Entry;
using tiff::Source;

constexpr int64_t kMaxOffset = 0xFFFFFFFFll;

// Collects the entries of the directory being written; out-of-line data goes to the
// stream at once, on an even offset as TIFF asks.
class EntryList {
 public:
  EntryList(TStream& s, int64_t base) : s_(s), base_(base) {}

  void Add(uint16_t tag, uint16_t type, uint32_t count, const std::vector<uint8_t>& data) {
    Entry e;
    e.tag = tag;
    e.type = type;
    e.count = count;
    if (data.size() <= 4) {
      std::memcpy(e.value, data.data(), data.size());
    } else {
      Align();
      const ByteOrder le;
      le.Put32(e.value, static_cast<uint32_t>(Offset()));
      s_.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    }
    entries_.push_back(e);
  }
  void Short(uint16_t tag, uint32_t v) {
    std::vector<uint8_t> d(2);
    ByteOrder{}.Put16(d.data(), v);
    Add(tag, tiff::kShort, 1, d);
  }
  void Shorts(uint16_t tag, const std::vector<uint32_t>& v) {
    std::vector<uint8_t> d(2 * v.size());
    for (size_t i = 0; i < v.size(); ++i) ByteOrder{}.Put16(d.data() + 2 * i, v[i]);
    Add(tag, tiff::kShort, static_cast<uint32_t>(v.size()), d);
  }
  void Long(uint16_t tag, uint32_t v) {
    std::vector<uint8_t> d(4);
    ByteOrder{}.Put32(d.data(), v);
    Add(tag, tiff::kLong, 1, d);
  }
  void Rational(uint16_t tag, uint32_t num, uint32_t den) {
    std::vector<uint8_t> d(8);
    ByteOrder{}.Put32(d.data(), num);
    ByteOrder{}.Put32(d.data() + 4, den);
    Add(tag, tiff::kRational, 1, d);
  }
  // Text with its terminating zero.
  void Ascii(uint16_t tag, const std::string& text) {
    std::vector<uint8_t> d(text.begin(), text.end());
    d.push_back(0);
    Add(tag, tiff::kAscii, static_cast<uint32_t>(d.size()), d);
  }
  void Align() {
    if (Offset() & 1) WriteU8(s_, 0);
  }
  int64_t Offset() { return s_.Position() - base_; }

  // Readers expect the entries sorted by tag.
  std::vector<uint8_t> Directory(uint32_t next) {
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    std::vector<uint8_t> d(2 + 12 * entries_.size() + 4);
    const ByteOrder le;
    le.Put16(d.data(), static_cast<uint32_t>(entries_.size()));
    for (size_t i = 0; i < entries_.size(); ++i) {
      uint8_t* p = d.data() + 2 + 12 * i;
      le.Put16(p, entries_[i].tag);
      le.Put16(p + 2, entries_[i].type);
      le.Put32(p + 4, entries_[i].count);
      std::memcpy(p + 8, entries_[i].value, 4);
    }
    le.Put32(d.data() + d.size() - 4, next);
    return d;
  }

 private:
  TStream& s_;
  int64_t base_;
  std::vector<Entry> entries_;
};

void PackBitsRow(const uint8_t* row, size_t n, std::vector<uint8_t>& out) {
  out.clear();
  size_t p = 0, litStart = 0, litLen = 0;
  auto flush = [&] {
    if (litLen == 0) return;
    out.push_back(static_cast<uint8_t>(litLen - 1));
    out.insert(out.end(), row + litStart, row + litStart + litLen);
    litLen = 0;
  };
  while (p < n) {
    size_t run = 1;
    while (p + run < n && run < 128 && row[p + run] == row[p]) ++run;
    if (run >= 4) {
      flush();
      out.push_back(static_cast<uint8_t>(static_cast<int8_t>(1 - static_cast<int>(run))));
      out.push_back(row[p]);
      p += run;
    } else {
      for (size_t i = 0; i < run; ++i) {
        if (litLen == 128) flush();
        if (litLen == 0) litStart = p;
        ++litLen;
        ++p;
      }
    }
  }
  flush();
}

// Deflate output of one strip, written to the stream as it is produced.
class DeflateWriter {
 public:
  explicit DeflateWriter(TStream& s) : s_(s) {
    ok_ = deflateInit(&z_, Z_DEFAULT_COMPRESSION) == Z_OK;
  }
  ~DeflateWriter() {
    if (ok_) deflateEnd(&z_);
  }
  DeflateWriter(const DeflateWriter&) = delete;
  DeflateWriter& operator=(const DeflateWriter&) = delete;
  bool Put(const uint8_t* data, size_t n, bool finish) {
    if (!ok_) return false;
    z_.next_in = const_cast<Bytef*>(data);
    z_.avail_in = static_cast<uInt>(n);
    uint8_t buf[16384];
    for (;;) {
      z_.next_out = buf;
      z_.avail_out = sizeof buf;
      const int rc = deflate(&z_, finish ? Z_FINISH : Z_NO_FLUSH);
      if (rc == Z_STREAM_ERROR) return false;
      const size_t have = sizeof buf - z_.avail_out;
      if (have && s_.Write(buf, static_cast<int64_t>(have)) != static_cast<int64_t>(have))
        return false;
      if (finish ? rc == Z_STREAM_END : (z_.avail_in == 0 && z_.avail_out != 0)) return true;
    }
  }

 private:
  TStream& s_;
  z_stream z_{};
  bool ok_ = false;
};

struct LzwWriter {
  TTIFFLZWCompFunc fn = nullptr;
  void* state = nullptr;
  TStream* s = nullptr;
  bool closed = false;
  bool Close() {
    if (closed || !fn) return true;
    closed = true;
    return fn(nullptr, 0, *s, state);
  }
  ~LzwWriter() { Close(); }
};

// Writes the strip of the page; false when the output could not be written.
bool WriteStrip(TStream& s, const TBitmap& img, bool bilevel, bool cmyk, bool predictor,
                int compression, uint32_t t4, TTIFFLZWCompFunc lzw, TProgressRec& progress) {
  const int w = img.Width(), h = img.Height();
  const int samples = cmyk ? 4 : 3;
  const size_t rowBytes =
      bilevel ? static_cast<size_t>((w + 7) / 8) : static_cast<size_t>(w) * samples;
  std::vector<uint8_t> buf(rowBytes + 4), packed;
  uint8_t pendingByte = 0;
  int pendingBits = 0;
  std::vector<uint8_t> refLine;
  LzwWriter lz;
  lz.fn = compression == 5 ? lzw : nullptr;
  lz.s = &s;
  std::unique_ptr<DeflateWriter> deflater;
  if (compression == 8) deflater = std::make_unique<DeflateWriter>(s);
  progress.PercentPerStep = 100.0 / h;
  bool ok = true;
  for (int y = 0; y < h && ok; ++y) {
    progress.Report(TruncI(y * progress.PercentPerStep));
    const uint8_t* src = img.ScanLine(y);
    const uint8_t* row = src;
    if (!bilevel) {
      uint8_t* d = buf.data();
      if (cmyk) {
        for (int x = 0; x < w; ++x, src += 3, d += 4) {
          const int b = src[0], g = src[1], r = src[2];
          int m = std::max(r, std::max(g, b));
          if (m == 0) m = 1;
          d[0] = static_cast<uint8_t>(255 - DivI(r * 255, m));
          d[1] = static_cast<uint8_t>(255 - DivI(g * 255, m));
          d[2] = static_cast<uint8_t>(255 - DivI(b * 255, m));
          d[3] = static_cast<uint8_t>(255 - m);
        }
      } else {
        for (int x = 0; x < w; ++x, src += 3, d += 3) {
          d[0] = src[2];
          d[1] = src[1];
          d[2] = src[0];
        }
      }
      if (predictor)
        for (size_t i = rowBytes; i-- > static_cast<size_t>(samples);)
          buf[i] = static_cast<uint8_t>(buf[i] - buf[i - samples]);
      row = buf.data();
    }
    switch (compression) {
      case 1:
        ok = s.Write(row, static_cast<int64_t>(rowBytes)) == static_cast<int64_t>(rowBytes);
        break;
      case 2:
        CCITTHuffmanPutLine(row, w, s);
        break;
      case 3:
        if (t4 & 1)
          CCITTHuffmanPutLineG32D(row, w, s, pendingByte, pendingBits, refLine);
        else
          CCITTHuffmanPutLineG3(row, w, s, pendingByte, pendingBits);
        break;
      case 4:
        CCITTHuffmanPutLineG4(row, w, s, pendingByte, pendingBits, refLine);
        break;
      case 5:
        ok = lzw(row, static_cast<int>(rowBytes), s, lz.state);
        break;
      case 8:
        ok = deflater->Put(row, rowBytes, false);
        break;
      case 32773:
        PackBitsRow(row, rowBytes, packed);
        ok = s.Write(packed.data(), static_cast<int64_t>(packed.size())) ==
             static_cast<int64_t>(packed.size());
        break;
      default:
        break;
    }
    if (progress.Aborted()) return ok;
  }
  if (!ok) return false;
  switch (compression) {
    case 3:
      if (t4 & 1)
        CCITTHuffmanPutLineG32D(nullptr, 0, s, pendingByte, pendingBits, refLine);
      else
        CCITTHuffmanPutLineG3(nullptr, 0, s, pendingByte, pendingBits);
      break;
    case 4:
      CCITTHuffmanPutLineG4(nullptr, 0, s, pendingByte, pendingBits, refLine);
      break;
    case 5:
      return lz.Close();
    case 8:
      return deflater->Put(nullptr, 0, true);
    default:
      break;
  }
  return true;
}

// Where a new IFD goes in an existing chain: the pointer to overwrite and the offset it
// held.
struct InsertPoint {
  int64_t pointerPos = 4;
  uint32_t oldValue = 0;
  int pages = 0;
};

bool FindInsertPoint(Source& src, int index, InsertPoint& ip) {
  uint8_t h[8];
  if (!src.ReadAt(0, h, 8) || h[0] != 'I' || h[1] != 'I') return false;
  const ByteOrder le;
  int64_t pointerPos = 4;
  uint32_t value = le.U32(h + 4);
  std::unordered_set<uint32_t> seen;
  int i = 0;
  bool chosen = false;
  for (;;) {
    if (!chosen && i == index) {
      ip.pointerPos = pointerPos;
      ip.oldValue = value;
      chosen = true;
    }
    if (value == 0) break;
    if (!seen.insert(value).second) {
      // A loop: cut it here, so a page appended at the end ends the chain.
      if (!chosen || ip.pointerPos == pointerPos) {
        ip.pointerPos = pointerPos;
        ip.oldValue = 0;
        chosen = true;
      }
      break;
    }
    uint32_t next = 0;
    if (!tiff::ReadIfd(src, le, value, nullptr, next)) return false;
    uint8_t cnt[2];
    src.ReadAt(value, cnt, 2);
    pointerPos = static_cast<int64_t>(value) + 2 + 12 * int64_t{le.U16(cnt)};
    if (!src.Contains(static_cast<uint64_t>(pointerPos), 4)) return false;
    value = next;
    ++i;
  }
  if (!chosen) {
    ip.pointerPos = pointerPos;
    ip.oldValue = 0;
  }
  ip.pages = i;
  return true;
}

int WritePage(TStream& stream, bool insert, TBitmap& bitmap, TIOParamsVals& params,
              TProgressRec& progress) {
  if (bitmap.Empty()) {
    progress.Abort();
    return 0;
  }
  // The image to write, in the one format the strip coder takes.
  const bool bilevel = params.BitsPerSample == 1 && params.SamplesPerPixel == 1;
  const TBitmap* img = &bitmap;
  std::unique_ptr<TBitmap> temp;
  if (bilevel) {
    if (bitmap.PixelFormat() != pf1bit) {
      TBitmap rgb;
      const TBitmap* source = &bitmap;
      if (bitmap.PixelFormat() != pf24bit) {
        CopyBitmap(bitmap, rgb);
        rgb.SetPixelFormat(pf24bit);
        source = &rgb;
      }
      TRGB c0{}, c1{};
      temp = ConvertTo1bit(*source, c0, c1);
      if (!temp) {
        temp = std::make_unique<TBitmap>();
        CopyBitmap(*source, *temp);
        ConvertToBWOrdered(*temp, ResetNullpr());
      }
      img = temp.get();
    }
  } else if (bitmap.PixelFormat() == pf1bit) {
    temp = std::make_unique<TBitmap>();
    Conv1to24(bitmap, *temp, ResetNullpr());
    img = temp.get();
  } else if (bitmap.PixelFormat() != pf24bit) {
    temp = std::make_unique<TBitmap>();
    CopyBitmap(bitmap, *temp);
    temp->SetPixelFormat(pf24bit);
    img = temp.get();
  }

  const bool cmyk = !bilevel && params.TIFF_PhotometInterpret == ioTIFF_CMYK;
  const uint32_t photometric = bilevel ? 1 : cmyk ? 5 : 2;
  int compression = 1;
  uint32_t t4 = 0;
  TTIFFLZWCompFunc lzw = nullptr;
  switch (params.TIFF_Compression) {
    case ioTIFF_CCITT1D:
      compression = 2;
      break;
    case ioTIFF_G3FAX1D:
      compression = 3;
      break;
    case ioTIFF_G3FAX2D:
      compression = 3;
      t4 = 1;
      break;
    case ioTIFF_G4FAX:
      compression = 4;
      break;
    case ioTIFF_LZW:
      lzw = params.TIFF_LZWCompress ? params.TIFF_LZWCompress : DefTIFF_LZWCOMPFUNC;
      compression = lzw ? 5 : 1;
      break;
    case ioTIFF_PACKBITS:
      compression = 32773;
      break;
    case ioTIFF_DEFLATE:
      compression = 8;
      break;
    default:
      break;
  }
  if (!bilevel && compression >= 2 && compression <= 4) compression = 1;
  const bool predictor = (compression == 5 || compression == 8) && !bilevel &&
                         params.BitsPerSample == 8 &&
                         (params.SamplesPerPixel == 1 || params.SamplesPerPixel == 3);

  const int64_t base = stream.Position();
  InsertPoint ip;
  int result = 1;
  int64_t originalSize = 0;
  if (insert) {
    Source src(stream);
    if (!FindInsertPoint(src, std::max(params.TIFF_ImageIndex, 0), ip)) {
      progress.Abort();
      return 0;
    }
    result = ip.pages + 1;
    originalSize = stream.Size();
    stream.Seek(0, soEnd);
  } else {
    const uint8_t placeholder[8] = {};
    stream.WriteBuffer(placeholder, 8);
  }

  EntryList list(stream, base);
  const int w = img->Width(), h = img->Height();
  list.Long(tiff::kImageWidth, static_cast<uint32_t>(w));
  list.Long(tiff::kImageLength, static_cast<uint32_t>(h));
  if (bilevel)
    list.Short(tiff::kBitsPerSample, 1);
  else
    list.Shorts(tiff::kBitsPerSample, std::vector<uint32_t>(cmyk ? 4 : 3, 8));
  list.Short(tiff::kCompression, static_cast<uint32_t>(compression));
  list.Short(tiff::kPhotometric, photometric);
  if (!params.TIFF_DocumentName.empty()) list.Ascii(tiff::kDocumentName, params.TIFF_DocumentName);
  if (!params.TIFF_ImageDescription.empty())
    list.Ascii(tiff::kImageDescription, params.TIFF_ImageDescription);
  const int64_t stripStart = list.Offset();
  const bool written =
      WriteStrip(stream, *img, bilevel, cmyk, predictor, compression, t4, lzw, progress);
  const int64_t stripEnd = list.Offset();
  auto fail = [&] {
    // An insertion leaves the file as it was.
    if (insert) stream.SetSize(originalSize);
    progress.Abort();
    return 0;
  };
  if (!written) return fail();
  if (progress.Aborted()) {
    if (insert) stream.SetSize(originalSize);
    return 0;
  }
  list.Long(tiff::kStripOffsets, static_cast<uint32_t>(stripStart));
  list.Short(tiff::kSamplesPerPixel, bilevel ? 1 : cmyk ? 4 : 3);
  list.Long(tiff::kRowsPerStrip, static_cast<uint32_t>(h));
  list.Long(tiff::kStripByteCounts, static_cast<uint32_t>(stripEnd - stripStart));
  if (predictor) list.Short(tiff::kPredictor, 2);
  list.Rational(tiff::kXResolution, static_cast<uint32_t>(std::max(params.DpiX, 0)), 1);
  list.Rational(tiff::kYResolution, static_cast<uint32_t>(std::max(params.DpiY, 0)), 1);
  if (!params.TIFF_PageName.empty()) list.Ascii(tiff::kPageName, params.TIFF_PageName);
  list.Rational(tiff::kXPosition,
                static_cast<uint32_t>(std::max<int64_t>(Round(params.TIFF_XPos * 10000.0L), 0)),
                10000);
  list.Rational(tiff::kYPosition,
                static_cast<uint32_t>(std::max<int64_t>(Round(params.TIFF_YPos * 10000.0L), 0)),
                10000);
  if (compression == 3) list.Long(tiff::kT4Options, t4);
  list.Short(tiff::kResolutionUnit, 2);
  if (params.TIFF_PageNumber != 0 || params.TIFF_PageCount != 0)
    list.Shorts(tiff::kPageNumber, {static_cast<uint32_t>(params.TIFF_PageNumber),
                                    static_cast<uint32_t>(params.TIFF_PageCount)});
  list.Align();
  const int64_t ifdOffset = list.Offset();
  const std::vector<uint8_t> dir = list.Directory(insert ? ip.oldValue : 0);
  if (ifdOffset + static_cast<int64_t>(dir.size()) > kMaxOffset) return fail();
  if (stream.Write(dir.data(), static_cast<int64_t>(dir.size())) !=
      static_cast<int64_t>(dir.size()))
    return fail();
  const int64_t end = stream.Position();
  // A buffered file stream meets a full disk only when it flushes, which asking for the
  // size does: the page must be all there before anything links to it.
  if (stream.Size() < end) return fail();
  // Linking the new directory is the last step: until then the file shows what it held.
  uint8_t link[8] = {'I', 'I', 42, 0, 0, 0, 0, 0};
  ByteOrder{}.Put32(link + 4, static_cast<uint32_t>(ifdOffset));
  if (insert) {
    stream.SetPosition(base + ip.pointerPos);
    stream.WriteBuffer(link + 4, 4);
  } else {
    stream.SetPosition(base);
    stream.WriteBuffer(link, 8);
  }
  stream.SetPosition(end);
  return result;
}

}  // namespace

int TIFFWriteStream(TStream& stream, bool insert, TBitmap& bitmap, TIOParamsVals& params,
                    TProgressRec& progress) {
  const int64_t originalSize = stream.Size();
  try {
    return WritePage(stream, insert, bitmap, params, progress);
  } catch (const std::exception&) {
    // A stream that refused to be written: an insertion leaves the file as it was.
    try {
      if (insert) stream.SetSize(originalSize);
    } catch (const std::exception&) {
    }
    progress.Abort();
    return 0;
  }
}

namespace {

// Tags whose values are offsets of further directories or of data we do not copy; a
// rebuilt file drops them rather than keep pointers into the old layout.
bool IsPointerTag(uint16_t tag, uint16_t type) {
  return type == tiff::kIfd || tag == tiff::kSubIFDs || tag == tiff::kExifIFD ||
         tag == tiff::kGPSIFD || tag == tiff::kInteropIFD || tag == tiff::kFreeOffsets ||
         tag == tiff::kFreeByteCounts;
}

class Rebuilder {
 public:
  Rebuilder(Source& src, const ByteOrder& bo) : src_(src), bo_(bo) {}

  std::vector<uint8_t>& Out() { return out_; }
  uint32_t Pos() const { return static_cast<uint32_t>(out_.size()); }
  bool Fits(uint64_t more) const { return out_.size() + more <= static_cast<uint64_t>(kMaxOffset); }
  void Align() {
    if (out_.size() & 1) out_.push_back(0);
  }
  bool Append(const uint8_t* p, size_t n) {
    if (!Fits(n)) return false;
    out_.insert(out_.end(), p, p + n);
    return true;
  }
  bool CopyRange(uint64_t off, uint64_t n) {
    if (!src_.Contains(off, n) || !Fits(n)) return false;
    const size_t at = out_.size();
    out_.resize(at + n);
    return src_.ReadAt(off, out_.data() + at, n);
  }

  // Copies one directory and everything it points at; returns the new offset of the IFD.
  bool CopyIfd(const std::vector<Entry>& entries, uint32_t& newOffset, size_t& nextPointerPos) {
    std::vector<Entry> kept;
    const Entry* counts = nullptr;
    for (const Entry& e : entries)
      if (e.tag == tiff::kStripByteCounts || e.tag == tiff::kTileByteCounts) counts = &e;
    std::vector<uint32_t> byteCounts;
    if (counts && !tiff::ReadInts(src_, bo_, *counts, byteCounts, Limit())) return false;
    for (const Entry& e0 : entries) {
      Entry e = e0;
      if (IsPointerTag(e.tag, e.type)) continue;
      if (e.tag == tiff::kStripOffsets || e.tag == tiff::kTileOffsets) {
        std::vector<uint32_t> offs;
        if (!tiff::ReadInts(src_, bo_, e, offs, Limit())) return false;
        // Without a size for every block the page's data cannot be moved.
        if (byteCounts.size() < offs.size()) return false;
        for (size_t i = 0; i < offs.size(); ++i) {
          const uint32_t n = i < byteCounts.size() ? byteCounts[i] : 0;
          Align();
          const uint32_t at = Pos();
          if (!CopyRange(offs[i], n)) return false;
          offs[i] = at;
        }
        // Offsets are rewritten as LONG: the new positions may not fit a SHORT.
        e.type = tiff::kLong;
        std::vector<uint8_t> data(4 * offs.size());
        for (size_t i = 0; i < offs.size(); ++i) bo_.Put32(data.data() + 4 * i, offs[i]);
        if (!PlaceData(e, data)) return false;
      } else if (e.tag == tiff::kJPEGInterchangeFormat) {
        // The embedded JPEG stream of an old-style JPEG page moves with the page.
        const Entry* len = nullptr;
        for (const Entry& f : entries)
          if (f.tag == tiff::kJPEGInterchangeFormatLength) len = &f;
        std::vector<uint32_t> o, l;
        if (!len || !tiff::ReadInts(src_, bo_, e, o, 1) || !tiff::ReadInts(src_, bo_, *len, l, 1) ||
            o.size() != 1 || l.size() != 1)
          continue;
        Align();
        const uint32_t at = Pos();
        if (!CopyRange(o[0], l[0])) return false;
        std::vector<uint8_t> data(4);
        bo_.Put32(data.data(), at);
        e.type = tiff::kLong;
        if (!PlaceData(e, data)) return false;
      } else {
        const int64_t size = e.DataSize();
        if (size > 4) {
          std::vector<uint8_t> data;
          if (!src_.ReadVec(bo_.U32(e.value), static_cast<uint64_t>(size), data)) return false;
          if (!PlaceData(e, data)) return false;
        } else if (size < 0) {
          continue;  // unknown type: its size, and so its data, cannot be known
        }
      }
      kept.push_back(e);
    }
    Align();
    newOffset = Pos();
    std::vector<uint8_t> d(2 + 12 * kept.size() + 4);
    bo_.Put16(d.data(), static_cast<uint32_t>(kept.size()));
    for (size_t i = 0; i < kept.size(); ++i) {
      uint8_t* p = d.data() + 2 + 12 * i;
      bo_.Put16(p, kept[i].tag);
      bo_.Put16(p + 2, kept[i].type);
      bo_.Put32(p + 4, kept[i].count);
      std::memcpy(p + 8, kept[i].value, 4);
    }
    nextPointerPos = out_.size() + d.size() - 4;
    return Append(d.data(), d.size());
  }

 private:
  uint32_t Limit() const {
    return static_cast<uint32_t>(std::min<int64_t>(src_.Size(), 0xFFFFFFFF));
  }
  // Puts the entry's data in its value field (4 bytes or less) or after the output.
  bool PlaceData(Entry& e, const std::vector<uint8_t>& data) {
    std::memset(e.value, 0, 4);
    if (data.size() <= 4) {
      // An entry of count 0 has no bytes (and possibly no buffer) to copy.
      if (!data.empty()) std::memcpy(e.value, data.data(), data.size());
      return true;
    }
    Align();
    bo_.Put32(e.value, Pos());
    return Append(data.data(), data.size());
  }

  Source& src_;
  const ByteOrder& bo_;
  std::vector<uint8_t> out_;
};

}  // namespace

int DeleteTIFFImStream(TStream& stream, int index) {
  Source src(stream);
  uint8_t h[8];
  if (!src.ReadAt(0, h, 8) || !((h[0] == 'I' && h[1] == 'I') || (h[0] == 'M' && h[1] == 'M')))
    return 0;
  const ByteOrder bo{h[0] == 'M'};
  // Read the whole chain first; a directory that cannot be read leaves the file as it is.
  std::vector<std::vector<Entry>> ifds;
  std::unordered_set<uint32_t> seen;
  uint32_t off = bo.U32(h + 4);
  while (off != 0 && seen.insert(off).second) {
    std::vector<Entry> entries;
    uint32_t next = 0;
    if (!tiff::ReadIfd(src, bo, off, &entries, next)) return 0;
    ifds.push_back(std::move(entries));
    off = next;
  }
  const int count = static_cast<int>(ifds.size());
  if (index < 0 || index >= count) return count;

  // Build the new file completely in memory, then replace the old content.
  Rebuilder rb(src, bo);
  rb.Append(h, 4);
  size_t pointerPos = rb.Out().size();
  const uint8_t zero[4] = {};
  rb.Append(zero, 4);
  for (int i = 0; i < count; ++i) {
    if (i == index) continue;
    uint32_t at = 0;
    size_t nextPos = 0;
    if (!rb.CopyIfd(ifds[static_cast<size_t>(i)], at, nextPos)) return 0;
    bo.Put32(rb.Out().data() + pointerPos, at);
    pointerPos = nextPos;
  }
  bo.Put32(rb.Out().data() + pointerPos, 0);
  const std::vector<uint8_t>& data = rb.Out();
  const int64_t base = src.Base();
  try {
    stream.SetPosition(base);
    stream.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    stream.SetSize(base + static_cast<int64_t>(data.size()));
  } catch (const std::exception&) {
    return 0;
  }
  return count;
}

}  // namespace vx
