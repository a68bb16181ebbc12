#include "acquire/vxcapview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <cmath>
#include <cstring>

#include "acquire/vxcapdialogs.h"
#include "platform/canvas.h"
#include "proc/resample.h"

namespace vx {

namespace {

// Room for a bitmap header and a 256-entry colour table.
constexpr size_t kMinFormatBlock = 1068;

// While a recording holds the GUI thread, only Escape gets through: it ends the
// recording. Other input is dropped, as it would be by a busy program.
class TEscapeFilter : public QObject {
 public:
  explicit TEscapeFilter(TVantixVideoView* view) : view_(view) {}
  bool eventFilter(QObject*, QEvent* e) override {
    switch (e->type()) {
      case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape && view_) view_->StopRecord();
        return true;
      case QEvent::KeyRelease:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::Close:
        return true;
      default:
        return false;
    }
  }

 private:
  QPointer<TVantixVideoView> view_;
};

}  // namespace

// ---- the child window ----

TCaptureWindowWidget::TCaptureWindowWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  hide();
}

void TCaptureWindowWidget::CapWake(TCapHwnd window) {
  // Any thread: the dispatch itself runs on the GUI thread.
  QMetaObject::invokeMethod(
      this, [window] { capDispatch(window); }, Qt::QueuedConnection);
}

void TCaptureWindowWidget::CapInvalidate(TCapHwnd window) {
  window_ = window;
  update();
}

void TCaptureWindowWidget::CapPlace(TCapHwnd window, int x, int y, int width, int height) {
  window_ = window;
  setGeometry(x, y, width, height);
}

void TCaptureWindowWidget::CapShow(TCapHwnd window, bool visible) {
  window_ = window;
  wanted_ = visible;
  setVisible(visible && !suppressed_);
}

void TCaptureWindowWidget::SetSuppressed(bool suppressed) {
  suppressed_ = suppressed;
  setVisible(wanted_ && !suppressed_);
}

void TCaptureWindowWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const auto picture = capLatestPicture(window_);
  if (!picture || picture->Width <= 0 || picture->Height <= 0) {
    p.fillRect(rect(), Qt::black);
    return;
  }
  const QImage image(picture->Pixels.data(), picture->Width, picture->Height, picture->Stride,
                     QImage::Format_BGR888);
  if (capGetScale(window_)) {
    p.drawImage(rect(), image);
  } else {
    p.fillRect(rect(), Qt::black);
    p.drawImage(0, 0, image);
  }
}

// ---- the view ----

TVantixVideoView::TVantixVideoView(QWidget* parent) : TVantixView(parent) {
  formatBlock_.assign(kMinFormatBlock, 0);
  draw_ = DrawDibOpen();
  InstallCaptureDialogs();
  FillDrivers();
}

TVantixVideoView::~TVantixVideoView() {
  VideoSourceList.clear();
  DestroyCaptureWindow();
  formatBlock_.clear();
  DrawDibClose(draw_);
}

intptr_t TVantixVideoView::Send(uint32_t message, uintptr_t w, intptr_t l) const {
  return window_ ? capSendMessage(window_, message, w, l) : 0;
}

void TVantixVideoView::FillDrivers() {
  VideoSourceList.clear();
  for (int i = 0; i <= 9; ++i) {
    std::string name, version;
    if (capGetDriverDescription(i, name, version)) VideoSourceList.push_back(name + " " + version);
  }
}

void TVantixVideoView::CreateCaptureWindow() {
  if (window_) return;
  widget_ = new TCaptureWindowWidget(viewport());
  window_ = capCreateCaptureWindow("TVantixVideoView", WS_CHILD, 0, 0, viewport()->width(),
                                   viewport()->height(), widget_, 0);
  if (showVideo_) StartVideo();
}

void TVantixVideoView::DestroyCaptureWindow() {
  if (!window_) return;
  Send(WM_CAP_SET_USER_DATA, 0, 0);
  StopVideo();
  capDestroyWindow(window_);
  window_ = 0;
  delete widget_;
  widget_ = nullptr;
}

void TVantixVideoView::DoJob(TVXJob job, int value) {
  OnJob(this, job, value);
}

