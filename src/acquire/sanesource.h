#pragma once
// The SANE devices as data sources of the built-in manager: identities from the device
// list, capabilities from the device's options, images from sane_read.
#include <sane/sane.h>
#include <sane/saneopts.h>

#include <memory>
#include <string>
#include <vector>

#include "acquire/twaindsm.h"

namespace vx {

class TVXTWSourceDialog;

// sane_init for the life of the object, sane_exit after it; the sources it makes must
// be gone first.
class TSaneSession {
 public:
  // nullptr, with SANE's reason in error, when SANE does not start.
  static std::unique_ptr<TSaneSession> Start(std::string& error);
  ~TSaneSession();
  TSaneSession(const TSaneSession&) = delete;
  TSaneSession& operator=(const TSaneSession&) = delete;

  // One source per device SANE lists.
  std::vector<std::unique_ptr<TVXTWDataSource>> Sources() const;

 private:
  TSaneSession() = default;
};

// The product name of a device: vendor, model and device name, shortened in the middle
// so that the device name always fits the 33 characters of a TWAIN name.
std::string SaneProductName(const std::string& vendor, const std::string& model,
                            const std::string& device);

class TSaneSource : public TVXTWDataSource {
 public:
  TSaneSource(std::string device, std::string vendor, std::string model);
  ~TSaneSource() override;

  void Describe(TW_IDENTITY& identity) const override;
  bool Open(std::string& error) override;
  void Close() override;
  TW_UINT16 Entry(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) override;
  TW_UINT16 TakeMessage() override;
  TW_UINT16 ConditionCode() const override { return cc_; }
  std::string LastError() const override { return error_; }

  const std::string& Device() const { return device_; }

 protected:
  TW_UINT16 Refuse(TW_UINT16 cc) {
    cc_ = cc;
    return TWRC_FAILURE;
  }
  virtual TW_UINT16 Capability(TW_UINT16 msg, TW_CAPABILITY& cap);

 private:
  struct TOptions {
    int resolution = -1, xResolution = -1, yResolution = -1;
    int mode = -1, depth = -1, source = -1;
    int tlx = -1, tly = -1, brx = -1, bry = -1;
  };

  // ---- options ----
  void FindOptions();
  const SANE_Option_Descriptor* Desc(int option) const;
  bool Active(int option) const;
  bool GetNumber(int option, double& value) const;
  SANE_Status SetNumber(int option, double value, bool* inexact = nullptr);
  std::string GetString(int option) const;
  SANE_Status SetString(int option, const std::string& value);
  std::vector<std::string> StringList(int option) const;
  std::string FindMode(int pixelType) const;
  std::string FeederEntry(bool feeder) const;
  bool DepthOffered(int depth) const;
  bool MmOption(int option) const;

  // ---- capabilities ----
  TW_UINT16 GetCap(TW_CAPABILITY& cap);
  TW_UINT16 SetCap(TW_CAPABILITY& cap);
  TW_UINT16 ResolutionCap(int option, TW_CAPABILITY& cap);
  std::vector<int> PixelTypes() const;
  int CurrentPixelType() const;
  TW_UINT16 SetPixelType(int type);
  bool FeederEnabled() const;
  double MaxExtent(int option) const;  // inches

  // ---- layout ----
  TW_UINT16 GetLayout(TW_IMAGELAYOUT& layout);
  TW_UINT16 SetLayout(const TW_IMAGELAYOUT& layout);

  // ---- session ----
  TW_UINT16 Enable(const TW_USERINTERFACE& ui);
  void Disable();
  void PollDialog();
  void ApplyDialog();
  bool StartPage(bool nextSheet = false);
  void EndPage();
  void EndBatch();
  TW_UINT16 DeviceFailure(SANE_Status status);
  TW_UINT16 ImageInfo(TW_IMAGEINFO& info) const;
  TW_UINT16 MemoryStrip(TW_IMAGEMEMXFER& xfer);
  TW_UINT16 NativeImage(TW_HANDLE* out);
  TW_UINT16 PendingTransfers(TW_UINT16 msg, TW_PENDINGXFERS& pending);
  SANE_Status ReadLine(uint8_t* line);
  void ConvertLine(const uint8_t* line, uint8_t* out) const;
  int OutBitsPerPixel() const;
  size_t OutRowBytes() const;

  std::string device_, vendor_, model_;
  SANE_Handle handle_ = nullptr;
  TOptions opt_;
  TW_UINT16 cc_ = TWCC_SUCCESS;
  std::string error_;

  bool enabled_ = false;
  std::unique_ptr<TVXTWSourceDialog> dialog_;
  TW_UINT16 message_ = MSG_NULL;
  TW_UINT16 xferMech_ = TWSX_NATIVE;
  bool indicators_ = true;

  // the page being transferred
  bool pageStarted_ = false;
  bool pageDone_ = false;
  bool stopFeeding_ = false;
  bool feeding_ = false;    // the batch comes from the feeder
  bool uiSession_ = false;  // the batch was started from the dialog
  SANE_Parameters params_{};
  int lines_ = 0;
  int rowsDone_ = 0;
  double xres_ = 0, yres_ = 0;
  SANE_Status deferred_ = SANE_STATUS_GOOD;  // an error met after rows were already delivered
  std::vector<uint8_t> stage_;               // bytes read from SANE, not yet used
  size_t stagePos_ = 0, stageLen_ = 0;
  std::vector<uint8_t> whole_;  // the image, when the device cannot tell its length
  std::vector<uint8_t> line_;
};

}  // namespace vx
