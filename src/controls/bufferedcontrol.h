#pragma once
// The ground the small controls stand on: a widget that draws everything into its own
// 24-bit bitmap and paints by copying it to (0, 0), so the screen shows exactly the
// bitmap and the platform never erases behind it.
//
// Design mode: a Designer plugin calls SetControlsDesignMode(true) once before it
// creates controls (or sets the Designing property of one control); the controls then
// show sample content instead of live data and ignore what only makes sense at run time.
#include <QColor>
#include <QString>
#include <QWidget>

#include "platform/bitmap.h"
#include "platform/object.h"
#include "platform/types.h"

class QPainter;

namespace vx {

void SetControlsDesignMode(bool designing);
bool ControlsDesignMode();

// The 24-bit colour a TColor stands for (system colours resolved).
QColor ToQtColor(TColor c);

// Round half to even on the current rounding mode (the default one), as the drawing
// formulas of the controls expect.
int RoundEven(double v);

class TBufferedControl : public QWidget, public TFreeNotifier {
  Q_OBJECT
  Q_PROPERTY(bool Designing READ Designing WRITE SetDesigning)

 public:
  TBufferedControl(QWidget* parent, int width, int height);

  // The back buffer: pf24bit, always the control's size.
  const TBitmap& Buffer() const { return buffer_; }

  bool Designing() const { return designing_ || ControlsDesignMode(); }
  void SetDesigning(bool designing);

  QSize sizeHint() const override { return defaultSize_; }

 protected:
  // Draws the whole back buffer from the control's state.
  virtual void Redraw() = 0;
  // Redraw, then repaint.
  void Refresh();

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

  // The label font (never antialiased, so a label is the same pixels everywhere) and
  // its colour.
  QFont LabelFont() const;
  TColor FontColor() const;
  // |font height|: the pixel size of the font's em, without internal leading.
  int FontHeight() const;
  // Width and height of a text in the label font.
  int TextWidth(const QString& s) const;
  int TextHeight() const;
  // Writes s with its cell's top-left at (x, y), the cell filled with background.
  void WriteText(int x, int y, const QString& s, TColor background);
  // The same, turned by a quarter: counterClockwise runs the text upwards from (x, y)
  // with the cell to the right; clockwise runs it downwards with the cell to the left.
  void WriteTurnedText(int x, int y, const QString& s, TColor background, bool counterClockwise);

  void FillRect(int left, int top, int right, int bottom, TColor c);
  // Inverts every pixel of the outline of (left, top, right, bottom), right and bottom
  // exclusive, once; doing it again restores what was there.
  void InvertFrame(int left, int top, int right, int bottom);
  void InvertPixel(int x, int y);

  TBitmap buffer_;

 private:
  void SizeBuffer();
  template <class Draw>
  void PaintOnBuffer(Draw&& draw);

  QSize defaultSize_;
  bool designing_ = false;
};

}  // namespace vx