void TVantixVideoView::DriverConnect() {
  CreateCaptureWindow();
  DoJob(vxjVIDEOCAP_CONNECTING, 0);
  if (!Send(WM_CAP_DRIVER_CONNECT, static_cast<uintptr_t>(videoSource_))) {
    DoJob(vxjNOTHING, 0);
    throw TVideoCapException(kCapTextOpenDriver);
  }
  connected_ = true;
  formatValid_ = false;
  FillBitmapInfo();
  DoJob(vxjNOTHING, 0);
}

bool TVantixVideoView::DriverConnectNE() {
  CreateCaptureWindow();
  connected_ = Send(WM_CAP_DRIVER_CONNECT, static_cast<uintptr_t>(videoSource_)) != 0;
  return connected_;
}

void TVantixVideoView::DriverDisconnect() {
  Send(WM_CAP_DRIVER_DISCONNECT);
  connected_ = false;
}

TCAPDRIVERCAPS TVantixVideoView::GetCaps() {
  TCAPDRIVERCAPS caps;
  const bool self = !connected_;
  if (self) DriverConnect();
  Send(WM_CAP_DRIVER_GET_CAPS, sizeof caps, reinterpret_cast<intptr_t>(&caps));
  if (self) DriverDisconnect();
  return caps;
}

bool TVantixVideoView::CapsFlag(int32_t TCAPDRIVERCAPS::*flag) {
  // A capability of a driver that cannot be reached is simply absent.
  try {
    return GetCaps().*flag != 0;
  } catch (const TVideoCapException&) {
    return false;
  }
}

bool TVantixVideoView::HasOverlay() {
  return CapsFlag(&TCAPDRIVERCAPS::fHasOverlay);
}
bool TVantixVideoView::HasDlgVideoSource() {
  return CapsFlag(&TCAPDRIVERCAPS::fHasDlgVideoSource);
}
bool TVantixVideoView::HasDlgVideoFormat() {
  return CapsFlag(&TCAPDRIVERCAPS::fHasDlgVideoFormat);
}
bool TVantixVideoView::HasDlgVideoDisplay() {
  return CapsFlag(&TCAPDRIVERCAPS::fHasDlgVideoDisplay);
}

void TVantixVideoView::FillBitmapInfo() {
  if (formatValid_) return;
  bool self = false;
  if (window_ && !connected_) self = DriverConnectNE();
  if (connected_) {
    const auto size =
        static_cast<size_t>(std::max<intptr_t>(0, Send(WM_CAP_GET_VIDEOFORMAT, 0, 0)));
    formatBlock_.assign(std::max(kMinFormatBlock, size), 0);
    Send(WM_CAP_GET_VIDEOFORMAT, formatBlock_.size(),
         reinterpret_cast<intptr_t>(formatBlock_.data()));
  }
  if (self) DriverDisconnect();
  formatValid_ = true;
}

const TBitmapInfoHeader& TVantixVideoView::VideoFormat() const {
  return *reinterpret_cast<const TBitmapInfoHeader*>(formatBlock_.data());
}

TRect TVantixVideoView::GetVideoSize() {
  CreateCaptureWindow();
  FillBitmapInfo();
  const TBitmapInfoHeader& f = VideoFormat();
  return Rect(0, 0, f.biWidth - 1, std::abs(f.biHeight) - 1);
}

// ---- showing video ----

void TVantixVideoView::SetShowVideo(bool show) {
  if (show == showVideo_) return;
  showVideo_ = show;
  if (show) {
    TVantixView::SetScrollBars(ssNone);
    if (window_) {
      try {
        StartVideo();
      } catch (...) {
        showVideo_ = false;
        TVantixView::SetScrollBars(wantedScrollBars_);
        throw;
      }
    }
  } else {
    if (window_) StopVideo();
    TVantixView::SetScrollBars(wantedScrollBars_);
  }
  viewport()->update();
}

void TVantixVideoView::StartVideo() {
  if (!connected_) DriverConnect();
  Send(WM_CAP_SET_SCALE, 1);
  SetDisplayMode(displayMode_);
  SetCallBackFrame();
  capShowWindow(window_, true);
  widget_->update();
  Send(WM_CAP_SET_USER_DATA, 0, reinterpret_cast<intptr_t>(this));
  if (frozen_) {
    frozen_ = false;
    Freeze();
  }
}

void TVantixVideoView::StopVideo() {
  Send(WM_CAP_SET_USER_DATA, 0, 0);
  if (recording_) StopRecord();
  DriverDisconnect();
  callbackOn_ = false;
  capShowWindow(window_, false);
}

