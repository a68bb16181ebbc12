#include "metafile/gdidevice.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "core/vxdefs.h"
#include "platform/bitmap.h"
#include "proc/dibtransfer.h"

namespace vx::metafile {

namespace {

constexpr size_t kMaxSavedStates = 1024;
constexpr size_t kMaxClipSteps = 256;
// Points (or pixels of raster work) one file may ask for before the rest is skipped.
constexpr uint64_t kWorkBudget = uint64_t{1} << 26;

bool Finite(const cairo_matrix_t& m) {
  return std::isfinite(m.xx) && std::isfinite(m.yx) && std::isfinite(m.xy) && std::isfinite(m.yy) &&
         std::isfinite(m.x0) && std::isfinite(m.y0);
}

double Det(const cairo_matrix_t& m) {
  return m.xx * m.yy - m.xy * m.yx;
}

TSurfacePtr Own(cairo_surface_t* s) {
  if (!s) return nullptr;
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  return TSurfacePtr(s, cairo_surface_destroy);
}

uint8_t Red(TColorRef c) {
  return static_cast<uint8_t>(c);
}
uint8_t Green(TColorRef c) {
  return static_cast<uint8_t>(c >> 8);
}
uint8_t Blue(TColorRef c) {
  return static_cast<uint8_t>(c >> 16);
}

// The ternary raster operation rop3 (the truth table byte) applied bitwise.
uint8_t Rop3(uint8_t table, uint8_t p, uint8_t s, uint8_t d) {
  uint8_t out = 0;
  for (int i = 0; i < 8; ++i) {
    if (!(table >> i & 1)) continue;
    const uint8_t pp = (i & 4) ? p : static_cast<uint8_t>(~p);
    const uint8_t ss = (i & 2) ? s : static_cast<uint8_t>(~s);
    const uint8_t dd = (i & 1) ? d : static_cast<uint8_t>(~d);
    out |= static_cast<uint8_t>(pp & ss & dd);
  }
  return out;
}

bool RopUsesSource(uint8_t table) {
  return ((table >> 2) ^ table) & 0x33;
}

// One hatch cell of 8 x 8 device pixels, as GDI draws them.
TSurfacePtr HatchSurface(int hatch, TColorRef color, bool opaque, TColorRef back) {
  TSurfacePtr s = Own(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8));
  if (!s) return nullptr;
  cairo_surface_flush(s.get());
  uint8_t* data = cairo_image_surface_get_data(s.get());
  const int stride = cairo_image_surface_get_stride(s.get());
  const auto pack = [](TColorRef c) {
    return 0xFF000000u | uint32_t{Red(c)} << 16 | uint32_t{Green(c)} << 8 | Blue(c);
  };
  for (int y = 0; y < 8; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
    for (int x = 0; x < 8; ++x) {
      bool on = false;
      switch (hatch) {
        case 0:
          on = y == 7;
          break;  // horizontal
        case 1:
          on = x == 7;
          break;  // vertical
        case 2:
          on = x == y;
          break;  // forward diagonal
        case 3:
          on = x + y == 7;
          break;  // backward diagonal
        case 4:
          on = x == 7 || y == 7;
          break;  // cross
        default:
          on = x == y || x + y == 7;
          break;  // diagonal cross
      }
      row[x] = on ? pack(color) : (opaque ? pack(back) : 0u);
    }
  }
  cairo_surface_mark_dirty(s.get());
  return s;
}

}  // namespace

TSurfacePtr DecodeDib(const uint8_t* bmi, size_t bmiSize, const uint8_t* bits, size_t bitsSize) {
  if (!bmi || bmiSize < 40) return nullptr;
  TBitmap bitmap;
  if (CopyDIB2Bitmap(bmi, bmiSize, bitmap, bits, bitsSize) == 0 || bitmap.Empty()) return nullptr;
  const int w = bitmap.Width(), h = bitmap.Height();
  TSurfacePtr s = Own(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h));
  if (!s) return nullptr;
  // A two-colour bitmap comes back black and white with 0 the darker palette entry;
  // give it the palette's own colours again.
  std::array<uint32_t, 2> mono{0x000000, 0xFFFFFF};
  const uint32_t headerSize =
      uint32_t{bmi[0]} | uint32_t{bmi[1]} << 8 | uint32_t{bmi[2]} << 16 | uint32_t{bmi[3]} << 24;
  if (bitmap.PixelFormat() == pf1bit && headerSize >= 40 && headerSize <= bmiSize &&
      bmiSize - headerSize >= 8) {
    const uint8_t* e = bmi + headerSize;
    uint32_t c0 = uint32_t{e[2]} << 16 | uint32_t{e[1]} << 8 | e[0];
    uint32_t c1 = uint32_t{e[6]} << 16 | uint32_t{e[5]} << 8 | e[4];
    const auto grey = [](uint32_t c) {
      return (c >> 16 & 255) * 21 + (c >> 8 & 255) * 71 + (c & 255) * 7;
    };
    if (grey(c0) > grey(c1)) std::swap(c0, c1);
    mono = {c0, c1};
  }
  cairo_surface_flush(s.get());
  uint8_t* data = cairo_image_surface_get_data(s.get());
  const int stride = cairo_image_surface_get_stride(s.get());
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = bitmap.ScanLine(y);
    auto* dst = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    if (bitmap.PixelFormat() == pf1bit) {
      for (int x = 0; x < w; ++x) dst[x] = mono[(src[x >> 3] >> (7 - (x & 7))) & 1];
    } else {
      for (int x = 0; x < w; ++x)
        dst[x] = uint32_t{src[3 * x + 2]} << 16 | uint32_t{src[3 * x + 1]} << 8 | src[3 * x];
    }
  }
  cairo_surface_mark_dirty(s.get());
  return s;
}

