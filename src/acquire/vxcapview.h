#pragma once
// TVantixVideoView: a view that shows live video from a capture driver in a child
// capture window over its client area, freezes a frame into its own image, hands every
// frame to the application, and records AVI files. Everything goes through the
// messages of the capture window (acquire/capturewindow.h).
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "acquire/capturedraw.h"
#include "acquire/capturewindow.h"
#include "core/vxdefs.h"
#include "platform/exceptions.h"
#include "view/vantixview.h"

namespace vx {

class TVideoCapException : public EVXError {
 public:
  using EVXError::EVXError;
};

enum class TVCDisplayMode { dmPreview, dmOverlay };
using enum TVCDisplayMode;

// (Sender, Bitmap): the frame decoded into a bitmap that lives for the call.
using TVideoFrameEvent = TMethod<TObject*, TBitmap*>;
// (Sender, format, frame): the frame as the driver gave it, described by the format.
using TVideoFrameRawEvent = TMethod<TObject*, const TBitmapInfoHeader*, const TVideoHdr*>;

// The child window the capture window draws into: shows the capture window's latest
// picture, stretched when the window scales, and brings queued frames to the GUI thread.
class TCaptureWindowWidget : public QWidget, public ICapWindowHost {
  Q_OBJECT
 public:
  explicit TCaptureWindowWidget(QWidget* parent);
  void CapWake(TCapHwnd window) override;
  void CapInvalidate(TCapHwnd window) override;
  void CapPlace(TCapHwnd window, int x, int y, int width, int height) override;
  void CapShow(TCapHwnd window, bool visible) override;
  // Kept hidden whatever the capture window says (the view shows a frozen frame itself).
  void SetSuppressed(bool suppressed);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TCapHwnd window_ = 0;
  bool wanted_ = false;
  bool suppressed_ = false;
};

class TVantixVideoView : public TVantixView {
  Q_OBJECT
  Q_PROPERTY(bool FitFreeze READ FitFreeze WRITE SetFitFreeze)
  Q_PROPERTY(int DisplayMode READ DisplayModeInt WRITE SetDisplayModeInt)
  Q_PROPERTY(bool ShowVideo READ ShowVideo WRITE SetShowVideo)
  Q_PROPERTY(int VideoSource READ VideoSource WRITE SetVideoSource)
  Q_PROPERTY(int PreviewRate READ PreviewRate WRITE SetPreviewRate)

 public:
  explicit TVantixVideoView(QWidget* parent = nullptr);
  ~TVantixVideoView() override;

  // ---- properties ----
  bool FitFreeze() const { return fitFreeze_; }
  void SetFitFreeze(bool v) { fitFreeze_ = v; }
  TVCDisplayMode DisplayMode() const { return displayMode_; }
  void SetDisplayMode(TVCDisplayMode mode);
  bool ShowVideo() const { return showVideo_; }
  void SetShowVideo(bool show);
  int VideoSource() const { return videoSource_; }
  void SetVideoSource(int index);
  int PreviewRate() const { return previewRate_; }
  void SetPreviewRate(int ms);
  const TVideoFrameEvent& OnVideoFrame() const { return onVideoFrame_; }
  void SetOnVideoFrame(TVideoFrameEvent handler);
  const TVideoFrameRawEvent& OnVideoFrameRaw() const { return onVideoFrameRaw_; }
  void SetOnVideoFrameRaw(TVideoFrameRawEvent handler);
  TVXJobEvent OnJob;

  std::vector<std::string> VideoSourceList;
  std::string RecordFileName = "Capture.avi";
  int RecordFrameRate = 15;
  bool RecordAudio = false;
  bool RecordYield = true;

  bool Frozen() const { return frozen_; }
  void SetFrozen(bool frozen);
  bool HasOverlay();
  bool HasDlgVideoSource();
  bool HasDlgVideoFormat();
  bool HasDlgVideoDisplay();

  // ---- methods ----
  void FillDrivers();
  void CreateCaptureWindow();
  void DestroyCaptureWindow();
  void DriverConnect();
  bool DriverConnectNE();
  void DriverDisconnect();
  TCAPDRIVERCAPS GetCaps();
  TRect GetVideoSize();
  void FillBitmapInfo();
  bool DoConfigureSource();
  bool DoConfigureFormat();
  bool DoConfigureDisplay();
  bool DoConfigureCompression();
  void StartRecord();
  void StopRecord();
  void Freeze();
  void UnFreeze();
  void DecompRawFrame(TBitmap& bitmap, const uint8_t* data, size_t size);
  void SetCallBackFrame();
  void DoJob(TVXJob job, int value);

  // ---- state ----
  bool Connected() const { return connected_; }
  bool Recording() const { return recording_; }
  TCapHwnd CaptureWindow() const { return window_; }
  TCaptureWindowWidget* CaptureWidget() const { return widget_; }
  // The cached video format (header and 256-entry colour table room).
  const TBitmapInfoHeader& VideoFormat() const;
  size_t VideoFormatBlockSize() const { return formatBlock_.size(); }

  void SetScrollBars(TScrollStyle s) override;
  void Select(int x1, int y1, int x2, int y2) override;
  void AddSelPoint(int x, int y) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  static intptr_t FrameCallback(TCapHwnd window, const TVideoHdr* header);
  static intptr_t YieldCallback(TCapHwnd window);
  intptr_t Send(uint32_t message, uintptr_t w = 0, intptr_t l = 0) const;
  void StartVideo();
  void StopVideo();
  bool Configure(uint32_t message);
  bool CapsFlag(int32_t TCAPDRIVERCAPS::*flag);
  bool AcceptsSelection() const { return frozen_ || !showVideo_; }
  int DisplayModeInt() const { return static_cast<int>(displayMode_); }
  void SetDisplayModeInt(int v) { SetDisplayMode(v ? dmOverlay : dmPreview); }

  bool fitFreeze_ = true;
  TVCDisplayMode displayMode_ = dmPreview;
  bool showVideo_ = false;
  int videoSource_ = 0;
  int previewRate_ = 60;
  TVideoFrameEvent onVideoFrame_;
  TVideoFrameRawEvent onVideoFrameRaw_;
  bool frozen_ = false;
  TScrollStyle wantedScrollBars_ = ssNone;

  TCapHwnd window_ = 0;
  TCaptureWindowWidget* widget_ = nullptr;
  bool connected_ = false;
  bool callbackOn_ = false;
  bool recording_ = false;
  bool grabbing_ = false;
  std::vector<uint8_t> formatBlock_;
  bool formatValid_ = false;
  TDrawDib draw_ = nullptr;
};

}  // namespace vx
