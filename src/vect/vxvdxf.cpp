// DXF import: the lines, circles and arcs of a drawing's ENTITIES section, fitted to the
// image by the drawing extents of the HEADER section, with the y axis turned so that the
// drawing's top is the image's top.
//
// A DXF file is pairs of lines: a group code, then a value. The file is read as a
// stream of lines, so its size costs time, not memory. Numbers are parsed with "." as
// the decimal separator whatever the process locale (std::from_chars never consults
// it). Anything that cannot be read - a malformed number, a missing code, a value out
// of range - is skipped; nothing in the text can make the import fail or loop.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>

#include "core/arith.h"
#include "platform/stream.h"
#include "vect/vxvstore.h"

namespace vx {

namespace {

// Longer lines keep only their start: no code or value the import uses comes close.
constexpr size_t kMaxKeptLine = 1024;

enum class TDXFSection { None, Header, Classes, Tables, Blocks, Entities, Objects };

class TLineReader {
 public:
  explicit TLineReader(TStream& s) : s_(s) {}

  // The next line without its end (LF, CR LF or a lone CR); false at the end.
  bool Next(std::string& line) {
    line.clear();
    bool any = false;
    for (;;) {
      if (pos_ == len_ && !Fill()) return any;
      const char c = buf_[pos_++];
      any = true;
      if (c == '\n') return true;
      if (c == '\r') {
        if (pos_ == len_) Fill();
        if (pos_ < len_ && buf_[pos_] == '\n') ++pos_;
        return true;
      }
      if (line.size() < kMaxKeptLine) line.push_back(c);
    }
  }

 private:
  bool Fill() {
    const int64_t n = s_.Read(buf_, sizeof buf_);
    pos_ = 0;
    len_ = n > 0 ? static_cast<size_t>(n) : 0;
    return len_ > 0;
  }