void TVantixVideoView::SetDisplayMode(TVCDisplayMode mode) {
  displayMode_ = mode;
  if (!connected_) return;
  DeSelect();
  if (frozen_) return;
  if (mode == dmPreview) {
    Send(WM_CAP_SET_PREVIEWRATE, static_cast<uintptr_t>(std::max(0, previewRate_)));
    Send(WM_CAP_SET_PREVIEW, 1);
  } else {
    Send(WM_CAP_SET_PREVIEW, 1);
    Send(WM_CAP_SET_OVERLAY, 1);
  }
}

void TVantixVideoView::SetVideoSource(int index) {
  videoSource_ = index;
  if (showVideo_) {
    SetShowVideo(false);
    SetShowVideo(true);
  }
}

void TVantixVideoView::SetPreviewRate(int ms) {
  previewRate_ = ms;
  if (connected_) Send(WM_CAP_SET_PREVIEWRATE, static_cast<uintptr_t>(std::max(0, ms)));
}

void TVantixVideoView::SetScrollBars(TScrollStyle s) {
  wantedScrollBars_ = s;
  if (!showVideo_) TVantixView::SetScrollBars(s);
}

// ---- frames ----

void TVantixVideoView::SetOnVideoFrame(TVideoFrameEvent handler) {
  onVideoFrame_ = std::move(handler);
  SetCallBackFrame();
}

void TVantixVideoView::SetOnVideoFrameRaw(TVideoFrameRawEvent handler) {
  onVideoFrameRaw_ = std::move(handler);
  SetCallBackFrame();
}

void TVantixVideoView::SetCallBackFrame() {
  callbackOn_ = onVideoFrame_.Assigned() || onVideoFrameRaw_.Assigned() || grabbing_;
  if (!connected_) return;
  Send(WM_CAP_SET_CALLBACK_FRAME, 0, callbackOn_ ? reinterpret_cast<intptr_t>(&FrameCallback) : 0);
}

intptr_t TVantixVideoView::FrameCallback(TCapHwnd window, const TVideoHdr* header) {
  auto* view = reinterpret_cast<TVantixVideoView*>(capSendMessage(window, WM_CAP_GET_USER_DATA));
  if (!view || !header) return 0;
  if (view->onVideoFrame_.Assigned()) {
    TBitmap bitmap;
    view->DecompRawFrame(bitmap, header->lpData, header->dwBytesUsed);
    view->onVideoFrame_(view, &bitmap);
  }
  if (view->onVideoFrameRaw_.Assigned()) view->onVideoFrameRaw_(view, &view->VideoFormat(), header);
  if (view->grabbing_) view->DecompRawFrame(view->Bitmap(), header->lpData, header->dwBytesUsed);
  return 1;
}

void TVantixVideoView::DecompRawFrame(TBitmap& bitmap, const uint8_t* data, size_t size) {
  const TBitmapInfoHeader& f = VideoFormat();
  const int w = f.biWidth, h = std::abs(f.biHeight);
  if (w <= 0 || h <= 0) return;
  bitmap.SetPixelFormat(f.biBitCount == 1 ? pf1bit : pf24bit);
  bitmap.SetSize(w, h);
  DrawDibDraw(draw_, bitmap, 0, 0, w, h, &f, data, size);
}

// ---- freezing ----

void TVantixVideoView::SetFrozen(bool frozen) {
  if (frozen)
    Freeze();
  else
    UnFreeze();
}

void TVantixVideoView::Freeze() {
  if (!showVideo_ || !connected_) return;
  grabbing_ = true;
  SetCallBackFrame();
  Send(WM_CAP_SET_PREVIEW, 1);
  Send(WM_CAP_GRAB_FRAME);
  grabbing_ = false;
  SetCallBackFrame();
  frozen_ = true;
  TBitmap& image = Bitmap();
  const int cw = ClientWidth(), ch = ClientHeight();
  if (fitFreeze_ && cw > 0 && ch > 0 && !image.Empty()) {
    const bool enlarge = image.Width() < cw || image.Height() < ch;
    TBitmap fitted;
    if (enlarge && image.PixelFormat() == pf24bit) {
      fitted.SetSize(cw, ch);
      Resample(image, fitted, rfTriangle);
    } else {
      fitted.SetPixelFormat(image.PixelFormat());
      fitted.SetSize(cw, ch);
      fitted.Canvas().StretchDraw(Rect(0, 0, cw, ch), image, smHalftone);
    }
    image.Swap(fitted);
  }
  // The frozen frame is the view's own image: shown (and selectable) by the view.
  if (widget_) widget_->SetSuppressed(true);
  Update();
  ImageChange();
  viewport()->update();
}

