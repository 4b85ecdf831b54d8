#include "ui/controls/layout.h"

#include <cstdint>

namespace quellix::ui {
namespace {

int RoundedRatio(int value, int numerator, int denominator) {
  if (denominator <= 0) return 0;
  const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
  const std::int64_t half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

}  // namespace

int PixelsFromTwips(int twips, int dpi) { return RoundedRatio(twips, dpi, kTwipsPerInch); }
int TwipsFromPixels(int pixels, int dpi) { return RoundedRatio(pixels, kTwipsPerInch, dpi); }

}  // namespace quellix::ui
