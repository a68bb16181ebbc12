#pragma once
// THistogramBox: the histogram of the image an attached processing component edits,
// as vertical bars or poly-lines per channel, with optional value labels and a colour
// ramp under the plot.
#include "controls/bufferedcontrol.h"
#include "platform/set.h"

namespace vx {

class TVantixProc;
struct THistogramItem;

class THistogramBox : public TBufferedControl {
  Q_OBJECT
  Q_PROPERTY(int Background READ Background WRITE SetBackground)
  Q_PROPERTY(HistogramKinds HistogramKind READ HistogramKindFlags WRITE SetHistogramKindFlags)
  Q_PROPERTY(HistogramLabels Labels READ LabelFlags WRITE SetLabelFlags)
  Q_PROPERTY(bool CompBar READ CompBar WRITE SetCompBar)
  Q_PROPERTY(THistogramStyle HistogramStyle READ HistogramStyle WRITE SetHistogramStyle)

 public:
  enum THistogramKindItem { hkRed = 1, hkGreen = 2, hkBlue = 4, hkGray = 8 };
  Q_DECLARE_FLAGS(HistogramKinds, THistogramKindItem)
  Q_FLAG(HistogramKinds)
  enum THistogramLabel { hlVertical = 1, hlHorizontal = 2 };
  Q_DECLARE_FLAGS(HistogramLabels, THistogramLabel)
  Q_FLAG(HistogramLabels)
  enum THistogramStyle { hsBars, hsLines };
  Q_ENUM(THistogramStyle)

  explicit THistogramBox(QWidget* parent = nullptr);
  ~THistogramBox() override;

  // Not a Qt property: the component is not a Qt object. Free notification clears it
  // when the component is destroyed; the box never frees it.
  TVantixProc* AttachedVantixProc() const { return proc_; }
  void SetAttachedVantixProc(TVantixProc* proc);

  TColor Background() const { return background_; }
  void SetBackground(TColor c);
  HistogramKinds HistogramKindFlags() const { return kind_; }
  void SetHistogramKindFlags(HistogramKinds k);
  HistogramLabels LabelFlags() const { return labels_; }
  void SetLabelFlags(HistogramLabels l);
  bool CompBar() const { return compBar_; }
  void SetCompBar(bool on);
  THistogramStyle HistogramStyle() const { return style_; }
  void SetHistogramStyle(THistogramStyle s);

  // The plot's left edge in the parent's coordinates (control left + left margin).
  int PlotLeft() const { return x() + leftMargin_; }

  // Recomputes the back buffer from the attached component's image and repaints.
  void Update() { Refresh(); }

  void Notification(TFreeNotifier* object, TOperation operation) override;

 protected:
  void Redraw() override;

 private:
  struct TPlot {
    int lm = 0, pw = 0, ph = 0, bar = 0;
  };
  bool TakeHistogram(std::array<THistogramItem, 256>& h) const;
  uint32_t MaxCount(const std::array<THistogramItem, 256>& h) const;
  void DrawVerticalLabels(TPlot& plot, uint32_t max);
  void DrawHorizontalLabels(TPlot& plot, TColor axisColor);
  void DrawRamp(const TPlot& plot);
  void DrawBars(const TPlot& plot, const std::array<THistogramItem, 256>& h, uint32_t max);
  void DrawLines(const TPlot& plot, const std::array<THistogramItem, 256>& h, uint32_t max);

  TVantixProc* proc_ = nullptr;
  TColor background_ = 0xFFFFFF;
  HistogramKinds kind_ = hkGray;
  HistogramLabels labels_ = HistogramLabels(hlVertical | hlHorizontal);
  bool compBar_ = true;
  THistogramStyle style_ = hsBars;
  int leftMargin_ = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(THistogramBox::HistogramKinds)
Q_DECLARE_OPERATORS_FOR_FLAGS(THistogramBox::HistogramLabels)

}  // namespace vx
