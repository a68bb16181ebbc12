#pragma once
// TRulerBox: a ruler over a continuous axis measured in units, with tick marks, numeric
// labels and any number of grips that mark positions and can be dragged. Runs
// horizontally or vertically, with the grips on either side of the band. Dragging a
// grip off either end scrolls the view one pixel per timer step.
#include <QTimer>
#include <vector>

#include "controls/bufferedcontrol.h"
#include "platform/event.h"

namespace vx {

// (Sender, grip index).
using TRulerPosChangeEvent = TMethod<TObject*, int>;
using TRulerGripClickEvent = TMethod<TObject*, int>;
using TRulerGripDblClickEvent = TMethod<TObject*, int>;
// (Sender, position in units).
using TRulerClickEvent = TMethod<TObject*, double>;

class TRulerBox : public TBufferedControl {
  Q_OBJECT
  Q_PROPERTY(double ViewPos READ ViewPos WRITE SetViewPos)
  Q_PROPERTY(double DotPerUnit READ DotPerUnit WRITE SetDotPerUnit)
  Q_PROPERTY(double Frequency READ Frequency WRITE SetFrequency)
  Q_PROPERTY(double LabelFreq READ LabelFreq WRITE SetLabelFreq)
  Q_PROPERTY(double ViewMin READ ViewMin WRITE SetViewMin)
  Q_PROPERTY(double ViewMax READ ViewMax WRITE SetViewMax)
  Q_PROPERTY(bool FitInView READ FitInView WRITE SetFitInView)
  Q_PROPERTY(bool Ruler READ Ruler WRITE SetRuler)
  Q_PROPERTY(TRulerDir RulerDir READ RulerDir WRITE SetRulerDir)
  Q_PROPERTY(TGripsDir GripsDir READ GripsDir WRITE SetGripsDir)
  Q_PROPERTY(int GripBaseDim READ GripBaseDim WRITE SetGripBaseDim)
  Q_PROPERTY(bool HexLabels READ HexLabels WRITE SetHexLabels)
  Q_PROPERTY(int Background READ Background WRITE SetBackground)
  Q_PROPERTY(int RulerColor READ RulerColor WRITE SetRulerColor)
  Q_PROPERTY(int GripsCount READ GripsCount WRITE SetGripsCount)

 public:
  enum TGripKind : uint8_t { gkTriangle, gkLeftTriangle, gkRightTriangle, gkArrow, gkArrow2 };
  Q_ENUM(TGripKind)
  enum TRulerDir { rdHorizontal, rdVertical };
  Q_ENUM(TRulerDir)
  enum TGripsDir { gdUp, gdDown };
  Q_ENUM(TGripsDir)

  struct TGrip {
    double Pos = 0;
    TColor Color = clBtnFace;
    TGripKind Kind = gkTriangle;
    double Min = 0, Max = 0;  // limits of Pos, active when Max > Min
  };

  explicit TRulerBox(QWidget* parent = nullptr);

  double ViewPos() const { return viewPos_; }
  void SetViewPos(double v);
  double DotPerUnit() const { return dotPerUnit_; }
  void SetDotPerUnit(double v);
  double Frequency() const { return frequency_; }
  void SetFrequency(double v);
  double LabelFreq() const { return labelFreq_; }
  void SetLabelFreq(double v);
  double ViewMin() const { return viewMin_; }
  void SetViewMin(double v);
  double ViewMax() const { return viewMax_; }
  void SetViewMax(double v);
  bool FitInView() const { return fitInView_; }
  void SetFitInView(bool on);
  bool Ruler() const { return ruler_; }
  void SetRuler(bool on);
  TRulerDir RulerDir() const { return rulerDir_; }
  void SetRulerDir(TRulerDir d);
  TGripsDir GripsDir() const { return gripsDir_; }
  void SetGripsDir(TGripsDir d);
  int GripBaseDim() const { return gripBaseDim_; }
  void SetGripBaseDim(int d);
  bool HexLabels() const { return hexLabels_; }
  void SetHexLabels(bool on);
  TColor Background() const { return background_; }
  void SetBackground(TColor c);
  TColor RulerColor() const { return rulerColor_; }
  void SetRulerColor(TColor c);

  int GripsCount() const { return static_cast<int>(grips_.size()); }
  // Shrinking drops the last grips; new grips take the defaults (the Background colour,
  // ViewMin and ViewMax as limits).
  void SetGripsCount(int n);
  // Reads of an index past the end give 0; writes there are ignored.
  double GripsPos(int i) const;
  void SetGripsPos(int i, double pos);
  TColor GripsCol(int i) const;
  void SetGripsCol(int i, TColor c);
  TGripKind GripsKind(int i) const;
  void SetGripsKind(int i, TGripKind k);
  double GripsMin(int i) const;
  void SetGripsMin(int i, double v);
  double GripsMax(int i) const;
  void SetGripsMax(int i, double v);

  // Fits the view when asked to, redraws everything and repaints.
  void Update() { Refresh(); }

  // Height of the band in pixels (0 without it).
  int BandHeight() const;
  // Screen position of a grip along the axis.
  int GripScreenPos(int i) const;
  // The points of a grip's polygon, in control coordinates.
  std::vector<TPoint> GripPoints(int i) const;
  // A label's text for a value.
  static QString LabelText(double value, bool hex);

  TRulerPosChangeEvent OnRulerPosChange;
  TRulerGripClickEvent OnRulerGripClick;
  TRulerGripDblClickEvent OnRulerGripDblClick;
  TRulerClickEvent OnRulerClick;

 protected:
  void Redraw() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool Horizontal() const { return rulerDir_ == rdHorizontal; }
  int AxisLength() const { return Horizontal() ? buffer_.Width() : buffer_.Height(); }
  int Along(QPoint p) const { return Horizontal() ? p.x() : p.y(); }
  void ApplyViewLimits();
  void ApplyGripLimits(int i);
  void DrawGripArea();
  void DrawBand();
  void DrawScale(double freq, int tickLength, bool labels);
  void DrawTick(int p, int length);
  void DrawLabel(int p, const QString& text);
  int GripAt(QPoint p) const;
  void Press(QMouseEvent* event, bool dbl);
  bool BeforeStart(int c) const { return c < 0; }
  bool PastEnd(int c, bool entering) const;
  void ScrollStep();

  double viewPos_ = 0, dotPerUnit_ = 1.0, frequency_ = 10.0, labelFreq_ = 40.0;
  double viewMin_ = 0, viewMax_ = 0;
  bool fitInView_ = false, ruler_ = true, hexLabels_ = false;
  TRulerDir rulerDir_ = rdHorizontal;
  TGripsDir gripsDir_ = gdUp;
  int gripBaseDim_ = 12;
  TColor background_ = clBtnFace, rulerColor_ = clBtnFace;
  std::vector<TGrip> grips_;

  // Mouse state: the grip taken (-1 none), where the button went down, the grip's
  // screen position then, the latest coordinate along the axis.
  int taken_ = -1;
  QPoint downPoint_;
  int downGripScreen_ = 0;
  int lastAlong_ = 0;
  bool buttonDown_ = false;
  int scrollDir_ = 0;  // -1 towards lower values, +1 towards higher, 0 idle
  QTimer scrollTimer_;
};

}  // namespace vx
