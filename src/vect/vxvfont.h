#pragma once
// The logical-font record that vector text objects carry and VXV files store: 60 bytes,
// little-endian, in this order: height, width, escapement, orientation, weight (32-bit
// signed each), italic, underline, strike-out, character set, output precision, clip
// precision, quality, pitch and family (one byte each), and a zero-terminated 32-byte
// face name. No toolkit is involved; a widget maps it to its own font type.
//
// Height < 0: character height in pixels (-Height); Height > 0: cell height in pixels;
// 0: the box height decides. Escapement is in tenths of a degree, counter-clockwise.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/set.h"

namespace vx {

enum class TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using enum TFontStyle;
using TFontStyles = TSet<TFontStyle>;

inline constexpr int32_t kFontWeightNormal = 400;
inline constexpr int32_t kFontWeightBold = 700;
inline constexpr uint8_t kDefaultCharSet = 1;
inline constexpr uint8_t kGreekCharSet = 161;
inline constexpr int kLogFontBytes = 60;
inline constexpr int kLogFontFaceBytes = 32;

struct TVXLogFont {
  int32_t Height = -11;
  int32_t Width = 0;
  int32_t Escapement = 0;
  int32_t Orientation = 0;
  int32_t Weight = kFontWeightNormal;
  uint8_t Italic = 0;
  uint8_t Underline = 0;
  uint8_t StrikeOut = 0;
  uint8_t CharSet = kDefaultCharSet;
  uint8_t OutPrecision = 0;
  uint8_t ClipPrecision = 0;
  uint8_t Quality = 0;
  uint8_t PitchAndFamily = 0;
  std::array<char, kLogFontFaceBytes> FaceName{'A', 'r', 'i', 'a', 'l'};

  // The face name up to its terminator (at most 31 bytes).
  std::string FaceNameString() const;
  // Stores name, cut to 31 bytes at a UTF-8 character boundary, zero-filled.
  void SetFaceName(std::string_view name);

  TFontStyles Styles() const;
  void SetStyles(TFontStyles styles);

  // The 60-byte stored form and back.
  std::array<uint8_t, kLogFontBytes> ToBytes() const;
  static TVXLogFont FromBytes(const uint8_t* bytes);

  friend bool operator==(const TVXLogFont&, const TVXLogFont&) = default;
};
static_assert(sizeof(TVXLogFont) == kLogFontBytes, "the font record is stored as 60 bytes");

}  // namespace vx