TSurfacePtr DecodeDibWithAlpha(const uint8_t* bmi, size_t bmiSize, const uint8_t* bits,
                               size_t bitsSize) {
  if (!bmi || bmiSize < 40 || !bits) return nullptr;
  const auto u32 = [&](size_t at) {
    return uint32_t{bmi[at]} | uint32_t{bmi[at + 1]} << 8 | uint32_t{bmi[at + 2]} << 16 |
           uint32_t{bmi[at + 3]} << 24;
  };
  const auto width = static_cast<int32_t>(u32(4)), height = static_cast<int32_t>(u32(8));
  const uint32_t bitCount = u32(12) >> 16, compression = u32(16);
  if (bitCount != 32 || (compression != 0 && compression != 3) || width <= 0 || height == 0 ||
      height == INT32_MIN)
    return nullptr;
  const int h = std::abs(height);
  bool refused = false;
  TProgressRec quiet;
  quiet.Aborting = &refused;
  if (!ImageSizeAllowed(width, h, quiet)) return nullptr;
  if (uint64_t{4} * static_cast<uint64_t>(width) * static_cast<uint64_t>(h) > bitsSize)
    return nullptr;
  TSurfacePtr s = Own(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, h));
  if (!s) return nullptr;
  cairo_surface_flush(s.get());
  uint8_t* data = cairo_image_surface_get_data(s.get());
  const int stride = cairo_image_surface_get_stride(s.get());
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = bits + size_t{4} * static_cast<size_t>(width) *
                                    static_cast<size_t>(height > 0 ? h - 1 - y : y);
    auto* dst = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = src + 4 * x;
      // Premultiplied already; a colour above its alpha is clamped so cairo stays valid.
      const uint8_t a = p[3];
      dst[x] = uint32_t{a} << 24 | uint32_t{std::min(p[2], a)} << 16 |
               uint32_t{std::min(p[1], a)} << 8 | std::min(p[0], a);
    }
  }
  cairo_surface_mark_dirty(s.get());
  return s;
}

TGdiDevice::TGdiDevice(cairo_surface_t* surface, int width, int height)
    : surface_(surface), cr_(cairo_create(surface)), width_(width), height_(height) {
  cairo_set_tolerance(cr_, 0.25);
}

TGdiDevice::~TGdiDevice() {
  cairo_destroy(cr_);
}

bool TGdiDevice::Spend(uint64_t points) {
  budget_ += points;
  return budget_ <= kWorkBudget;
}

// ---- mapping ----

cairo_matrix_t TGdiDevice::Full() const {
  const TDcState& s = state_;
  double sx = 1, sy = 1;
  int mode = fixedViewport_ ? kMmAnisotropic : s.mapMode;
  switch (mode) {
    case kMmLoMetric:
      sx = 0.1 * refPerMmX_, sy = -0.1 * refPerMmY_;
      break;
    case kMmHiMetric:
      sx = 0.01 * refPerMmX_, sy = -0.01 * refPerMmY_;
      break;
    case kMmLoEnglish:
      sx = 0.254 * refPerMmX_, sy = -0.254 * refPerMmY_;
      break;
    case kMmHiEnglish:
      sx = 0.0254 * refPerMmX_, sy = -0.0254 * refPerMmY_;
      break;
    case kMmTwips:
      sx = 25.4 / 1440 * refPerMmX_, sy = -25.4 / 1440 * refPerMmY_;
      break;
    case kMmIsotropic:
    case kMmAnisotropic:
      sx = s.vpExtX / s.winExtX;
      sy = s.vpExtY / s.winExtY;
      if (mode == kMmIsotropic) {
        const double m = std::min(std::fabs(sx), std::fabs(sy));
        sx = std::copysign(m, sx);
        sy = std::copysign(m, sy);
      }
      break;
    default:
      break;
  }
  cairo_matrix_t page;
  cairo_matrix_init(&page, sx, 0, 0, sy, s.vpOrgX - s.winOrgX * sx, s.vpOrgY - s.winOrgY * sy);
  cairo_matrix_t tmp, full;
  cairo_matrix_multiply(&tmp, &s.world, &page);
  cairo_matrix_multiply(&full, &tmp, &output_);
  return full;
}

bool TGdiDevice::UseLogical() {
  const cairo_matrix_t m = Full();
  if (!Finite(m) || std::fabs(Det(m)) < 1e-12) return false;
  cairo_matrix_t inv = m;
  if (cairo_matrix_invert(&inv) != CAIRO_STATUS_SUCCESS) return false;
  cairo_set_matrix(cr_, &m);
  return true;
}

void TGdiDevice::UseDevice() {
  cairo_identity_matrix(cr_);
}

double TGdiDevice::Scale() const {
  const cairo_matrix_t m = Full();
  const double d = std::sqrt(std::fabs(Det(m)));
  return std::isfinite(d) ? d : 0;
}

void TGdiDevice::SaveDC() {
  if (saved_.size() < kMaxSavedStates) saved_.push_back(state_);
}

void TGdiDevice::RestoreDC(int which) {
  const int64_t n = static_cast<int64_t>(saved_.size());
  const int64_t index = which < 0 ? n + which : int64_t{which} - 1;
  if (index < 0 || index >= n) return;
  state_ = saved_[static_cast<size_t>(index)];
  saved_.resize(static_cast<size_t>(index));
  clipDirty_ = true;
}

void TGdiDevice::SetMapMode(int mode) {
  if (mode >= kMmText && mode <= kMmAnisotropic) state_.mapMode = mode;
}

void TGdiDevice::SetWindowExt(double x, double y) {
  if (x == 0 || y == 0 || !std::isfinite(x) || !std::isfinite(y)) return;
  state_.winExtX = x, state_.winExtY = y;
}

void TGdiDevice::SetViewportOrg(double x, double y) {
  if (!fixedViewport_) state_.vpOrgX = x, state_.vpOrgY = y;
}