  TStream& s_;
  char buf_[65536];
  size_t pos_ = 0;
  size_t len_ = 0;
};

std::string_view Trimmed(std::string_view s) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  return s;
}

// A group code; a line that is no integer counts as -1.
int ParseCode(std::string_view s) {
  s = Trimmed(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return -1;
  return v;
}

std::optional<double> ParseNumber(std::string_view s) {
  s = Trimmed(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty() || !std::isfinite(v))
    return std::nullopt;
  return v;
}

int32_t Saturate(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

struct TPair {
  int code = -1;
  std::string value;
};

class TDXFImporter {
 public:
  TDXFImporter(TVXVObjectStore& store, TStream& s)
      : st_(store), lines_(s), w_(store.ImageWidth()), h_(store.ImageHeight()) {
    proto_ = store.Template();
    proto_.BeginShape = vxsNONE;
    proto_.EndShape = vxsNONE;
    proto_.ShapeWidth = 10;
    proto_.ShapeHeight = 20;
    proto_.PenWidth = 1;
    proto_.Children.clear();
    proto_.ChildCount = 0;
    proto_.BitmapIndex = -1;
  }

  void Run() {
    TPair p;
    while (NextPair(p)) Handle(p);
  }

 private:
  bool NextPair(TPair& p) {
    if (pushed_) {
      pushed_ = false;
      p = std::move(held_);
      return true;
    }
    std::string code;
    if (!lines_.Next(code)) return false;
    p.code = ParseCode(code);
    // A code line at the very end has no value: the pair is incomplete.
    return lines_.Next(p.value);
  }

  void PushBack(TPair p) {
    held_ = std::move(p);
    pushed_ = true;
  }

  void Handle(const TPair& p) {
    const std::string_view v = Trimmed(p.value);
    if (p.code == 0 && v == "SECTION") {
      EnterSection();
    } else if (p.code == 9 && section_ == TDXFSection::Header) {
      if (v == "$EXTMIN") ReadPoint(minX_, minY_);
      if (v == "$EXTMAX") ReadExtMax();
    } else if (p.code == 0 && section_ == TDXFSection::Entities) {
      if (v == "LINE") ReadLine();
      if (v == "CIRCLE") ReadCircle(false);
      if (v == "ARC") ReadCircle(true);
    }
  }

  void EnterSection() {
    TPair p;
    if (!NextPair(p)) return;
    section_ = TDXFSection::None;
    if (p.code != 2) return;
    const std::string_view name = Trimmed(p.value);
    constexpr std::pair<std::string_view, TDXFSection> kNames[] = {
        {"HEADER", TDXFSection::Header},     {"CLASSES", TDXFSection::Classes},
        {"TABLES", TDXFSection::Tables},     {"BLOCKS", TDXFSection::Blocks},
        {"ENTITIES", TDXFSection::Entities}, {"OBJECTS", TDXFSection::Objects}};
    for (const auto& [n, sec] : kNames)
      if (name == n) section_ = sec;
  }

  // Collects the numbers of the wanted codes from the pairs that follow. A pair with
  // code 0 (the next entity or the end of the section) or 9 (the next header variable)
  // ends the search and is handled again by the main loop: a record that lacks a code
  // must not take it from the record after it. False when not all were found.
  template <size_t N>
  bool Collect(const int (&codes)[N], double (&values)[N]) {
    bool seen[N] = {};
    size_t found = 0;
    TPair p;
    while (found < N && NextPair(p)) {
      if (p.code == 0 || p.code == 9) {
        PushBack(std::move(p));
        return false;
      }
      for (size_t k = 0; k < N; ++k) {
        if (p.code != codes[k]) continue;
        const auto v = ParseNumber(p.value);
        if (!v) break;
        values[k] = *v;
        if (!seen[k]) ++found;
        seen[k] = true;
        break;
      }
    }
    return found == N;
  }

  void ReadPoint(double& x, double& y) {
    double v[2] = {};
    if (!Collect({10, 20}, v)) return;
    x = v[0];
    y = v[1];
  }

  void ReadExtMax() {
    double maxX = 0, maxY = 0;
    double v[2] = {};
    if (!Collect({10, 20}, v)) return;
    maxX = v[0];
    maxY = v[1];
    const double spanY = maxY - minY_ + 1, spanX = maxX - minX_ + 1;
    // Extents the wrong way round are how writers say "no extents known" (an empty
    // drawing has minimum 1e20 and maximum -1e20); used, they would mirror the drawing
    // and throw it out of the image. The drawing is then placed 1:1 from the origin.
    if (!(spanY > 0) || !(spanX > 0) || !std::isfinite(spanX) || !std::isfinite(spanY)) {
      minX_ = minY_ = 0;
      s_ = 1;
      o_ = 0;
      return;
    }
    const double s = std::min(h_ / spanY, w_ / spanX);
    if (!std::isfinite(s)) return;
    s_ = s;
    o_ = static_cast<int64_t>(h_) - Saturate((maxY - minY_) * s_);
  }

  int32_t X(double x) const { return Saturate((x - minX_) * s_); }
  int32_t Y(double y) const {
    const int64_t v = static_cast<int64_t>(h_) - Saturate((y - minY_) * s_) - o_;
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
  }

  void Add(TVXVObjectKind kind, int32_t l, int32_t t, int32_t r, int32_t b, double a0 = 0,
           double a1 = 0) {
    TVXVObject o = proto_;
    o.Kind = kind;
    o.Left = l;
    o.Top = t;
    o.Right = r;
    o.Bottom = b;
    if (kind == vxkARC) {
      o.ArcBegin = a0;
      o.ArcEnd = a1;
    }
    st_.AddVObject(kVXVRoot, o);
  }

  void ReadLine() {
    double v[4] = {};
    if (!Collect({10, 20, 11, 21}, v)) return;
    Add(vxkLINE, X(v[0]), Y(v[1]), X(v[2]), Y(v[3]));
  }

  void ReadCircle(bool arc) {
    double v[5] = {};
    bool ok = false;
    if (arc) {
      ok = Collect({10, 20, 40, 50, 51}, v);
    } else {
      double c[3] = {};
      ok = Collect({10, 20, 40}, c);
      std::copy(c, c + 3, v);
    }
    if (!ok) return;
    const double cx = v[0], cy = v[1], r = v[2];
    const double pi = std::numbers::pi;
    Add(arc ? vxkARC : vxkELLIPSE, X(cx - r), Y(cy - r), X(cx + r), Y(cy + r),
        2 * pi - v[3] * pi / 180, 2 * pi - v[4] * pi / 180);
  }

  TVXVObjectStore& st_;
  TLineReader lines_;
  int w_;
  int h_;
  TVXVObject proto_;
  TDXFSection section_ = TDXFSection::None;
  double minX_ = 0, minY_ = 0;
  double s_ = 1;
  int64_t o_ = 0;
  TPair held_;
  bool pushed_ = false;
};

}  // namespace

void TVXVObjectStore::ImportDXFStream(TStream& stream) {
  TDXFImporter(*this, stream).Run();
  Changed(kVXVNone);
}

void TVXVObjectStore::ImportDXF(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead);
  ImportDXFStream(f);
}

}  // namespace vx
