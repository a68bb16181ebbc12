#pragma once
// THSVBox: a colour picker. A square where saturation grows to the right and value
// upwards for the current hue, and a hue strip along the right edge (hue 0 at the
// bottom). Colours are kept as hue 0..359, saturation and value 0..99.
#include <cstdint>

#include "controls/bufferedcontrol.h"
#include "platform/event.h"

namespace vx {

class THSVBox : public TBufferedControl {
  Q_OBJECT
  Q_PROPERTY(int Hue READ Hue WRITE SetHue)
  Q_PROPERTY(int Sat READ Sat WRITE SetSat)
  Q_PROPERTY(int Val READ Val WRITE SetVal)
  Q_PROPERTY(int Red READ Red WRITE SetRed)
  Q_PROPERTY(int Green READ Green WRITE SetGreen)
  Q_PROPERTY(int Blue READ Blue WRITE SetBlue)
  Q_PROPERTY(int Color READ Color WRITE SetColor)
  Q_PROPERTY(int Background READ Background WRITE SetBackground)

 public:
  static constexpr int kStripWidth = 20;
  static constexpr int kGap = 5;

  explicit THSVBox(QWidget* parent = nullptr);

  int Hue() const { return hue_; }
  int Sat() const { return sat_; }
  int Val() const { return val_; }
  // Clamped to 0..359 and 0..99; Red, Green, Blue and Color follow. No OnChange.
  void SetHue(int h);
  void SetSat(int s);
  void SetVal(int v);

  int Red() const { return red_; }
  int Green() const { return green_; }
  int Blue() const { return blue_; }
  void SetRGB(uint8_t r, uint8_t g, uint8_t b);
  void SetRed(int r) { SetRGB(static_cast<uint8_t>(r), green_, blue_); }
  void SetGreen(int g) { SetRGB(red_, static_cast<uint8_t>(g), blue_); }
  void SetBlue(int b) { SetRGB(red_, green_, static_cast<uint8_t>(b)); }

  // Kept as given (a system colour stays one); Red, Green and Blue hold its components.
  TColor Color() const { return color_; }
  void SetColor(TColor c);

  TColor Background() const { return background_; }
  void SetBackground(TColor c);

  // The user picked a colour (click or drag).
  TNotifyEvent OnChange;

 protected:
  void Redraw() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int SquareWidth() const { return buffer_.Width() - kStripWidth - kGap; }
  void DrawSquare();
  void DrawStrip();
  void InvertGrips();
  void SetHSV(int h, int s, int v);
  void ColorFromHSV();
  void ApplyPoint(int x, int y);

  int hue_ = 0, sat_ = 0, val_ = 0;
  uint8_t red_ = 0, green_ = 0, blue_ = 0;
  TColor color_ = clBlack;
  TColor background_ = clBtnFace;
  int dragMode_ = 0;  // 0 none, 1 square, 2 hue strip
};

}  // namespace vx
