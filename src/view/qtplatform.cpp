#include "view/qtplatform.h"

#include <QApplication>
#include <QBitmap>
#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <cstring>
#include <map>

#include "core/vxdefs.h"
#include "core/vxutils.h"
#include "platform/screen.h"
#include "platform/syscolors.h"
#include "proc/dibtransfer.h"

namespace vx {

int gSystemColors = 24;
int gAnimDim = 7;

namespace {

uint32_t LE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Bytes between the start of a packed DIB and its pixel rows; 0 when the header is
// not plausible.
size_t DibPixelOffset(const std::vector<uint8_t>& dib) {
  if (dib.size() < 40) return 0;
  const uint32_t headerSize = LE32(dib.data());
  if (headerSize < 40 || headerSize > dib.size()) return 0;
  const unsigned bits = dib[14] | (dib[15] << 8);
  const uint32_t compression = LE32(dib.data() + 16);
  uint32_t colours = LE32(dib.data() + 32);
  if (colours == 0 && bits <= 8) colours = 1u << bits;
  if (colours > 256) return 0;
  size_t offset = headerSize + size_t{colours} * 4;
  if (headerSize == 40 && compression == 3) offset += 12;  // bit-field masks
  return offset <= dib.size() ? offset : 0;
}

QByteArray DibToBmpFile(const std::vector<uint8_t>& dib) {
  const size_t pixels = DibPixelOffset(dib);
  if (pixels == 0) return {};
  QByteArray file(14, '\0');
  auto* h = reinterpret_cast<uint8_t*>(file.data());
  h[0] = 'B';
  h[1] = 'M';
  PutLE32(h + 2, static_cast<uint32_t>(14 + dib.size()));
  PutLE32(h + 10, static_cast<uint32_t>(14 + pixels));
  file.append(reinterpret_cast<const char*>(dib.data()), static_cast<qsizetype>(dib.size()));
  return file;
}

// The packed DIB inside a BMP file. The file header says where the pixel rows start;
// writers may leave a gap after the colour table, which a packed DIB cannot have, so
// the rows are moved up to it (the table is laid out as the DIB decoder reads it).
// Anything implausible is passed on as it is, for the checked decoder to reject.
std::vector<uint8_t> BmpFileToDib(const uint8_t* file, size_t size) {
  std::vector<uint8_t> dib(file + 14, file + size);
  if (dib.size() < 40) return dib;
  const uint64_t headerSize = LE32(dib.data());
  const unsigned bits = dib[14] | (dib[15] << 8);
  const uint32_t compression = LE32(dib.data() + 16);
  uint64_t colours = LE32(dib.data() + 32);
  if (colours == 0 && bits <= 8) colours = uint64_t{1} << bits;
  if (compression > 3 || headerSize < 40) return dib;  // video frames: never from a file
  const uint64_t pixels = headerSize + (compression == 3 && headerSize < 52 ? 12 : 0) + colours * 4;
  const uint64_t offBits = LE32(file + 10);
  if (offBits < 14 || offBits - 14 <= pixels || offBits > size) return dib;
  dib.erase(dib.begin() + static_cast<std::ptrdiff_t>(pixels),
            dib.begin() + static_cast<std::ptrdiff_t>(offBits - 14));
  return dib;
}

std::vector<uint8_t> ImageToDib(const QImage& source) {
  if (source.isNull()) return {};
  const bool mono = source.depth() == 1;
  QImage img = source.convertToFormat(mono ? QImage::Format_Mono : QImage::Format_BGR888);
  if (mono && img.colorCount() == 2 && qGray(img.color(0)) > qGray(img.color(1))) {
    img.invertPixels();  // keep bit 0 the dark colour
    img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  }
  TBitmap b;
  SizeBitmap(b, img.width(), img.height(), mono ? pf1bit : pf24bit);
  const int n = std::min<int>(b.RowLen(), static_cast<int>(img.bytesPerLine()));
  for (int y = 0; y < img.height(); ++y) std::memcpy(b.ScanLine(y), img.constScanLine(y), n);
  return CopyBitmaptoDIB(b);
}

class TQtClipboard : public TClipboard {
 public:
  bool HasDIB() override {
    const QMimeData* m = Mime();
    return m && (m->hasFormat("image/bmp") || m->hasImage());
  }
  std::vector<uint8_t> GetDIB() override {
    const QMimeData* m = Mime();
    if (!m) return {};
    if (m->hasFormat("image/bmp")) {
      const QByteArray file = m->data("image/bmp");
      if (file.size() > 14 + 40 && file.startsWith("BM"))
        return BmpFileToDib(reinterpret_cast<const uint8_t*>(file.constData()),
                            static_cast<size_t>(file.size()));
    }
    if (m->hasImage()) return ImageToDib(qvariant_cast<QImage>(m->imageData()));
    return {};
  }
  void SetDIB(const std::vector<uint8_t>& dib) override {
    if (!qGuiApp) return;
    const QByteArray file = DibToBmpFile(dib);
    if (file.isEmpty()) return;
    auto mime = std::make_unique<QMimeData>();
    mime->setData("image/bmp", file);
    const QImage img = QImage::fromData(file, "BMP");
    if (!img.isNull()) mime->setImageData(img);
    QGuiApplication::clipboard()->setMimeData(mime.release());  // the clipboard owns it
  }
  void Clear() override {
    if (qGuiApp) QGuiApplication::clipboard()->clear();
  }

