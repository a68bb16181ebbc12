#pragma once
// A font description, as components keep it for the dialogs they open.
#include <string>

#include "platform/types.h"

namespace vx {

struct TFont {
  std::string Name = "Sans Serif";
  int Size = 8;  // points
  TColor Color = clWindowText;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  friend bool operator==(const TFont&, const TFont&) = default;
};

}  // namespace vx
