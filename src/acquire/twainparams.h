#pragma once
// The scanner settings a component keeps: which source, and the capability values to
// ask it for. Values are read from the source the first time they are looked at, and
// only the values changed since then are sent back.
#include <string>
#include <vector>

#include "acquire/vxtwain.h"
#include "core/vxlists.h"
#include "platform/object.h"

namespace vx {

// The capability values of one source.
struct TVXTWSourceCaps {
  TVXDoubleList XResolution, YResolution;  // dpi
  TVXDoubleList XScaling, YScaling;
  TVXIntegerList PixelType;  // 0 black and white, 1 grey, 2 RGB
  double Gamma = 2.2;
  double PhysicalWidth = 0, PhysicalHeight = 0;  // inches
  bool FeederEnabled = false;
  TVXIntegerList Orientation;
  bool Indicators = true;
  double AcquireFrame[4] = {0, 0, 0, 0};  // left, top, right, bottom, inches

  void Clear();
  void Assign(const TVXTWSourceCaps& other);
  // Forgets which values were changed, so that read values are not sent back.
  void ClearChanged();
};

class TVXTWainParams : public TObject {
 public:
  TVXTWainParams() = default;

  bool VisibleDialog() const { return visibleDialog_; }
  void SetVisibleDialog(bool v) { visibleDialog_ = v; }
  bool BufferedTransfer() const { return bufferedTransfer_; }
  void SetBufferedTransfer(bool v) { bufferedTransfer_ = v; }

  // ---- the source list (filled once from the manager on first use) ----
  int SelectedSource() const { return selectedSource_; }
  // A new selection drops the cached capabilities; they are read anew when asked for.
  void SetSelectedSource(int index);
  int GetSourceCount();
  int SourceCount() { return GetSourceCount(); }
  // The product name of source i; empty outside the list.
  std::string GetSourceName(int i);
  std::string SourceName(int i) { return GetSourceName(i); }
  // The identity of source i (nullptr outside the list).
  const TW_IDENTITY* SourceIdentity(int i);
  void FillSourceListData();
  // Selects the first source whose product name starts with name, in any case.
  bool SelectSourceByName(const std::string& name);

  // ---- capabilities (each getter reads them from the source once) ----
  void FillCapabilities();
  TVXDoubleList& XResolution() { return Caps().XResolution; }
  TVXDoubleList& YResolution() { return Caps().YResolution; }
  TVXDoubleList& XScaling() { return Caps().XScaling; }
  TVXDoubleList& YScaling() { return Caps().YScaling; }
  TVXIntegerList& PixelType() { return Caps().PixelType; }
  TVXIntegerList& Orientation() { return Caps().Orientation; }
  double Gamma() { return Caps().Gamma; }
  double PhysicalWidth() { return Caps().PhysicalWidth; }
  double PhysicalHeight() { return Caps().PhysicalHeight; }
  bool FeederEnabled() { return Caps().FeederEnabled; }
  void SetFeederEnabled(bool v) { Caps().FeederEnabled = v; }
  bool Indicators() { return Caps().Indicators; }
  void SetIndicators(bool v) { Caps().Indicators = v; }
  double AcquireFrame(int i) { return i >= 0 && i < 4 ? Caps().AcquireFrame[i] : 0; }
  void SetAcquireFrame(int i, double v) {
    if (i >= 0 && i < 4) Caps().AcquireFrame[i] = v;
  }

  // The values as they stand, without reading the source (what the acquisition sends).
  TVXTWSourceCaps& CurrentCaps() { return caps_; }
  const TVXTWSourceCaps& CurrentCaps() const { return caps_; }
  bool CapabilitiesRead() const { return capsFilled_; }

  // Sends the changed values to the source and reads them all again.
  bool Update();
  // Frees the source list and restores every default.
  void SetDefaultParams();
  // Copies everything, source identities included.
  void Assign(const TVXTWainParams& other);

  // Why the last acquisition or reading of the source failed; empty after a success.
  const std::string& LastError() const { return lastError_; }
  void SetLastError(std::string why) { lastError_ = std::move(why); }

 private:
  TVXTWSourceCaps& Caps() {
    FillCapabilities();
    return caps_;
  }

  bool visibleDialog_ = true;
  bool bufferedTransfer_ = true;
  int selectedSource_ = 0;
  bool listFilled_ = false;
  std::vector<TW_IDENTITY> sources_;
  bool capsFilled_ = false;
  TVXTWSourceCaps caps_;
  std::string lastError_;
};

}  // namespace vx
