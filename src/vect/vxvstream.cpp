// VXV streams: the writer (always the latest layout, VXV4) and the reader of every
// layout. The reader treats the stream as untrusted: each count and length is checked
// before anything is sized by it, strings and object lists grow only as their bytes
// actually arrive, and a short or damaged stream ends the load with EReadError after
// keeping every object that was read whole.
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codecs/pngfilt.h"
#include "codecs/vxzlib.h"
#include "core/vxdefs.h"
#include "codecs/bmpfilt.h"
#include "io/ioparams.h"
#include "platform/exceptions.h"
#include "vect/vxvstore.h"

namespace vx {

namespace {

constexpr char kSignatures[4][5] = {"VXV1", "VXV2", "VXV3", "VXV4"};
// Bytes a legacy (VXV1, VXV2) object starts with: the record as it lay in memory.
constexpr int kLegacyRecordBytes = 96;
// The smallest object block of the compressed layouts (a box with an empty name).
constexpr int kMinBlockBytes = 36;
constexpr size_t kChunk = 65536;

// ---- little-endian output ----

class TOut {
 public:
  void U8(uint8_t v) { data_.push_back(v); }
  void I32(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    const uint8_t b[4] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8),
                          static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 24)};
    data_.insert(data_.end(), b, b + 4);
  }
  void F64(double v) {
    const auto u = std::bit_cast<uint64_t>(v);
    I32(static_cast<int32_t>(static_cast<uint32_t>(u)));
    I32(static_cast<int32_t>(static_cast<uint32_t>(u >> 32)));
  }
  void Bytes(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    data_.insert(data_.end(), b, b + n);
  }
  void String(const std::string& s) {
    I32(static_cast<int32_t>(s.size()));
    Bytes(s.data(), s.size());
  }
  std::vector<uint8_t>& Data() { return data_; }

 private:
  std::vector<uint8_t> data_;
};

// ---- byte sources for the reader ----

[[noreturn]] void Damaged(const std::string& what) {
  throw EReadError("VXV: " + what);
}

class TSource {
 public:
  virtual ~TSource() = default;
  // Fills n bytes; false when the data ends first.
  virtual bool Read(void* out, size_t n) = 0;
  // Bytes certainly left, or -1 when that cannot be known before reading.
  virtual int64_t Remaining() = 0;
  // No byte at all is left.
  virtual bool AtEnd() = 0;
};

class TStreamSource : public TSource {
 public:
  explicit TStreamSource(TStream& s) : s_(s), size_(s.Size()) {}
  bool Read(void* out, size_t n) override {
    return n == 0 || s_.Read(out, static_cast<int64_t>(n)) == static_cast<int64_t>(n);
  }
  int64_t Remaining() override { return std::max<int64_t>(0, size_ - s_.Position()); }
  bool AtEnd() override { return Remaining() == 0; }

 private:
  TStream& s_;
  int64_t size_;
};

// Inflates in large pieces (the object data is read a few bytes at a time), and knows
// where the compressed data ends in the outer stream and whether it ended properly.
class TZlibSource : public TSource {
 public:
  explicit TZlibSource(TStream& s) : s_(s), in_(kChunk) {
    if (inflateInit(&zs_) != Z_OK) throw EOutOfResources("VXV: zlib could not start");
  }
  ~TZlibSource() override { inflateEnd(&zs_); }
  TZlibSource(const TZlibSource&) = delete;
  TZlibSource& operator=(const TZlibSource&) = delete;

  bool Read(void* out, size_t n) override {
    auto* dst = static_cast<uint8_t*>(out);
    while (n > 0) {
      if (pos_ == out_.size() && !Fill()) return false;
      const size_t take = std::min(n, out_.size() - pos_);
      std::memcpy(dst, out_.data() + pos_, take);
      pos_ += take;
      dst += take;
      n -= take;
    }
    return true;
  }
  int64_t Remaining() override { return -1; }
  bool AtEnd() override { return pos_ == out_.size() && !Fill(); }

