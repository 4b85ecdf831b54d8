// Positions, sizes and fonts as the windows are designed: in twips (1/1440
// inch), converted to pixels by each window's DPI when a real window is made.
#pragma once

#include <string>

namespace quellix::ui {

inline constexpr int kTwipsPerInch = 1440;

struct TwipsRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

// An empty name means the system's message font at its own size.
struct FontSpec {
  std::string name;
  int points = 8;
  bool bold = false;
};

// Rounds to the nearest pixel (halves away from zero), as MulDiv does.
int PixelsFromTwips(int twips, int dpi);
int TwipsFromPixels(int pixels, int dpi);

}  // namespace quellix::ui