void TGdiDevice::SetViewportExt(double x, double y) {
  if (fixedViewport_ || x == 0 || y == 0 || !std::isfinite(x) || !std::isfinite(y)) return;
  state_.vpExtX = x, state_.vpExtY = y;
}

void TGdiDevice::ModifyWorldTransform(const cairo_matrix_t& m, int mode) {
  cairo_matrix_t r;
  switch (mode) {
    case 1:
      cairo_matrix_init_identity(&state_.world);
      return;
    case 2:
      cairo_matrix_multiply(&r, &m, &state_.world);
      break;
    case 3:
      cairo_matrix_multiply(&r, &state_.world, &m);
      break;
    case 4:
      r = m;
      break;
    default:
      return;
  }
  if (Finite(r)) state_.world = r;
}

// ---- clip ----

void TGdiDevice::SyncClip() {
  if (!clipDirty_) return;
  clipDirty_ = false;
  UseDevice();
  cairo_reset_clip(cr_);
  ApplyClip(cr_);
}

void TGdiDevice::ApplyClip(cairo_t* cr) const {
  for (const TClipStep& step : state_.clip) {
    cairo_new_path(cr);
    if (step.exclude) cairo_rectangle(cr, -2, -2, width_ + 4, height_ + 4);
    cairo_append_path(cr, step.path.get());
    cairo_set_fill_rule(
        cr, step.exclude || step.evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    cairo_clip(cr);
  }
  cairo_new_path(cr);
}

std::shared_ptr<cairo_path_t> TGdiDevice::CopyDevicePath() {
  UseDevice();
  cairo_path_t* p = cairo_copy_path(cr_);
  if (!p) return nullptr;
  if (p->status != CAIRO_STATUS_SUCCESS) {
    cairo_path_destroy(p);
    return nullptr;
  }
  return std::shared_ptr<cairo_path_t>(p, cairo_path_destroy);
}

void TGdiDevice::AddClip(std::shared_ptr<cairo_path_t> path, bool exclude, bool evenOdd, int mode) {
  if (!path) return;
  std::vector<TClipStep>& clip = state_.clip;
  switch (mode) {
    case kRgnCopy:
      clip.assign(1, TClipStep{std::move(path), exclude, evenOdd});
      break;
    case kRgnAnd:
    case kRgnDiff:
      if (clip.size() >= kMaxClipSteps) return;
      clip.push_back(TClipStep{std::move(path), exclude || mode == kRgnDiff, evenOdd});
      break;
    default:
      // A union or exclusive-or cannot be told to cairo as one clip; from no clip at all
      // the union is still everything, and otherwise the clip is left as it was.
      return;
  }
  clipDirty_ = true;
}

namespace {
// Keeps the path under construction across a clip change that needs a scratch path.
struct TPathKeeper {
  TPathKeeper(cairo_t* cr, bool active) : cr_(cr) {
    if (active) {
      cairo_identity_matrix(cr);
      saved_ = cairo_copy_path(cr);
    }
    cairo_new_path(cr);
  }
  ~TPathKeeper() {
    cairo_new_path(cr_);
    if (saved_) {
      cairo_identity_matrix(cr_);
      if (saved_->status == CAIRO_STATUS_SUCCESS) cairo_append_path(cr_, saved_);
      cairo_path_destroy(saved_);
    }
  }
  cairo_t* cr_;
  cairo_path_t* saved_ = nullptr;
};
}  // namespace

void TGdiDevice::IntersectClipRect(double l, double t, double r, double b) {
  TPathKeeper keep(cr_, inPath_);
  if (!UseLogical()) return;
  AddRect(l, t, r, b);
  AddClip(CopyDevicePath(), false, false, kRgnAnd);
  cairo_new_path(cr_);
}

void TGdiDevice::ExcludeClipRect(double l, double t, double r, double b) {
  TPathKeeper keep(cr_, inPath_);
  if (!UseLogical()) return;
  AddRect(l, t, r, b);
  AddClip(CopyDevicePath(), true, false, kRgnAnd);
  cairo_new_path(cr_);
}

void TGdiDevice::SelectClipRegion(const TGdiRegion* region, int mode, bool device) {
  if (!region) {
    if (mode == kRgnCopy) {
      state_.clip.clear();
      clipDirty_ = true;
    }
    return;
  }
  TPathKeeper keep(cr_, inPath_);
  if (device)
    cairo_set_matrix(cr_, &output_);
  else if (!UseLogical())
    return;
  for (size_t i = 0; i + 3 < region->rects.size(); i += 4)
    AddRect(region->rects[i], region->rects[i + 1], region->rects[i + 2], region->rects[i + 3]);
  AddClip(CopyDevicePath(), false, false, mode);
  cairo_new_path(cr_);
}

// ---- sources ----

void TGdiDevice::Colour(TColorRef c) {
  cairo_set_source_rgb(cr_, Red(c) / 255.0, Green(c) / 255.0, Blue(c) / 255.0);
}

bool TGdiDevice::SetSourceBrush(const TGdiBrush& brush) {
  switch (brush.style) {
    case kBsSolid:
      Colour(brush.color);
      return true;
    case kBsHatched: {
      TSurfacePtr cell =
          HatchSurface(brush.hatch, brush.color, state_.bkMode == kOpaque, state_.bkColor);
      if (!cell) return false;
      cairo_pattern_t* p = cairo_pattern_create_for_surface(cell.get());
      cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
      cairo_pattern_set_filter(p, CAIRO_FILTER_NEAREST);
      cairo_set_source(cr_, p);
      cairo_pattern_destroy(p);
      return true;
    }
    case kBsPattern:
    case kBsDibPattern:
    case kBsDibPatternPt:
      if (brush.pattern) {
        cairo_pattern_t* p = cairo_pattern_create_for_surface(brush.pattern.get());
        cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
        cairo_pattern_set_filter(p, CAIRO_FILTER_NEAREST);
        cairo_set_source(cr_, p);
        cairo_pattern_destroy(p);
        return true;
      }
      Colour(brush.color);
      return true;
    default:
      return false;
  }
}

bool TGdiDevice::SetSourcePen() {
  const TGdiPen& pen = state_.pen;
  const int dash = pen.style & 0x0F;
  if (dash == kPsNull) return false;
  Colour(pen.color);
  double lw = pen.cosmetic || pen.width <= 0 ? 1 : pen.width * Scale();
  lw = std::clamp(std::isfinite(lw) ? lw : 1.0, 1.0, 4.0 * (width_ + height_) + 16);
  cairo_set_line_width(cr_, lw);
  const int cap = pen.style & 0x0F00, join = pen.style & 0xF000;
  cairo_set_line_cap(cr_, cap == 0x100   ? CAIRO_LINE_CAP_SQUARE
                          : cap == 0x200 ? CAIRO_LINE_CAP_BUTT
                                         : CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr_, join == 0x1000   ? CAIRO_LINE_JOIN_BEVEL
                           : join == 0x2000 ? CAIRO_LINE_JOIN_MITER
                                            : CAIRO_LINE_JOIN_ROUND);
  cairo_set_miter_limit(cr_, std::clamp(state_.miterLimit, 1.0, 100.0));
  std::vector<double> d;
  // Thin pens take GDI's cosmetic patterns; wide ones scale them with the width.
  const bool wide = lw > 3;
  const double u = wide ? lw : 1;
  switch (dash) {
    case kPsDash:
      d = wide ? std::vector<double>{3 * u, u} : std::vector<double>{18, 6};
      break;
    case kPsDot:
      d = wide ? std::vector<double>{u, u} : std::vector<double>{3, 3};
      break;
    case kPsDashDot:
      d = wide ? std::vector<double>{3 * u, u, u, u} : std::vector<double>{9, 6, 3, 6};
      break;
    case kPsDashDotDot:
      d = wide ? std::vector<double>{3 * u, u, u, u, u, u} : std::vector<double>{9, 3, 3, 3, 3, 3};
      break;
    case kPsUserStyle: {
      const double k = pen.cosmetic ? 1 : Scale();
      double sum = 0;
      for (double e : pen.dashes) {
        d.push_back(std::max(0.0, e * k));
        sum += d.back();
      }
      if (!(sum > 0.5) || !std::isfinite(sum)) d.clear();
      break;
    }
    default:
      break;
  }
  // Dashes along a path far larger than the picture would take cairo millions of steps.
  if (!d.empty()) {
    double x1, y1, x2, y2;
    cairo_path_extents(cr_, &x1, &y1, &x2, &y2);
    if ((x2 - x1) + (y2 - y1) > 64.0 * (width_ + height_)) d.clear();
  }
  cairo_set_dash(cr_, d.data(), static_cast<int>(d.size()), 0);
  return true;
}

// ---- drawing ----

void TGdiDevice::Finish(bool fill, bool stroke) {
  if (inPath_) return;
  UseDevice();
  if (fill && SetSourceBrush(state_.brush)) {
    cairo_set_fill_rule(
        cr_, state_.polyFill == kWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill_preserve(cr_);
  }
  if (stroke && SetSourcePen()) cairo_stroke_preserve(cr_);
  cairo_new_path(cr_);
}

void TGdiDevice::AddRect(double l, double t, double r, double b) {
  cairo_move_to(cr_, l, t);
  cairo_line_to(cr_, r, t);
  cairo_line_to(cr_, r, b);
  cairo_line_to(cr_, l, b);
  cairo_close_path(cr_);
}

// Starts a drawing step: outside a path the clip is brought up to date and a fresh path
// begun. False when the mapping is degenerate.
bool TGdiDevice::BeginDraw() {
  if (!inPath_) {
    SyncClip();
    cairo_new_path(cr_);
  }
  return UseLogical();
}

void TGdiDevice::MoveTo(double x, double y) {
  state_.curX = x, state_.curY = y;
  if (inPath_ && UseLogical()) cairo_move_to(cr_, x, y);
}

void TGdiDevice::LineTo(double x, double y) {
  const double x0 = state_.curX, y0 = state_.curY;
  state_.curX = x, state_.curY = y;
  if (!Spend(2)) return;
  if (!BeginDraw()) return;
  if (!inPath_ || !cairo_has_current_point(cr_)) cairo_move_to(cr_, x0, y0);
  cairo_line_to(cr_, x, y);
  Finish(false, true);
}

void TGdiDevice::Polyline(const std::vector<double>& pts, bool fromCurrent) {
  if (pts.size() < 2 || !Spend(pts.size() / 2)) return;
  if (!BeginDraw()) return;
  size_t i = 0;
  if (fromCurrent) {
    if (!inPath_ || !cairo_has_current_point(cr_)) cairo_move_to(cr_, state_.curX, state_.curY);
  } else {
    cairo_move_to(cr_, pts[0], pts[1]);
    i = 2;
  }
  for (; i + 1 < pts.size(); i += 2) cairo_line_to(cr_, pts[i], pts[i + 1]);
  if (fromCurrent) state_.curX = pts[pts.size() - 2], state_.curY = pts.back();
  Finish(false, true);
}

void TGdiDevice::Polygon(const std::vector<double>& pts) {
  PolyPolygon(pts, {static_cast<uint32_t>(pts.size() / 2)});
}

void TGdiDevice::PolyPolygon(const std::vector<double>& pts, const std::vector<uint32_t>& counts) {
  if (!Spend(pts.size() / 2 + counts.size())) return;
  if (!BeginDraw()) return;
  size_t at = 0;
  for (uint32_t n : counts) {
    if (n > (pts.size() - at) / 2) break;
    if (n >= 2) {
      cairo_move_to(cr_, pts[at], pts[at + 1]);
      for (uint32_t k = 1; k < n; ++k) cairo_line_to(cr_, pts[at + 2 * k], pts[at + 2 * k + 1]);
      cairo_close_path(cr_);
    }
    at += 2 * size_t{n};
  }
  Finish(true, true);
}

void TGdiDevice::PolyPolyline(const std::vector<double>& pts, const std::vector<uint32_t>& counts) {
  if (!Spend(pts.size() / 2 + counts.size())) return;
  if (!BeginDraw()) return;
  size_t at = 0;
  for (uint32_t n : counts) {
    if (n > (pts.size() - at) / 2) break;
    if (n >= 2) {
      cairo_move_to(cr_, pts[at], pts[at + 1]);
      for (uint32_t k = 1; k < n; ++k) cairo_line_to(cr_, pts[at + 2 * k], pts[at + 2 * k + 1]);
    }
    at += 2 * size_t{n};
  }
  Finish(false, true);
}

void TGdiDevice::PolyBezier(const std::vector<double>& pts, bool fromCurrent) {
  if (pts.size() < 2 || !Spend(pts.size() * 4)) return;
  if (!BeginDraw()) return;
  size_t i = 0;
  if (fromCurrent) {
    if (!inPath_ || !cairo_has_current_point(cr_)) cairo_move_to(cr_, state_.curX, state_.curY);
  } else {
    cairo_move_to(cr_, pts[0], pts[1]);
    i = 2;
  }
  for (; i + 5 < pts.size(); i += 6)
    cairo_curve_to(cr_, pts[i], pts[i + 1], pts[i + 2], pts[i + 3], pts[i + 4], pts[i + 5]);
  if (fromCurrent && i >= 6) state_.curX = pts[i - 2], state_.curY = pts[i - 1];
  Finish(false, true);
}

void TGdiDevice::Rectangle(double l, double t, double r, double b) {
  if (!Spend(4)) return;
  if (!BeginDraw()) return;
  AddRect(l, t, r, b);
  Finish(true, true);
}

namespace {
// Adds the elliptic arc of centre (cx, cy) and radii (rx, ry) from angle a1 to a2 (in
// the unit circle the ellipse is scaled from) to the path, leaving the matrix as found.
void EllipticArc(cairo_t* cr, double cx, double cy, double rx, double ry, double a1, double a2,
                 bool negative) {
  cairo_matrix_t keep;
  cairo_get_matrix(cr, &keep);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  if (negative)
    cairo_arc_negative(cr, 0, 0, 1, a1, a2);
  else
    cairo_arc(cr, 0, 0, 1, a1, a2);
  cairo_set_matrix(cr, &keep);
}
}  // namespace

void TGdiDevice::RoundRect(double l, double t, double r, double b, double w, double h) {
  if (!Spend(32)) return;
  if (!BeginDraw()) return;
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  const double rx = std::min(std::fabs(w) / 2, (r - l) / 2);
  const double ry = std::min(std::fabs(h) / 2, (b - t) / 2);
  if (rx <= 0 || ry <= 0) {
    AddRect(l, t, r, b);
  } else {
    constexpr double pi = std::numbers::pi;
    cairo_new_sub_path(cr_);
    EllipticArc(cr_, r - rx, t + ry, rx, ry, -pi / 2, 0, false);
    EllipticArc(cr_, r - rx, b - ry, rx, ry, 0, pi / 2, false);
    EllipticArc(cr_, l + rx, b - ry, rx, ry, pi / 2, pi, false);
    EllipticArc(cr_, l + rx, t + ry, rx, ry, pi, 3 * pi / 2, false);
    cairo_close_path(cr_);
  }
  Finish(true, true);
}

void TGdiDevice::Ellipse(double l, double t, double r, double b) {
  if (!Spend(32)) return;
  if (!BeginDraw()) return;
  const double rx = (r - l) / 2, ry = (b - t) / 2;
  if (rx == 0 || ry == 0) return;
  cairo_new_sub_path(cr_);
  EllipticArc(cr_, l + rx, t + ry, rx, ry, 0, 2 * std::numbers::pi, false);
  cairo_close_path(cr_);
  Finish(true, true);
}

void TGdiDevice::AddArcPath(ArcKind kind, double l, double t, double r, double b, double xs,
                            double ys, double xe, double ye, bool continuePath) {
  const double rx = (r - l) / 2, ry = (b - t) / 2;
  const double cx = l + rx, cy = t + ry;
  if (rx == 0 || ry == 0) return;
  double a1 = std::atan2((ys - cy) / ry, (xs - cx) / rx);
  double a2 = std::atan2((ye - cy) / ry, (xe - cx) / rx);
  // GDI turns counter-clockwise as seen on the device unless told otherwise; in the
  // unit circle that is the negative direction when the mapping keeps orientation.
  cairo_matrix_t m;
  cairo_get_matrix(cr_, &m);
  const bool keepsOrientation = (Det(m) > 0) == (rx * ry > 0);
  const bool negative = keepsOrientation != state_.arcClockwise;
  if (a1 == a2) a2 += negative ? -2 * std::numbers::pi : 2 * std::numbers::pi;
  if (kind == ArcKind::kPie) {
    cairo_move_to(cr_, cx, cy);
  } else if (kind == ArcKind::kArcTo) {
    if (!cairo_has_current_point(cr_) || !continuePath)
      cairo_move_to(cr_, state_.curX, state_.curY);
  } else {
    cairo_new_sub_path(cr_);
  }
  EllipticArc(cr_, cx, cy, rx, ry, a1, a2, negative);
  if (kind == ArcKind::kChord || kind == ArcKind::kPie) cairo_close_path(cr_);
  if (kind == ArcKind::kArcTo) {
    state_.curX = cx + rx * std::cos(a2);
    state_.curY = cy + ry * std::sin(a2);
  }
}

void TGdiDevice::Arc(ArcKind kind, double l, double t, double r, double b, double xs, double ys,
                     double xe, double ye) {
  if (!Spend(32)) return;
  if (!BeginDraw()) return;
  AddArcPath(kind, l, t, r, b, xs, ys, xe, ye, inPath_);
  const bool closed = kind == ArcKind::kChord || kind == ArcKind::kPie;
  Finish(closed, true);
}

void TGdiDevice::AngleArc(double x, double y, double radius, double startDeg, double sweepDeg) {
  if (!Spend(32) || !std::isfinite(startDeg) || !std::isfinite(sweepDeg) || radius <= 0) return;
  if (!BeginDraw()) return;
  sweepDeg = std::clamp(sweepDeg, -360.0, 360.0);
  const double a1 = -startDeg * std::numbers::pi / 180;
  const double a2 = -(startDeg + sweepDeg) * std::numbers::pi / 180;
  if (!inPath_ || !cairo_has_current_point(cr_)) cairo_move_to(cr_, state_.curX, state_.curY);
  if (sweepDeg >= 0)
    cairo_arc_negative(cr_, x, y, radius, a1, a2);
  else
    cairo_arc(cr_, x, y, radius, a1, a2);
  state_.curX = x + radius * std::cos(a2);
  state_.curY = y + radius * std::sin(a2);
  Finish(false, true);
}

void TGdiDevice::SetPixel(double x, double y, TColorRef c) {
  if (inPath_ || !Spend(1)) return;
  SyncClip();
  if (!UseLogical()) return;
  cairo_user_to_device(cr_, &x, &y);
  UseDevice();
  cairo_new_path(cr_);
  cairo_rectangle(cr_, std::floor(x), std::floor(y), 1, 1);
  Colour(c);
  cairo_fill(cr_);
}

void TGdiDevice::FillRegion(const TGdiRegion& region, const TGdiBrush& brush, bool device) {
  if (inPath_ || !Spend(region.rects.size())) return;
  SyncClip();
  cairo_new_path(cr_);
  if (device)
    cairo_set_matrix(cr_, &output_);
  else if (!UseLogical())
    return;
  for (size_t i = 0; i + 3 < region.rects.size(); i += 4)
    AddRect(region.rects[i], region.rects[i + 1], region.rects[i + 2], region.rects[i + 3]);
  UseDevice();
  if (SetSourceBrush(brush)) {
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr_);
  }
  cairo_new_path(cr_);
}

// ---- paths ----

void TGdiDevice::BeginPath() {
  inPath_ = true;
  path_.reset();
  cairo_new_path(cr_);
}

void TGdiDevice::EndPath() {
  if (!inPath_) return;
  path_ = CopyDevicePath();
  inPath_ = false;
  cairo_new_path(cr_);
}

void TGdiDevice::AbortPath() {
  inPath_ = false;
  path_.reset();
  cairo_new_path(cr_);
}

void TGdiDevice::CloseFigure() {
  if (inPath_ && cairo_has_current_point(cr_)) cairo_close_path(cr_);
}

void TGdiDevice::PaintPath(bool fill, bool stroke) {
  EndPath();
  if (!path_) return;
  SyncClip();
  UseDevice();
  cairo_new_path(cr_);
  cairo_append_path(cr_, path_.get());
  path_.reset();
  Finish(fill, stroke);
}

void TGdiDevice::FillPath() {
  PaintPath(true, false);
}

void TGdiDevice::StrokePath() {
  PaintPath(false, true);
}

void TGdiDevice::StrokeAndFillPath() {
  PaintPath(true, true);
}

void TGdiDevice::SelectClipPath(int mode) {
  EndPath();
  if (!path_) return;
  AddClip(path_, false, state_.polyFill != kWinding, mode);
  path_.reset();
}

// ---- text ----

namespace {

std::string Utf8(char32_t c) {
  std::string s;
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | c >> 6);
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | c >> 12);
    s += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | c >> 18);
    s += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    s += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
  return s;
}