  // Runs the compressed data to its end (its checksum included) and leaves the outer
  // stream right after it. Data past the objects is allowed and skipped.
  void Finish() {
    while (!ended_) {
      pos_ = out_.size();
      if (!Fill() && !ended_) Damaged("the object data ends before its checksum");
    }
    s_.SetPosition(s_.Position() - zs_.avail_in);
  }

 private:
  bool Fill() {
    out_.resize(kChunk);
    pos_ = 0;
    size_t produced = 0;
    while (produced == 0 && !ended_) {
      if (zs_.avail_in == 0) {
        const int64_t got = s_.Read(in_.data(), static_cast<int64_t>(in_.size()));
        if (got <= 0) break;
        zs_.next_in = in_.data();
        zs_.avail_in = static_cast<uInt>(got);
      }
      zs_.next_out = out_.data();
      zs_.avail_out = static_cast<uInt>(out_.size());
      const int rc = inflate(&zs_, Z_NO_FLUSH);
      produced = out_.size() - zs_.avail_out;
      if (rc == Z_STREAM_END) {
        ended_ = true;
      } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
        out_.clear();
        Damaged(std::string("damaged object data (") + (zs_.msg ? zs_.msg : "zlib error") + ")");
      }
    }
    out_.resize(produced);
    return produced > 0;
  }

  TStream& s_;
  z_stream zs_{};
  std::vector<uint8_t> in_;
  std::vector<uint8_t> out_;
  size_t pos_ = 0;
  bool ended_ = false;
};

class TIn {
 public:
  explicit TIn(TSource& src) : src_(src) {}

  void Need(void* out, size_t n, const char* what) {
    if (!src_.Read(out, n)) Damaged(std::string("the data ends inside ") + what);
  }
  uint8_t U8(const char* what) {
    uint8_t b = 0;
    Need(&b, 1, what);
    return b;
  }
  int32_t I32(const char* what) {
    uint8_t b[4];
    Need(b, 4, what);
    return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                static_cast<uint32_t>(b[2]) << 16 |
                                static_cast<uint32_t>(b[3]) << 24);
  }
  double F64(const char* what) {
    const auto lo = static_cast<uint32_t>(I32(what));
    const auto hi = static_cast<uint32_t>(I32(what));
    return std::bit_cast<double>(static_cast<uint64_t>(hi) << 32 | lo);
  }
  // A count or length that must be non-negative, within limit, and (where the source
  // knows its size) backed by at least unit bytes per item.
  int64_t Count(const char* what, int64_t limit, int64_t unit) {
    const int32_t n = I32(what);
    if (n < 0 || n > limit) Damaged(std::string("impossible ") + what + " " + std::to_string(n));
    const int64_t left = src_.Remaining();
    if (left >= 0 && unit > 0 && n > left / unit)
      Damaged(std::string(what) + " " + std::to_string(n) + " exceeds the data");
    return n;
  }
  // n bytes of text, taken in pieces so that a false length costs no more memory than
  // the data present.
  std::string String(int64_t n, const char* what) {
    std::string s;
    while (static_cast<int64_t>(s.size()) < n) {
      const size_t piece = static_cast<size_t>(
          std::min<int64_t>(n - static_cast<int64_t>(s.size()), static_cast<int64_t>(kChunk)));
      const size_t at = s.size();
      s.resize(at + piece);
      Need(s.data() + at, piece, what);
    }
    return s;
  }
  TSource& Source() { return src_; }

 private:
  TSource& src_;
};

template <class E>
E Enum(uint8_t v, int count, const char* what) {
  if (v >= count) Damaged(std::string("unknown ") + what + " " + std::to_string(v));
  return static_cast<E>(v);
}

int32_t LE32At(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}
double F64At(const uint8_t* p) {
  const auto lo = static_cast<uint32_t>(LE32At(p));
  const auto hi = static_cast<uint32_t>(LE32At(p + 4));
  return std::bit_cast<double>(static_cast<uint64_t>(hi) << 32 | lo);
}

