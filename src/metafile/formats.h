#pragma once
// The two record formats: reading the header (natural size) and playing the records
// into a device.
#include <cstddef>
#include <cstdint>
#include <string>

#include "metafile/gdidevice.h"

namespace vx::metafile {

struct TWmfLayout {
  bool placeable = false;
  double bounds[4] = {0, 0, 0, 0};  // left, top, right, bottom in logical units
  int unitsPerInch = 0;             // placeable header only
  size_t firstRecord = 0;
  uint16_t objects = 0;
};

struct TEmfLayout {
  int32_t bounds[4] = {0, 0, 0, 0};  // device pixels, inclusive
  int32_t frame[4] = {0, 0, 0, 0};   // 0.01 mm, inclusive
  int32_t device[2] = {0, 0};        // reference device: pixels
  int32_t millimetres[2] = {0, 0};   // and millimetres
  uint32_t handles = 0;
};

// Header checks; false when the bytes are not a metafile of the kind or have no size.
bool ReadWmfLayout(const uint8_t* data, size_t size, TWmfLayout& layout);
bool ReadEmfLayout(const uint8_t* data, size_t size, TEmfLayout& layout);

// Natural size in pixels at dpi; 0 when none can be told.
void WmfNaturalSize(const TWmfLayout& layout, int dpiX, int dpiY, int& width, int& height);
void EmfNaturalSize(const TEmfLayout& layout, int dpiX, int dpiY, int& width, int& height);

// Plays the records, scaled so that the picture fills width x height of the device's
// surface. A damaged record stream stops where the damage starts.
void PlayWmf(const uint8_t* data, size_t size, const TWmfLayout& layout, TGdiDevice& device,
             int width, int height);
void PlayEmf(const uint8_t* data, size_t size, const TEmfLayout& layout, TGdiDevice& device,
             int width, int height);

// Helpers the two players share.
std::u16string WidenAnsi(const uint8_t* text, size_t length);
bool DibBottomUp(const uint8_t* bmi, size_t size);

}  // namespace vx::metafile
