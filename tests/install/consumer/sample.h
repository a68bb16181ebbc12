#pragma once
// The picture the test script writes as a BMP: red grows along x, green along y.
#include <cstdint>

namespace sample {

constexpr int kWidth = 7;
constexpr int kHeight = 5;

inline uint8_t Red(int x, int) {
  return static_cast<uint8_t>(30 * x + 10);
}
inline uint8_t Green(int, int y) {
  return static_cast<uint8_t>(50 * y + 5);
}
inline uint8_t Blue(int x, int y) {
  return static_cast<uint8_t>(200 - 3 * x - 7 * y);
}

}  // namespace sample