void TVantixVideoView::UnFreeze() {
  frozen_ = false;
  if (widget_) widget_->SetSuppressed(false);
  SetDisplayMode(displayMode_);
  viewport()->update();
}

void TVantixVideoView::Select(int x1, int y1, int x2, int y2) {
  if (AcceptsSelection()) TVantixView::Select(x1, y1, x2, y2);
}

void TVantixVideoView::AddSelPoint(int x, int y) {
  if (AcceptsSelection()) TVantixView::AddSelPoint(x, y);
}

// ---- dialogs ----

bool TVantixVideoView::Configure(uint32_t message) {
  CreateCaptureWindow();
  bool self = false;
  if (!connected_) {
    if (!DriverConnectNE()) return false;
    self = true;
  }
  const bool ok = Send(message) != 0;
  formatValid_ = false;
  FillBitmapInfo();
  if (self) DriverDisconnect();
  return ok;
}

bool TVantixVideoView::DoConfigureSource() {
  return Configure(WM_CAP_DLG_VIDEOSOURCE);
}
bool TVantixVideoView::DoConfigureFormat() {
  return Configure(WM_CAP_DLG_VIDEOFORMAT);
}
bool TVantixVideoView::DoConfigureDisplay() {
  return Configure(WM_CAP_DLG_VIDEODISPLAY);
}
bool TVantixVideoView::DoConfigureCompression() {
  return Configure(WM_CAP_DLG_VIDEOCOMPRESSION);
}

// ---- recording ----

intptr_t TVantixVideoView::YieldCallback(TCapHwnd) {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return 1;
}

void TVantixVideoView::StartRecord() {
  if (recording_) return;
  CreateCaptureWindow();
  TCAPTUREPARMS parms;
  Send(WM_CAP_GET_SEQUENCE_SETUP, sizeof parms, reinterpret_cast<intptr_t>(&parms));
  // A rate below 1 would divide by zero; the slowest rate stands in.
  const int rate = std::max(1, RecordFrameRate);
  parms.dwRequestMicroSecPerFrame = static_cast<uint32_t>(std::nearbyint(1000000.0 / rate));
  parms.fYield = RecordYield ? 1 : 0;
  parms.fCaptureAudio = RecordAudio ? -1 : 0;
  Send(WM_CAP_SET_SEQUENCE_SETUP, sizeof parms, reinterpret_cast<intptr_t>(&parms));
  if (!Send(WM_CAP_FILE_SET_CAPTURE_FILE, 0, reinterpret_cast<intptr_t>(RecordFileName.c_str())))
    throw TVideoCapException(kCapTextCreateAvi);
  // Marked before the sequence starts: a recording that does not yield returns only
  // when stopped, and StopRecord from a frame handler must find it running.
  recording_ = true;
  std::unique_ptr<TEscapeFilter> filter;
  if (!RecordYield) {
    filter = std::make_unique<TEscapeFilter>(this);
    qApp->installEventFilter(filter.get());
    Send(WM_CAP_SET_CALLBACK_YIELD, 0, reinterpret_cast<intptr_t>(&YieldCallback));
  }
  const bool started = Send(WM_CAP_SEQUENCE) != 0;
  if (filter) {
    Send(WM_CAP_SET_CALLBACK_YIELD, 0, 0);
    qApp->removeEventFilter(filter.get());
    recording_ = false;  // it ran to its end inside the call
  }
  if (!started) {
    recording_ = false;
    throw TVideoCapException(kCapTextStartRecording);
  }
}

void TVantixVideoView::StopRecord() {
  if (!recording_) return;
  Send(WM_CAP_STOP);
  recording_ = false;
}

// ---- window events ----

void TVantixVideoView::paintEvent(QPaintEvent* event) {
  if (!window_) CreateCaptureWindow();
  if (!showVideo_ || frozen_) {
    TVantixView::paintEvent(event);
    return;
  }
  QPainter p(viewport());
  p.fillRect(viewport()->rect(), Qt::black);
}

void TVantixVideoView::resizeEvent(QResizeEvent* event) {
  TVantixView::resizeEvent(event);
  if (window_) capMoveWindow(window_, 0, 0, viewport()->width(), viewport()->height());
}

}  // namespace vx