// The characters of a UTF-16 run, one UTF-8 string each, with how many code units
// each took (so that the per-unit advances stay aligned).
std::vector<std::pair<std::string, int>> SplitCharacters(const std::u16string& text) {
  std::vector<std::pair<std::string, int>> out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    int units = 1;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
      units = 2;
    } else if ((c >= 0xD800 && c < 0xE000) || c == 0) {
      c = 0xFFFD;
    }
    if (c < 0x20) c = ' ';
    out.emplace_back(Utf8(c), units);
  }
  return out;
}

std::string FontFamily(const std::string& face) {
  std::string clean;
  for (char ch : face)
    if (static_cast<unsigned char>(ch) >= 0x20 && ch != 0x7F) clean += ch;
  return clean.empty() ? std::string("sans-serif") : clean;
}

}  // namespace

void TGdiDevice::Text(const TTextRun& run) {
  if (inPath_ || run.text.empty() || !Spend(run.text.size() * 16)) return;
  SyncClip();
  const cairo_matrix_t m = Full();
  if (!Finite(m) || std::fabs(Det(m)) < 1e-12) return;
  const TGdiFont& font = state_.font;
  UseDevice();
  cairo_new_path(cr_);
  cairo_select_font_face(cr_, FontFamily(font.face).c_str(),
                         font.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         font.weight >= 600 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  const double scaleX = std::hypot(m.xx, m.yx), scaleY = std::hypot(m.xy, m.yy);
  // Character height (negative lfHeight) is the em; a cell height includes the
  // internal leading, so it is shrunk by the face's own ascent + descent.
  cairo_set_font_size(cr_, 1);
  cairo_font_extents_t unit;
  cairo_font_extents(cr_, &unit);
  double em = 0;
  if (font.height < 0)
    em = -font.height * scaleY;
  else if (font.height > 0)
    em = font.height * scaleY / std::max(0.5, unit.ascent + unit.descent);
  else
    em = 16;
  if (!std::isfinite(em) || em < 0.2) return;
  em = std::min(em, 4.0 * (width_ + height_) + 64);
  cairo_set_font_size(cr_, em);
  cairo_font_extents_t fe;
  cairo_font_extents(cr_, &fe);

  // Glyph-index text names glyphs of the font, one a code unit; other text is characters.
  const auto chars = run.glyphIndices
                         ? std::vector<std::pair<std::string, int>>(run.text.size(), {"", 1})
                         : SplitCharacters(run.text);
  const auto glyphAt = [&](size_t i, double x, double y) {
    return cairo_glyph_t{static_cast<unsigned long>(run.text[i]), x, y};
  };
  std::vector<double> advance;
  size_t unitIndex = 0;
  double total = 0;
  for (const auto& [utf8, units] : chars) {
    double a = 0;
    if (unitIndex < run.dx.size()) {
      for (int k = 0; k < units && unitIndex + static_cast<size_t>(k) < run.dx.size(); ++k)
        a += run.dx[unitIndex + static_cast<size_t>(k)] * scaleX;
    } else if (run.glyphIndices) {
      cairo_text_extents_t te;
      const cairo_glyph_t g = glyphAt(unitIndex, 0, 0);
      cairo_glyph_extents(cr_, &g, 1, &te);
      a = te.x_advance;
    } else {
      cairo_text_extents_t te;
      cairo_text_extents(cr_, utf8.c_str(), &te);
      a = te.x_advance;
    }
    unitIndex += static_cast<size_t>(units);
    if (!std::isfinite(a)) a = 0;
    advance.push_back(a);
    total += a;
  }

  const double angle = std::atan2(m.yx, m.xx) - font.escapement * std::numbers::pi / 1800;
  const double ux = std::cos(angle), uy = std::sin(angle);
  const double vx = -uy, vy = ux;
  double rx = (state_.textAlign & 1) ? state_.curX : run.x;
  double ry = (state_.textAlign & 1) ? state_.curY : run.y;
  cairo_matrix_transform_point(&m, &rx, &ry);
  const int h = state_.textAlign & 6, v = state_.textAlign & 24;
  const double along = h == 2 ? -total : h == 6 ? -total / 2 : 0;
  const double across = v == 0 ? fe.ascent : v == 8 ? -fe.descent : 0;
  const double ox = rx + ux * along + vx * across, oy = ry + uy * along + vy * across;

  const auto quad = [&](double a0, double a1, double b0, double b1) {
    cairo_move_to(cr_, ox + ux * a0 + vx * b0, oy + uy * a0 + vy * b0);
    cairo_line_to(cr_, ox + ux * a1 + vx * b0, oy + uy * a1 + vy * b0);
    cairo_line_to(cr_, ox + ux * a1 + vx * b1, oy + uy * a1 + vy * b1);
    cairo_line_to(cr_, ox + ux * a0 + vx * b1, oy + uy * a0 + vy * b1);
    cairo_close_path(cr_);
  };
  const bool clipped = run.hasRect && (run.options & 4);
  cairo_save(cr_);
  if (run.hasRect && (run.options & 6)) {
    cairo_set_matrix(cr_, &m);
    AddRect(run.rect[0], run.rect[1], run.rect[2], run.rect[3]);
    UseDevice();
    if (run.options & 2) {
      Colour(state_.bkColor);
      cairo_fill_preserve(cr_);
    }
    if (clipped)
      cairo_clip(cr_);
    else
      cairo_new_path(cr_);
  }
  if (state_.bkMode == kOpaque && !(run.options & 2)) {
    quad(0, total, -fe.ascent, fe.descent);
    Colour(state_.bkColor);
    cairo_fill(cr_);
  }
  cairo_matrix_t fm;
  cairo_matrix_init_rotate(&fm, angle);
  cairo_matrix_scale(&fm, em, em);
  cairo_set_font_matrix(cr_, &fm);
  Colour(state_.textColor);
  // Large glyphs go through outlines: the glyph cache would hold a bitmap of each.
  const bool outline = em > 256;
  double at = 0;
  for (size_t i = 0; i < chars.size(); ++i) {
    const double gx = ox + ux * at, gy = oy + uy * at;
    if (run.glyphIndices) {
      const cairo_glyph_t g = glyphAt(i, gx, gy);
      if (outline)
        cairo_glyph_path(cr_, &g, 1);
      else
        cairo_show_glyphs(cr_, &g, 1);
    } else {
      cairo_move_to(cr_, gx, gy);
      if (outline)
        cairo_text_path(cr_, chars[i].first.c_str());
      else
        cairo_show_text(cr_, chars[i].first.c_str());
    }
    at += advance[i];
  }
  if (outline) cairo_fill(cr_);
  const double thick = std::max(1.0, em / 16);
  if (font.underline) {
    quad(0, total, fe.descent * 0.4, fe.descent * 0.4 + thick);
    cairo_fill(cr_);
  }
  if (font.strikeOut) {
    quad(0, total, -fe.ascent * 0.3, -fe.ascent * 0.3 + thick);
    cairo_fill(cr_);
  }
  cairo_restore(cr_);
  cairo_new_path(cr_);
  if (state_.textAlign & 1) {
    double dx = ux * total, dy = uy * total;
    cairo_matrix_t inv = m;
    if (cairo_matrix_invert(&inv) == CAIRO_STATUS_SUCCESS) {
      cairo_matrix_transform_distance(&inv, &dx, &dy);
      state_.curX += dx, state_.curY += dy;
    }
  }
}

// ---- raster operations ----

void TGdiDevice::AddSourceRect(cairo_t* cr, double x, double y, double w, double h,
                               cairo_surface_t* source, double sx, double sy, double sw, double sh,
                               cairo_filter_t filter) {
  cairo_translate(cr, x, y);
  cairo_scale(cr, w / sw, h / sh);
  cairo_translate(cr, -sx, -sy);
  cairo_set_source_surface(cr, source, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), filter);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_rectangle(cr, sx, sy, sw, sh);
}

