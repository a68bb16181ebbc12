#include "acquire/twainparams.h"

#include <strings.h>
#include <cstring>

#include "acquire/imscan.h"

namespace vx {

void TVXTWSourceCaps::Clear() {
  *this = TVXTWSourceCaps{};
}

void TVXTWSourceCaps::Assign(const TVXTWSourceCaps& other) {
  XResolution.Assign(other.XResolution);
  YResolution.Assign(other.YResolution);
  XScaling.Assign(other.XScaling);
  YScaling.Assign(other.YScaling);
  PixelType.Assign(other.PixelType);
  Orientation.Assign(other.Orientation);
  Gamma = other.Gamma;
  PhysicalWidth = other.PhysicalWidth;
  PhysicalHeight = other.PhysicalHeight;
  FeederEnabled = other.FeederEnabled;
  Indicators = other.Indicators;
  std::memcpy(AcquireFrame, other.AcquireFrame, sizeof AcquireFrame);
}

void TVXTWSourceCaps::ClearChanged() {
  for (TVXList* l : std::initializer_list<TVXList*>{&XResolution, &YResolution, &XScaling,
                                                    &YScaling, &PixelType, &Orientation})
    l->SetChanged(0);
}

void TVXTWainParams::SetSelectedSource(int index) {
  if (index == selectedSource_) return;
  selectedSource_ = index;
  capsFilled_ = false;
  caps_.Clear();
}

void TVXTWainParams::FillSourceListData() {
  if (listFilled_) return;
  sources_.clear();
  VXTW_GetSourceList(sources_);
  listFilled_ = true;
}

int TVXTWainParams::GetSourceCount() {
  FillSourceListData();
  return static_cast<int>(sources_.size());
}

std::string TVXTWainParams::GetSourceName(int i) {
  const TW_IDENTITY* id = SourceIdentity(i);
  return id ? std::string(id->ProductName, strnlen(id->ProductName, sizeof id->ProductName)) : "";
}

const TW_IDENTITY* TVXTWainParams::SourceIdentity(int i) {
  FillSourceListData();
  return i >= 0 && i < static_cast<int>(sources_.size()) ? &sources_[static_cast<size_t>(i)]
                                                         : nullptr;
}

bool TVXTWainParams::SelectSourceByName(const std::string& name) {
  const int n = GetSourceCount();
  for (int i = 0; i < n; ++i) {
    const std::string product = GetSourceName(i);
    if (product.size() >= name.size() &&
        strncasecmp(product.c_str(), name.c_str(), name.size()) == 0) {
      SetSelectedSource(i);
      return true;
    }
  }
  return false;
}

void TVXTWainParams::FillCapabilities() {
  if (capsFilled_) return;
  capsFilled_ = true;  // also when the source cannot be read: ask once, not at every look
  VXTW_GetCapabilities(*this, caps_, false);
}

bool TVXTWainParams::Update() {
  capsFilled_ = true;
  return VXTW_GetCapabilities(*this, caps_, true);
}

void TVXTWainParams::SetDefaultParams() {
  visibleDialog_ = true;
  bufferedTransfer_ = true;
  selectedSource_ = 0;
  listFilled_ = false;
  sources_.clear();
  capsFilled_ = false;
  caps_.Clear();
  lastError_.clear();
}

void TVXTWainParams::Assign(const TVXTWainParams& other) {
  if (&other == this) return;
  visibleDialog_ = other.visibleDialog_;
  bufferedTransfer_ = other.bufferedTransfer_;
  selectedSource_ = other.selectedSource_;
  listFilled_ = other.listFilled_;
  sources_ = other.sources_;
  capsFilled_ = other.capsFilled_;
  caps_.Assign(other.caps_);
  lastError_ = other.lastError_;
}

}  // namespace vx
