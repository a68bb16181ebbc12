#include "view/vxhint.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include "core/vxdefs.h"
#include "view/vantixview.h"

namespace vx {

QFont ToQFont(const TFont& font) {
  QFont f(QString::fromStdString(font.Name));
  f.setPointSize(font.Size > 0 ? font.Size : 8);
  f.setBold(font.Bold);
  f.setItalic(font.Italic);
  f.setUnderline(font.Underline);
  return f;
}

// ---- TVXHint ----

TVXHint::TVXHint(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_ShowWithoutActivating);
  hide();
}

void TVXHint::SetText(const std::string& text) {
  text_ = text;
  const QFontMetrics fm(font());
  const QString s = QString::fromStdString(text);
  resize(fm.horizontalAdvance(s) + 4, fm.height() + 4);
  update();
}

void TVXHint::SetFont(const TFont& f) {
  setFont(ToQFont(f));
  SetText(text_);
}

void TVXHint::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), ToQColor(0xE0FFFF));
  // Raised one-pixel frame: light top-left, dark bottom-right.
  p.setPen(QColor(255, 255, 255));
  p.drawLine(0, 0, width() - 1, 0);
  p.drawLine(0, 0, 0, height() - 1);
  p.setPen(QColor(128, 128, 128));
  p.drawLine(width() - 1, 0, width() - 1, height() - 1);
  p.drawLine(0, height() - 1, width() - 1, height() - 1);
  p.setPen(Qt::black);
  const QFontMetrics fm(font());
  p.drawText(1, 1 + fm.ascent(), QString::fromStdString(text_));
}

// ---- TVantixPaletteDialog ----

TVantixPaletteDialog::TVantixPaletteDialog(QWidget* parent) : QDialog(parent) {
  setModal(true);
  setFixedSize(539, 199);
  setMouseTracking(true);
  cancel_ = new QPushButton(tr("&Cancel"), this);
  cancel_->move(8, 144);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void TVantixPaletteDialog::SetPalette(const std::vector<TRGB>& palette) {
  palette_ = palette;
  current_ = -1;
  update();
}

void TVantixPaletteDialog::SetPalette(const TRGB* palette, int count) {
  SetPalette(palette && count > 0 ? std::vector<TRGB>(palette, palette + count)
                                  : std::vector<TRGB>{});
}

int TVantixPaletteDialog::CellAt(int x, int y) const {
  if (x < 1 || y < 1) return -1;
  const int col = (x - 1) / 16, row = (y - 1) / 16;
  if (col >= 32) return -1;
  const int i = col + row * 32;
  return i < static_cast<int>(palette_.size()) ? i : -1;
}

bool TVantixPaletteDialog::Execute() {
  if (QScreen* s = QGuiApplication::primaryScreen()) move(s->geometry().center() - rect().center());
  return exec() == QDialog::Accepted;
}

void TVantixPaletteDialog::paintEvent(QPaintEvent*) {
  QPainter p(this);
  for (int i = 0; i < static_cast<int>(palette_.size()); ++i) {
    const int col = i % 32, row = i / 32;
    const QRect cell(col * 16 + 1, row * 16 + 1, 16, 16);  // to (col*16+16, row*16+16)
    p.fillRect(cell, QColor(palette_[i].r, palette_[i].g, palette_[i].b));
    p.setPen(i == current_ ? Qt::black : Qt::white);
    p.drawRect(cell.adjusted(0, 0, -1, -1));
  }
}

void TVantixPaletteDialog::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const int i = CellAt(pos.x(), pos.y());
  if (i >= 0 && i != current_) {
    current_ = i;
    update();
  }
}

void TVantixPaletteDialog::mousePressEvent(QMouseEvent* event) {
  mouseMoveEvent(event);
  const QPoint pos = event->position().toPoint();
  const int i = CellAt(pos.x(), pos.y());
  if (i < 0) return;
  color_ = TRGB2TColor(palette_[static_cast<size_t>(i)]);
  accept();
}

}  // namespace vx