 private:
  static const QMimeData* Mime() {
    return qGuiApp ? QGuiApplication::clipboard()->mimeData() : nullptr;
  }
};

TWindowHandle ResolveActiveWindow(const TComponent*) {
  QWidget* w = QApplication::activeWindow();
  return reinterpret_cast<TWindowHandle>(w);
}

// ---- cursors: drawn once, 32x32, black shapes with a white rim ----

QPixmap Canvas32() {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  return pm;
}

void Stroke(QPainter& p, const QPainterPath& path, qreal width) {
  p.setRenderHint(QPainter::Antialiasing, false);
  p.strokePath(path, QPen(Qt::white, width + 2, Qt::SolidLine, Qt::SquareCap));
  p.strokePath(path, QPen(Qt::black, width, Qt::SolidLine, Qt::SquareCap));
}

QCursor CrossCursor(int arm, int gap) {
  QPixmap pm = Canvas32();
  QPainter p(&pm);
  QPainterPath path;
  const qreal c = 15.5;
  path.moveTo(c, c - arm);
  path.lineTo(c, c - gap);
  path.moveTo(c, c + gap);
  path.lineTo(c, c + arm);
  path.moveTo(c - arm, c);
  path.lineTo(c - gap, c);
  path.moveTo(c + gap, c);
  path.lineTo(c + arm, c);
  Stroke(p, path, 1);
  return QCursor(pm, 15, 15);
}

QCursor MagnifierCursor(bool plus) {
  QPixmap pm = Canvas32();
  QPainter p(&pm);
  QPainterPath path;
  path.addEllipse(QRectF(1.5, 1.5, 17, 17));
  path.moveTo(16, 16);
  path.lineTo(28, 28);
  path.moveTo(6, 10);
  path.lineTo(14, 10);
  if (plus) {
    path.moveTo(10, 6);
    path.lineTo(10, 14);
  }
  Stroke(p, path, 2);
  return QCursor(pm, 10, 10);  // the lens centre
}

QCursor ArrowsCursor(bool horizontal, bool vertical, int diagonal) {
  QPixmap pm = Canvas32();
  QPainter p(&pm);
  QPainterPath path;
  auto arrow = [&](QPointF a, QPointF b) {
    path.moveTo(a);
    path.lineTo(b);
    const QPointF d = (b - a) / std::hypot((b - a).x(), (b - a).y());
    const QPointF n(-d.y(), d.x());
    for (QPointF end : {a, b}) {
      const QPointF dir = end == a ? d : -d;
      path.moveTo(end + dir * 5 + n * 4);
      path.lineTo(end);
      path.lineTo(end + dir * 5 - n * 4);
    }
  };
  if (horizontal) arrow({3, 15.5}, {28, 15.5});
  if (vertical) arrow({15.5, 3}, {15.5, 28});
  if (diagonal == 1) arrow({5, 5}, {26, 26});  // top-left / bottom-right
  if (diagonal == 2) arrow({26, 5}, {5, 26});  // top-right / bottom-left
  Stroke(p, path, 1.5);
  return QCursor(pm, 15, 15);
}

QCursor HandCursor() {
  QPixmap pm = Canvas32();
  QPainter p(&pm);
  QPainterPath path;
  path.addRoundedRect(QRectF(7, 13, 17, 14), 4, 4);
  for (int i = 0; i < 4; ++i) path.addRoundedRect(QRectF(8 + i * 4, 4 + (i % 3), 3, 11), 1.5, 1.5);
  p.fillPath(path, Qt::white);
  Stroke(p, path, 1);
  return QCursor(pm, 15, 15);
}

QCursor PenCursor() {
  QPixmap pm = Canvas32();
  QPainter p(&pm);
  QPainterPath path;
  path.moveTo(1, 30);  // the nib
  path.lineTo(4, 22);
  path.lineTo(24, 2);
  path.lineTo(29, 7);
  path.lineTo(9, 27);
  path.closeSubpath();
  p.fillPath(path, Qt::white);
  Stroke(p, path, 1);
  return QCursor(pm, 1, 30);
}

QCursor EraserCursor() {
  QPixmap pm = Canvas32();
  QPainter p(&pm);
  QPainterPath path;
  path.moveTo(2, 20);
  path.lineTo(16, 6);
  path.lineTo(28, 18);
  path.lineTo(14, 30);
  path.closeSubpath();
  p.fillPath(path, Qt::white);
  Stroke(p, path, 1);
  return QCursor(pm, 3, 20);  // the rubbing edge
}

std::map<int, QCursor>& Registry() {
  static std::map<int, QCursor> registry;
  return registry;
}

void RegisterLibraryCursors() {
  auto& r = Registry();
  r[1778] = MagnifierCursor(false);
  r[1779] = MagnifierCursor(true);
  r[1780] = CrossCursor(15, 0);
  r[1781] = EraserCursor();
  r[1782] = HandCursor();
  r[1783] = PenCursor();
  r[1784] = CrossCursor(10, 0);
  r[1785] = CrossCursor(12, 3);
  r[1786] = ArrowsCursor(false, false, 1);
  r[1787] = ArrowsCursor(false, true, 0);
  r[1788] = ArrowsCursor(false, false, 2);
  r[1789] = ArrowsCursor(true, false, 0);
  r[1790] = ArrowsCursor(true, true, 0);
}

// Which palette colour stands for each system colour index (the classic desktop's
// table: scroll bar, desktop, captions, menu, window, frame, texts, borders, workspace,
// highlight, button face and its shades, info tips, hot light, menu bar).
struct TPaletteRole {
  QPalette::ColorGroup group;
  QPalette::ColorRole role;
};
constexpr QPalette::ColorGroup kActive = QPalette::Active;
constexpr QPalette::ColorGroup kInactive = QPalette::Inactive;
constexpr QPalette::ColorGroup kDisabled = QPalette::Disabled;
constexpr TPaletteRole kSystemRoles[31] = {
    {kActive, QPalette::Button},             // 0 scroll bar
    {kActive, QPalette::Dark},               // 1 desktop
    {kActive, QPalette::Highlight},          // 2 active caption
    {kInactive, QPalette::Mid},              // 3 inactive caption
    {kActive, QPalette::Window},             // 4 menu
    {kActive, QPalette::Base},               // 5 window
    {kActive, QPalette::Shadow},             // 6 window frame
    {kActive, QPalette::WindowText},         // 7 menu text
    {kActive, QPalette::Text},               // 8 window text
    {kActive, QPalette::HighlightedText},    // 9 caption text
    {kActive, QPalette::Window},             // 10 active border
    {kInactive, QPalette::Window},           // 11 inactive border
    {kActive, QPalette::Dark},               // 12 application workspace
    {kActive, QPalette::Highlight},          // 13 highlight
    {kActive, QPalette::HighlightedText},    // 14 highlighted text
    {kActive, QPalette::Button},             // 15 button face
    {kActive, QPalette::Dark},               // 16 button shadow
    {kDisabled, QPalette::Text},             // 17 grey text
    {kActive, QPalette::ButtonText},         // 18 button text
    {kInactive, QPalette::HighlightedText},  // 19 inactive caption text
    {kActive, QPalette::Light},              // 20 button highlight
    {kActive, QPalette::Shadow},             // 21 3-D dark shadow
    {kActive, QPalette::Midlight},           // 22 3-D light
    {kActive, QPalette::ToolTipText},        // 23 info text
    {kActive, QPalette::ToolTipBase},        // 24 info background
    {kActive, QPalette::Button},             // 25 (unused)
    {kActive, QPalette::Link},               // 26 hot light
    {kActive, QPalette::Highlight},          // 27 active caption gradient
    {kInactive, QPalette::Mid},              // 28 inactive caption gradient
    {kActive, QPalette::Highlight},          // 29 menu highlight
    {kActive, QPalette::Window},             // 30 menu bar
};

// Follows the desktop's theme when it changes while the program runs.
class TPaletteWatcher : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
      ApplySystemColors(QGuiApplication::palette());
    return false;
  }
};

}  // namespace

