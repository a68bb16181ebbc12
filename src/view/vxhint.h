#pragma once
// Two small windows: a one-line hint that floats over a view, and a modal picker of
// palette entries.
#include <QDialog>
#include <QFont>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "platform/font.h"
#include "platform/types.h"

class QPushButton;

namespace vx {

// A borderless tool window with one line of black text on a pale yellow ground.
// Mouse input passes through it; it starts hidden.
class TVXHint : public QWidget {
  Q_OBJECT

 public:
  explicit TVXHint(QWidget* parent = nullptr);
  // Sizes the window to the text (plus 4 pixels each way) and repaints.
  void SetText(const std::string& text);
  const std::string& Text() const { return text_; }
  void SetFont(const TFont& font);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string text_;
};

// A modal grid of palette cells, 32 to a row; clicking a cell chooses its colour.
class TVantixPaletteDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TVantixPaletteDialog(QWidget* parent = nullptr);
  void SetPalette(const std::vector<TRGB>& palette);
  void SetPalette(const TRGB* palette, int count);
  // Shows the dialog; true when a colour was chosen.
  bool Execute();
  TColor Color() const { return color_; }
  // The cell under a client point, or -1.
  int CellAt(int x, int y) const;
  int CurrentCell() const { return current_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  std::vector<TRGB> palette_;
  int current_ = -1;
  TColor color_ = clBlack;
  QPushButton* cancel_;
};

QFont ToQFont(const TFont& font);

}  // namespace vx