uint32_t BE32At(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// Reads the picture size from the header at the stream's position (restored), so that
// the pixel limit is applied before a decoder sizes anything.
bool PeekSize(TStream& s, bool png, int64_t& w, int64_t& h) {
  const int64_t pos = s.Position();
  uint8_t b[26] = {};
  const int64_t got = s.Read(b, sizeof b);
  s.SetPosition(pos);
  if (png) {
    if (got < 24) return false;
    w = BE32At(b + 16);
    h = BE32At(b + 20);
    return true;
  }
  if (got < 22 || b[0] != 'B' || b[1] != 'M') return false;
  const int32_t headerSize = LE32At(b + 14);
  if (headerSize == 12) {
    w = b[18] | b[19] << 8;
    h = b[20] | b[21] << 8;
  } else {
    if (got < 26) return false;
    w = LE32At(b + 18);
    h = LE32At(b + 22);
    if (h < 0) h = -h;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------
// Writing

class TVXVWriter {
 public:
  TVXVWriter(TVXVObjectStore& store, TStream& s) : st_(store), s_(s) {}

  void Write() {
    st_.CompactBitmaps();
    const int64_t start = s_.Position();
    TOut head;
    head.Bytes(kSignatures[3], 4);
    head.I32(0);  // block length, filled in at the end
    head.F64(st_.scale_);
    head.I32(static_cast<int32_t>(st_.bitmaps_.size()));
    s_.WriteBuffer(head.Data().data(), static_cast<int64_t>(head.Data().size()));
    for (size_t k = 0; k < st_.bitmaps_.size(); ++k) WriteBitmapEntry(k);
    WriteObjects();
    const int64_t end = s_.Position();
    TOut len;
    len.I32(static_cast<int32_t>(end - start));
    s_.SetPosition(start + 4);
    s_.WriteBuffer(len.Data().data(), 4);
    s_.SetPosition(end);
  }

 private:
  void WriteBitmapEntry(size_t k) {
    const TVXVBitmapEntry& e = st_.bitmaps_[k];
    // The template's own reference is not written: no stored object stands for it.
    const int32_t count = e.RefCount - (st_.template_.BitmapIndex == static_cast<int32_t>(k));
    TOut c;
    c.I32(count);
    s_.WriteBuffer(c.Data().data(), 4);
    if (count <= 0) return;
    TBitmap copy(*e.Bitmap);
    TIOParamsVals params;
    if (copy.PixelFormat() == pf1bit) {
      params.BitsPerSample = 1;
      params.SamplesPerPixel = 1;
    } else if (copy.PixelFormat() != pf24bit) {
      copy.SetPixelFormat(pf24bit);
    }
    bool aborting = false;
    TFailure failure;
    TProgressRec progress;
    progress.Aborting = &aborting;
    progress.Failure = &failure;
    WritePNGStream(s_, copy, params, progress);
    if (aborting)
      throw EWriteError("VXV: bitmap " + std::to_string(k) + " could not be written" +
                        (failure.Reason.empty() ? "" : ": " + failure.Reason));
  }

  void WriteBlock(TOut& out, const TVXVObject& o) {
    out.I32(o.Left);
    out.I32(o.Top);
    out.I32(o.Right);
    out.I32(o.Bottom);
    out.U8(static_cast<uint8_t>(o.Kind));
    out.String(o.Name);
    out.I32(o.ID);
    out.I32(o.PenColor);
    out.U8(static_cast<uint8_t>(o.PenStyle));
    out.I32(o.PenWidth);
    out.I32(o.BrushColor);
    out.U8(static_cast<uint8_t>(o.BrushStyle));
    out.U8(static_cast<uint8_t>(o.Style.Bits() & 0x0F));
    switch (o.Kind) {
      case vxkFRAME:
        out.I32(static_cast<int32_t>(o.Children.size()));
        break;
      case vxkLINE:
        out.U8(static_cast<uint8_t>(o.BeginShape));
        out.U8(static_cast<uint8_t>(o.EndShape));
        out.I32(o.ShapeWidth);
        out.I32(o.ShapeHeight);
        break;
      case vxkARC:
        out.F64(o.ArcBegin);
        out.F64(o.ArcEnd);
        break;
      case vxkBITMAP:
        out.I32(o.BitmapIndex);
        break;
      case vxkTEXT: {
        out.U8(o.TextAlign);
        out.String(o.Text);
        out.U8(o.Font ? 1 : 0);
        if (o.Font) {
          const auto b = o.Font->ToBytes();
          out.Bytes(b.data(), b.size());
        }
        break;
      }
      default:
        break;
    }
  }

  // The count written is the number of top-level blocks, so that a reader taking it as
  // such always finds them; it equals ObjectsCount whenever no frame holds children.
  void WriteObjects() {
    TOut out;
    out.I32(static_cast<int32_t>(st_.root_.Children.size()));
    struct Level {
      const TVXVObject* frame;
      size_t next;
    };
    std::vector<Level> stack{{&st_.root_, 0}};
    while (!stack.empty()) {
      Level& top = stack.back();
      if (top.next >= top.frame->Children.size()) {
        stack.pop_back();
        continue;
      }
      const TVXVObject& o = *st_.Slot(top.frame->Children[top.next++]);
      WriteBlock(out, o);
      if (o.IsFrame() && !o.Children.empty()) stack.push_back({&o, 0});
    }
    TCompressionStream z(TCompressionLevel::clDefault, s_);
    z.WriteBuffer(out.Data().data(), static_cast<int64_t>(out.Data().size()));
    z.Finish();
  }

  TVXVObjectStore& st_;
  TStream& s_;
};

// ---------------------------------------------------------------------------------
// Reading

class TVXVReader {
 public:
  TVXVReader(TVXVObjectStore& store, TStream& s) : st_(store), s_(s) {}

  void Read() {
    char sig[4] = {};
    if (s_.Read(sig, 4) != 4) throw EReadError("VXV: the stream ends before the signature");
    version_ = 0;
    for (int v = 0; v < 4; ++v)
      if (std::memcmp(sig, kSignatures[v], 4) == 0) version_ = v + 1;
    if (version_ == 0) throw EInvalidGraphic("unrecognized VXV stream");
    TStreamSource raw(s_);
    TIn in(raw);
    in.I32("the header");  // the block's length: the data itself says where it ends
    const double scale = version_ == 1 ? in.I32("the header") : in.F64("the header");
    st_.SetScale(scale);
    ReadBitmaps(in);
    if (version_ >= 3) {
      TZlibSource z(s_);
      TIn zin(z);
      ReadObjects(zin);
      z.Finish();
    } else {
      ReadObjects(in);
    }
  }

 private:
  void ReadBitmaps(TIn& in) {
    const int64_t n = in.Count("bitmap count", INT32_MAX, 4);
    st_.bitmaps_.clear();
    for (int64_t k = 0; k < n; ++k) {
      st_.bitmaps_.emplace_back();
      if (in.I32("the bitmap table") <= 0) continue;
      st_.bitmaps_.back().Bitmap = ReadBitmap(k);
    }
  }

  std::unique_ptr<TBitmap> ReadBitmap(int64_t k) {
    const bool png = version_ >= 3;
    auto bitmap = std::make_unique<TBitmap>();
    bool aborting = false;
    TFailure failure;
    TProgressRec progress;
    progress.Aborting = &aborting;
    progress.Failure = &failure;
    const int64_t start = s_.Position();
    int64_t w = 0, h = 0;
    if (!PeekSize(s_, png, w, h)) {
      progress.Fail(png ? "not a PNG picture" : "not a BMP picture");
    } else if (ImageSizeAllowed(w, h, progress)) {
      TIOParamsVals params;
      if (png)
        ReadPNGStream(s_, *bitmap, params, progress, false);
      else
        BMPReadStream(s_, *bitmap, 0, false, params, progress);
    }
    if (aborting || bitmap->Empty())
      Damaged("bitmap " + std::to_string(k) +
              (failure.Reason.empty() ? " is damaged" : ": " + failure.Reason));
    if (!png) {
      // The BMP reader may stop short of the file's end; its header says where it is.
      uint8_t fh[6] = {};
      s_.SetPosition(start);
      if (s_.Read(fh, 6) == 6) {
        const auto size = static_cast<uint32_t>(LE32At(fh + 2));
        if (size >= 14 && start + size <= s_.Size())
          s_.SetPosition(start + size);
        else
          Damaged("bitmap " + std::to_string(k) + " has an impossible file size");
      }
    }
    return bitmap;
  }

  // One object of the compressed layouts; childCount receives a frame's declared
  // number of children.
  TVXVObject ReadBlock(TIn& in, int64_t& childCount) {
    TVXVObject o;
    o.Font.reset();
    o.Left = in.I32("an object");
    o.Top = in.I32("an object");
    o.Right = in.I32("an object");
    o.Bottom = in.I32("an object");
    o.Kind = Enum<TVXVObjectKind>(in.U8("an object"), kVXVKindCount, "object kind");
    o.Name = in.String(in.Count("name length", kVXVMaxStringBytes, 1), "a name");
    o.ID = in.I32("an object");
    o.PenColor = in.I32("an object");
    o.PenStyle = Enum<TPenStyle>(in.U8("an object"), kPenStyleCount, "pen style");
    o.PenWidth = in.I32("an object");
    o.BrushColor = in.I32("an object");
    o.BrushStyle = Enum<TBrushStyle>(in.U8("an object"), kBrushStyleCount, "brush style");
    o.Style = TVXVStyle::FromBits(in.U8("an object") & 0x0F);
    childCount = 0;
    switch (o.Kind) {
      case vxkFRAME:
        childCount = in.Count("child count", kVXVMaxObjects, kMinBlockBytes);
        break;
      case vxkLINE:
        o.BeginShape = Enum<TVXShape>(in.U8("a line"), kVXVShapeCount, "line end");
        o.EndShape = Enum<TVXShape>(in.U8("a line"), kVXVShapeCount, "line end");
        o.ShapeWidth = in.I32("a line");
        o.ShapeHeight = in.I32("a line");
        break;
      case vxkARC:
        o.ArcBegin = in.F64("an arc");
        o.ArcEnd = in.F64("an arc");
        break;
      case vxkBITMAP:
        o.BitmapIndex = in.I32("a bitmap object");
        break;
      case vxkTEXT:
        ReadText(in, o, version_ >= 4);
        break;
      default:
        break;
    }
    return o;
  }

  void ReadText(TIn& in, TVXVObject& o, bool withAlign) {
    if (withAlign) o.TextAlign = in.U8("a text object");
    if (o.TextAlign > kTextAlignCenter) Damaged("unknown text alignment");
    o.Text = in.String(in.Count("text length", kVXVMaxStringBytes, 1), "a text");
    const uint8_t hasFont = in.U8("a text object");
    if (hasFont > 1) Damaged("impossible font flag");
    if (hasFont) ReadFont(in, o);
  }

  static void ReadFont(TIn& in, TVXVObject& o) {
    uint8_t b[kLogFontBytes];
    in.Need(b, sizeof b, "a font");
    o.Font = TVXLogFont::FromBytes(b);
  }

  // One object of the legacy layouts: the record's first 96 bytes as they lay in memory
  // (32-bit, fields aligned to their size), then a text object's text and font.
  TVXVObject ReadLegacy(TIn& in, int64_t& childCount) {
    uint8_t r[kLegacyRecordBytes];
    in.Need(r, sizeof r, "an object");
    TVXVObject o;
    o.Font.reset();
    o.Left = LE32At(r);
    o.Top = LE32At(r + 4);
    o.Right = LE32At(r + 8);
    o.Bottom = LE32At(r + 12);
    o.Kind = Enum<TVXVObjectKind>(r[16], kVXVKindCount, "object kind");
    const int32_t children = LE32At(r + 24);
    o.BeginShape = Enum<TVXShape>(r[32], kVXVShapeCount, "line end");
    o.EndShape = Enum<TVXShape>(r[33], kVXVShapeCount, "line end");
    o.ShapeWidth = LE32At(r + 36);
    o.ShapeHeight = LE32At(r + 40);
    o.PenColor = LE32At(r + 44);
    o.PenStyle = Enum<TPenStyle>(r[48], kPenStyleCount, "pen style");
    o.PenWidth = LE32At(r + 52);
    o.BrushColor = LE32At(r + 56);
    o.BrushStyle = Enum<TBrushStyle>(r[60], kBrushStyleCount, "brush style");
    o.ArcBegin = F64At(r + 64);
    o.ArcEnd = F64At(r + 72);
    o.BitmapIndex = LE32At(r + 80);
    const bool hasFont = LE32At(r + 88) != 0;
    o.TextAlign = r[92];
    childCount = 0;
    if (o.Kind == vxkFRAME) {
      const int64_t left = in.Source().Remaining();
      if (children < 0 || children > kVXVMaxObjects ||
          (left >= 0 && children > left / kLegacyRecordBytes))
        Damaged("impossible child count " + std::to_string(children));
      childCount = children;
    }
    if (o.Kind == vxkTEXT) {
      if (o.TextAlign > kTextAlignCenter) Damaged("unknown text alignment");
      o.Text = in.String(in.Count("text length", kVXVMaxStringBytes, 1), "a text");
      if (hasFont) ReadFont(in, o);
    }
    return o;
  }

  void ReadObjects(TIn& in) {
    const bool legacy = version_ <= 2;
    const int64_t declared =
        in.Count("object count", kVXVMaxObjects, legacy ? kLegacyRecordBytes : kMinBlockBytes);
    struct Pending {
      int32_t frame;
      int64_t left;
    };
    std::vector<Pending> stack{{kVXVRoot, declared}};
    int64_t read = 0;
    while (!stack.empty()) {
      if (stack.back().left == 0) {
        stack.pop_back();
        continue;
      }
      // Writers that counted every object rather than the top-level blocks leave fewer
      // blocks than the count: the data then ends cleanly once all of them are in.
      if (stack.size() == 1 && read == declared && in.Source().AtEnd()) break;
      if (read >= kVXVMaxObjects) Damaged("more objects than a store may hold");
      int64_t children = 0;
      const TVXVObject o = legacy ? ReadLegacy(in, children) : ReadBlock(in, children);
      --stack.back().left;
      ++read;
      const int32_t slot = st_.AddVObject(stack.back().frame, o);
      if (children > 0) {
        if (static_cast<int>(stack.size()) >= kVXVMaxFrameDepth)
          Damaged("frames nested too deeply");
        stack.push_back({slot, children});
      }
    }
  }

  TVXVObjectStore& st_;
  TStream& s_;
  int version_ = 0;
};

void TVXVObjectStore::SaveToStreamVXV(TStream& stream) {
  TVXVWriter(*this, stream).Write();
}

void TVXVObjectStore::LoadFromStreamVXV(TStream& stream) {
  // The template's bitmap is set aside while the table is rebuilt from the stream, and
  // sharing is on so that the stored counts are rebuilt from the objects.
  std::unique_ptr<TBitmap> templateBitmap;
  if (const TBitmap* b = ObjBitmap(kVXVTemplate)) templateBitmap = std::make_unique<TBitmap>(*b);
  SetObjBitmap(kVXVTemplate, nullptr);
  const bool share = shareBitmaps_;
  shareBitmaps_ = true;
  RemoveAllObjects();
  auto finish = [&] {
    shareBitmaps_ = share;
    // Entries no object took hold only memory.
    for (TVXVBitmapEntry& e : bitmaps_)
      if (e.RefCount <= 0) e.Bitmap.reset();
    if (templateBitmap) SetObjBitmap(kVXVTemplate, templateBitmap.get());
    Changed(kVXVNone);
  };
  try {
    TVXVReader(*this, stream).Read();
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

void TVXVObjectStore::SaveToFileVXV(const std::string& fileName) {
  TFileStream f(fileName, fmCreate);
  SaveToStreamVXV(f);
  if (!f.FlushBuffers()) throw EWriteError("VXV: " + fileName + ": " + f.ErrorText());
}

void TVXVObjectStore::LoadFromFileVXV(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead);
  LoadFromStreamVXV(f);
}

}  // namespace vx