void ApplySystemColors(const QPalette& palette) {
  for (int i = 0; i < 31; ++i) {
    const QColor c = palette.color(kSystemRoles[i].group, kSystemRoles[i].role);
    SetSystemColor(i, RGB2TColor(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
                                 static_cast<uint8_t>(c.blue())));
  }
}

void InitDisplayUnit() {
  static bool done = false;
  if (done || !qGuiApp) return;
  done = true;
  if (QScreen* s = QGuiApplication::primaryScreen()) {
    gSystemDPIX = qRound(s->logicalDotsPerInchX());
    gSystemDPIY = qRound(s->logicalDotsPerInchY());
    gSystemColors = s->depth();
  }
  if (gSystemDPIX <= 0) gSystemDPIX = 96;
  if (gSystemDPIY <= 0) gSystemDPIY = 96;
  ApplySystemColors(QGuiApplication::palette());
  qApp->installEventFilter(new TPaletteWatcher(qApp));
  SetClipboard(MakeSystemClipboard());
  SetWindowHandleResolver(&ResolveActiveWindow);
  RegisterLibraryCursors();
}

QCursor VXCursor(int id) {
  auto& r = Registry();
  if (r.empty() && qGuiApp) RegisterLibraryCursors();
  if (auto it = r.find(id); it != r.end()) return it->second;
  switch (id) {  // the toolkit's standard ids
    case -3:
      return QCursor(Qt::CrossCursor);
    case -4:
      return QCursor(Qt::IBeamCursor);
    case -5:
      return QCursor(Qt::SizeAllCursor);
    case -6:
      return QCursor(Qt::SizeBDiagCursor);
    case -7:
      return QCursor(Qt::SizeVerCursor);
    case -8:
      return QCursor(Qt::SizeFDiagCursor);
    case -9:
      return QCursor(Qt::SizeHorCursor);
    case -10:
      return QCursor(Qt::UpArrowCursor);
    case -11:
      return QCursor(Qt::WaitCursor);
    case -21:
      return QCursor(Qt::PointingHandCursor);
    case -1:
      return QCursor(Qt::BlankCursor);
    default:
      return QCursor(Qt::ArrowCursor);
  }
}

void RegisterCursor(int id, const QCursor& cursor) {
  Registry()[id] = cursor;
}

std::unique_ptr<TClipboard> MakeSystemClipboard() {
  return std::make_unique<TQtClipboard>();
}

}  // namespace vx
