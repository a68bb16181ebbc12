#pragma once
// A small colour chooser around the HSV box: the box, a swatch of the chosen colour
// and its red, green and blue values, OK and Cancel.
#include <QDialog>

#include "platform/types.h"

class QLabel;

namespace vx {

class THSVBox;

class THSVColorDialog : public QDialog {
  Q_OBJECT

 public:
  explicit THSVColorDialog(QWidget* parent = nullptr);

  // The colour shown (a system colour is resolved to what it shows now).
  TColor Color() const;
  void SetColor(TColor c);
  THSVBox* Box() const { return box_; }

  // Modal; true and colour set when the user pressed OK.
  static bool Choose(QWidget* parent, TColor& colour, const QString& title);

 private:
  void ShowChoice();

  THSVBox* box_;
  QLabel* swatch_;
  QLabel* values_;
};

}  // namespace vx
