#include "vect/vxvfont.h"

#include <algorithm>
#include <cstring>

namespace vx {

namespace {

void PutLE32(uint8_t* p, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  p[0] = static_cast<uint8_t>(u);
  p[1] = static_cast<uint8_t>(u >> 8);
  p[2] = static_cast<uint8_t>(u >> 16);
  p[3] = static_cast<uint8_t>(u >> 24);
}

int32_t GetLE32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}

// Longest prefix of at most limit bytes that does not end inside a UTF-8 sequence.
size_t Utf8Prefix(std::string_view s, size_t limit) {
  if (s.size() <= limit) return s.size();
  size_t n = limit;
  while (n > 0 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) --n;
  return n;
}

}  // namespace

std::string TVXLogFont::FaceNameString() const {
  const auto end = std::find(FaceName.begin(), FaceName.end(), '\0');
  return std::string(FaceName.begin(), end);
}

void TVXLogFont::SetFaceName(std::string_view name) {
  FaceName.fill('\0');
  const size_t n = Utf8Prefix(name, kLogFontFaceBytes - 1);
  std::memcpy(FaceName.data(), name.data(), n);
}

TFontStyles TVXLogFont::Styles() const {
  TFontStyles s;
  if (Weight >= kFontWeightBold) s.Include(fsBold);
  if (Italic) s.Include(fsItalic);
  if (Underline) s.Include(fsUnderline);
  if (StrikeOut) s.Include(fsStrikeOut);
  return s;
}

void TVXLogFont::SetStyles(TFontStyles styles) {
  Weight = styles.Contains(fsBold) ? kFontWeightBold : kFontWeightNormal;
  Italic = styles.Contains(fsItalic) ? 1 : 0;
  Underline = styles.Contains(fsUnderline) ? 1 : 0;
  StrikeOut = styles.Contains(fsStrikeOut) ? 1 : 0;
}

std::array<uint8_t, kLogFontBytes> TVXLogFont::ToBytes() const {
  std::array<uint8_t, kLogFontBytes> b{};
  PutLE32(&b[0], Height);
  PutLE32(&b[4], Width);
  PutLE32(&b[8], Escapement);
  PutLE32(&b[12], Orientation);
  PutLE32(&b[16], Weight);
  const uint8_t bytes[8] = {Italic,       Underline,     StrikeOut, CharSet,
                            OutPrecision, ClipPrecision, Quality,   PitchAndFamily};
  std::memcpy(&b[20], bytes, 8);
  std::memcpy(&b[28], FaceName.data(), kLogFontFaceBytes);
  return b;
}

TVXLogFont TVXLogFont::FromBytes(const uint8_t* b) {
  TVXLogFont f;
  f.Height = GetLE32(b);
  f.Width = GetLE32(b + 4);
  f.Escapement = GetLE32(b + 8);
  f.Orientation = GetLE32(b + 12);
  f.Weight = GetLE32(b + 16);
  f.Italic = b[20];
  f.Underline = b[21];
  f.StrikeOut = b[22];
  f.CharSet = b[23];
  f.OutPrecision = b[24];
  f.ClipPrecision = b[25];
  f.Quality = b[26];
  f.PitchAndFamily = b[27];
  // Kept byte for byte; a name filling all 32 bytes still reads back whole.
  std::memcpy(f.FaceName.data(), b + 28, kLogFontFaceBytes);
  return f;
}

}  // namespace vx
