#pragma once
// TVXGradientBar: a ramp of 256 colours from BeginColor to EndColor; the user picks one
// by clicking or dragging a grip along it.
//
// Orientation: entry 0 is at the start of the axis as the eye reads a scale, the left
// column of a horizontal bar and the bottom row of a vertical one; the ramp, the grip
// and the mouse all count that way, so a click at the bottom of a vertical bar picks
// entry 0, which is the colour painted there.
#include <array>

#include "controls/bufferedcontrol.h"
#include "platform/event.h"

namespace vx {

class TVXGradientBar : public TBufferedControl {
  Q_OBJECT
  Q_PROPERTY(int BeginColor READ BeginColor WRITE SetBeginColor)
  Q_PROPERTY(int EndColor READ EndColor WRITE SetEndColor)
  Q_PROPERTY(TVXGradientDir Direction READ Direction WRITE SetDirection)
  Q_PROPERTY(MouseInteractItems MouseInteract READ MouseInteract WRITE SetMouseInteract)
  Q_PROPERTY(int ColorIndex READ ColorIndex WRITE SetColorIndex)

 public:
  enum TVXGradientDir { gdHorizontal, gdVertical };
  Q_ENUM(TVXGradientDir)
  enum TVXMouseInteractItemGr { migDragGrip = 1 };
  Q_DECLARE_FLAGS(MouseInteractItems, TVXMouseInteractItemGr)
  Q_FLAG(MouseInteractItems)

  explicit TVXGradientBar(QWidget* parent = nullptr);

  TColor BeginColor() const { return begin_; }
  void SetBeginColor(TColor c);
  TColor EndColor() const { return end_; }
  void SetEndColor(TColor c);
  TVXGradientDir Direction() const { return direction_; }
  void SetDirection(TVXGradientDir d);
  MouseInteractItems MouseInteract() const { return interact_; }
  void SetMouseInteract(MouseInteractItems m) { interact_ = m; }
  // 0..255 (a value outside is clamped).
  int ColorIndex() const { return index_; }
  void SetColorIndex(int i);

  // The picked colour: table entry ColorIndex.
  TColor Color() const { return table_[static_cast<size_t>(index_)]; }
  TRGB RGB() const;
  const std::array<TColor, 256>& Table() const { return table_; }

  // The picked entry was changed by the mouse.
  TNotifyEvent OnChange;

 protected:
  void Redraw() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void MakeTable();
  int AxisLength() const;
  void InvertGrip();
  void Pick(QPoint p);

  TColor begin_ = clBlack;
  TColor end_ = clWhite;
  TVXGradientDir direction_ = gdVertical;
  MouseInteractItems interact_ = migDragGrip;
  int index_ = 0;
  std::array<TColor, 256> table_{};
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TVXGradientBar::MouseInteractItems)

}  // namespace vx