void TGdiDevice::Blit(double x, double y, double w, double h, cairo_surface_t* source, double sx,
                      double sy, double sw, double sh, uint32_t rop) {
  if (inPath_ || w == 0 || h == 0) return;
  const uint8_t table = static_cast<uint8_t>(rop >> 16);
  if (RopUsesSource(table) && (!source || sw == 0 || sh == 0)) return;
  if (!Spend(64)) return;
  SyncClip();
  cairo_new_path(cr_);
  if (!UseLogical()) return;
  if (table == 0xCC) {
    const bool enlarging = std::fabs(w * Scale()) > std::fabs(sw) * 1.5;
    AddSourceRect(cr_, x, y, w, h, source, sx, sy, sw, sh,
                  enlarging ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    UseDevice();
    cairo_fill(cr_);
    return;
  }
  if (table == 0xF0 || table == 0x00 || table == 0xFF) {
    AddRect(x, y, x + w, y + h);
    UseDevice();
    if (table == 0x00)
      Colour(0);
    else if (table == 0xFF)
      Colour(0xFFFFFF);
    else if (!SetSourceBrush(state_.brush)) {
      cairo_new_path(cr_);
      return;
    }
    cairo_fill(cr_);
    return;
  }
  RasterOp(x, y, w, h, source, sx, sy, sw, sh, rop);
}

void TGdiDevice::AlphaBlend(double x, double y, double w, double h, cairo_surface_t* source,
                            double sx, double sy, double sw, double sh, double alpha) {
  if (inPath_ || w == 0 || h == 0 || sw == 0 || sh == 0 || !source || !Spend(64)) return;
  SyncClip();
  cairo_new_path(cr_);
  if (!UseLogical()) return;
  cairo_save(cr_);
  AddSourceRect(cr_, x, y, w, h, source, sx, sy, sw, sh, CAIRO_FILTER_GOOD);
  UseDevice();
  cairo_clip(cr_);
  cairo_paint_with_alpha(cr_, std::clamp(alpha, 0.0, 1.0));
  cairo_restore(cr_);
  cairo_new_path(cr_);
}

void TGdiDevice::RasterOp(double x, double y, double w, double h, cairo_surface_t* source,
                          double sx, double sy, double sw, double sh, uint32_t rop) {
  const uint8_t table = static_cast<uint8_t>(rop >> 16);
  // Where the operation lands on the surface.
  double x1 = x, y1 = y, x2 = x + w, y2 = y + h;
  cairo_user_to_device(cr_, &x1, &y1);
  cairo_user_to_device(cr_, &x2, &y2);
  double cx1 = x + w, cy1 = y, cx2 = x, cy2 = y + h;
  cairo_user_to_device(cr_, &cx1, &cy1);
  cairo_user_to_device(cr_, &cx2, &cy2);
  const double left = std::max(0.0, std::floor(std::min({x1, x2, cx1, cx2})));
  const double top = std::max(0.0, std::floor(std::min({y1, y2, cy1, cy2})));
  const double right = std::min<double>(width_, std::ceil(std::max({x1, x2, cx1, cx2})));
  const double bottom = std::min<double>(height_, std::ceil(std::max({y1, y2, cy1, cy2})));
  if (!(right > left && bottom > top)) return;
  const int bx = static_cast<int>(left), by = static_cast<int>(top);
  const int bw = static_cast<int>(right - left), bh = static_cast<int>(bottom - top);
  if (!Spend(static_cast<uint64_t>(bw) * static_cast<uint64_t>(bh) / 16)) return;

  // Coverage (and source colours) drawn with the same mapping and clip onto a scratch
  // surface the size of the affected area.
  TSurfacePtr scratch = Own(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, bw, bh));
  if (!scratch) return;
  cairo_surface_set_device_offset(scratch.get(), -bx, -by);
  cairo_t* cr = cairo_create(scratch.get());
  ApplyClip(cr);
  const cairo_matrix_t m = Full();
  cairo_set_matrix(cr, &m);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  if (source && RopUsesSource(table)) {
    AddSourceRect(cr, x, y, w, h, source, sx, sy, sw, sh, CAIRO_FILTER_NEAREST);
  } else {
    cairo_set_source_rgb(cr, 1, 1, 1);
    AddRect(x, y, x + w, y + h);
  }
  cairo_identity_matrix(cr);
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(scratch.get());
  cairo_surface_flush(surface_);

  const TColorRef p = state_.brush.style == kBsNull ? 0 : state_.brush.color;
  const uint8_t pr = Red(p), pg = Green(p), pb = Blue(p);
  const uint8_t* sdata = cairo_image_surface_get_data(scratch.get());
  const int sstride = cairo_image_surface_get_stride(scratch.get());
  uint8_t* ddata = cairo_image_surface_get_data(surface_);
  const int dstride = cairo_image_surface_get_stride(surface_);
  for (int yy = 0; yy < bh; ++yy) {
    const auto* srow =
        reinterpret_cast<const uint32_t*>(sdata + static_cast<ptrdiff_t>(yy) * sstride);
    auto* drow =
        reinterpret_cast<uint32_t*>(ddata + static_cast<ptrdiff_t>(yy + by) * dstride) + bx;
    for (int xx = 0; xx < bw; ++xx) {
      const uint32_t s = srow[xx];
      if ((s >> 24) < 128) continue;
      const uint32_t d = drow[xx];
      const uint8_t r =
          Rop3(table, pr, static_cast<uint8_t>(s >> 16), static_cast<uint8_t>(d >> 16));
      const uint8_t g = Rop3(table, pg, static_cast<uint8_t>(s >> 8), static_cast<uint8_t>(d >> 8));
      const uint8_t b = Rop3(table, pb, static_cast<uint8_t>(s), static_cast<uint8_t>(d));
      drow[xx] = uint32_t{r} << 16 | uint32_t{g} << 8 | b;
    }
  }
  cairo_surface_mark_dirty(surface_);
}

}  // namespace vx::metafile
