#pragma once
// The library's arithmetic words, written once and used everywhere:
//   round  - nearest, halves to the even neighbour
//   trunc  - toward zero
//   div    - integer division toward zero
//   blimit - clamp to 0..255
// "extended" is the wide floating type used where formulas ask for extra precision.
#include <cfenv>
#include <cmath>
#include <cstdint>

namespace vx {

using extended = long double;

// Round half to even. Independent of the current floating-point rounding mode.
inline int64_t Round(extended v) {
  extended f = std::floor(v);
  const extended diff = v - f;
  if (diff > 0.5L || (diff == 0.5L && std::fmod(f, 2.0L) != 0)) f += 1;
  return static_cast<int64_t>(f);
}
inline int RoundI(extended v) {
  return static_cast<int>(Round(v));
}

inline int64_t Trunc(extended v) {
  return static_cast<int64_t>(v);
}
inline int TruncI(extended v) {
  return static_cast<int>(v);
}

// C++ integer division already truncates toward zero; the name keeps formulas readable.
inline constexpr int64_t Div(int64_t a, int64_t b) {
  return a / b;
}
inline constexpr int DivI(int a, int b) {
  return a / b;
}

inline constexpr uint8_t blimit(int v) {
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}
inline constexpr int ilimit(int v, int lo, int hi) {
  return v < lo ? lo : v > hi ? hi : v;
}
inline constexpr int imin(int a, int b) {
  return a < b ? a : b;
}
inline constexpr int imax(int a, int b) {
  return a > b ? a : b;
}
inline constexpr double dmin(double a, double b) {
  return a < b ? a : b;
}
inline constexpr double dmax(double a, double b) {
  return a > b ? a : b;
}

// Floor of an extended value: truncation, minus one when the fraction is negative.
inline int VXFloor(extended v) {
  const int t = static_cast<int>(v);
  return (v - t < 0) ? t - 1 : t;
}

}  // namespace vx
