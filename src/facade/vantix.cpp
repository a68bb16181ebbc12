#include "facade/vantix.h"

#include "view/vxhint.h"

namespace vx {

TVantix::TVantix(QWidget* parent) : TVantix(parent, nullptr) {}

TVantix::TVantix(QWidget* parent, std::unique_ptr<TVantixIO> io) : TVantixView(parent) {
  // The processing component first, with undo on, then the input/output one; both
  // work on this control's image.
  proc_ = std::make_unique<TVantixProc>();
  proc_->SetAttachedVantix(this);
  proc_->SetAutoUndo(true);
  io_ = io ? std::move(io) : std::make_unique<TVantixIO>();
  io_->SetAttachedVantix(this);
}

TVantix::~TVantix() {
  // Processing first, then input/output; the view part goes after them, so neither
  // member ever sees a half-destroyed host.
  proc_.reset();
  io_.reset();
}

void TVantix::SetOnProgress(const TProgressEvent& handler) {
  proc_->OnProgress = handler;
  io_->OnProgress = handler;
}

void TVantix::SetMsgLanguage(TMsgLanguage language) {
  proc_->SetMsgLanguage(language);
  io_->SetMsgLanguage(language);
}

void TVantix::SetMsgLanguageInt(int v) {
  if (v < static_cast<int>(msSystem) || v > static_cast<int>(msUser)) return;
  SetMsgLanguage(static_cast<TMsgLanguage>(v));
}

void TVantix::SetPreviewFont(const TFont& font) {
  io_->SetPreviewFont(font);
  proc_->SetPreviewFont(font);
}

QFont TVantix::PreviewQFont() const {
  return ToQFont(PreviewFont());
}

void TVantix::SetPreviewQFont(const QFont& font) {
  TFont f = PreviewFont();  // the colour is not part of a QFont: keep it
  f.Name = font.family().toStdString();
  if (font.pointSize() > 0) f.Size = font.pointSize();
  f.Bold = font.bold();
  f.Italic = font.italic();
  f.Underline = font.underline();
  SetPreviewFont(f);
}

void TVantix::Assign(const TVantixView* source) {
  AssignIOParams(source);
  TVantixView::Assign(source);
}

void TVantix::AssignIOParams(const TObject* source) {
  if (const auto* facade = dynamic_cast<const TVantix*>(source)) {
    if (facade != this) io_->AssignParams(facade->io_.get());
  } else if (const auto* io = dynamic_cast<const TVantixIO*>(source)) {
    io_->AssignParams(io);
  }
}

void TVantix::PointPasteFromClip(int x, int y) {
  // The processing component, attached to this view, turns the client point into the
  // image pixel under it (XScr2Bmp, YScr2Bmp) itself. Converting here as well would
  // move the paste a second time at any zoom or scroll other than 100 % at the origin.
  proc_->PointPasteFromClip(x, y);
}

}  // namespace vx
