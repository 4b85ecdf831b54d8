// The program's skin: one common look for every window, made of four colours
// (window back colour, text colour, panel colour and panel-text colour).
// One object, kept by the splash window, serves all windows.
#pragma once

#include "ui/controls/control.h"
#include "ui/controls/form.h"

namespace quellix {

// 0x00BBGGRR, as the controls take it.
constexpr ui::Color SkinRgb(unsigned red, unsigned green, unsigned blue) {
  return static_cast<ui::Color>(red | (green << 8) | (blue << 16));
}

class SkinObject {
 public:
  ui::Color BackColor = SkinRgb(154, 182, 194);
  ui::Color ForeColor = SkinRgb(0, 0, 0);
  ui::Color PanelColor = SkinRgb(154, 182, 194);
  ui::Color PanelTextColor = SkinRgb(0, 0, 0);

  // Draws the window in the skin: its surface, frames and check boxes in the
  // back colour, its skin labels in the panel colours. False when the window
  // has no window of the system behind it.
  bool ApplySkin(ui::Form& window) const;
};

// The skin support object: handed the skin and started once at start-up,
// stopped just before the program ends.
class SkinSupport {
 public:
  void SetSkin(const SkinObject* skin) { skin_ = skin; }
  // False when it has no skin to serve.
  bool Start() {
    started_ = skin_ != nullptr;
    return started_;
  }
  void Stop() { started_ = false; }
  bool Started() const { return started_; }
  const SkinObject* Skin() const { return skin_; }

 private:
  const SkinObject* skin_ = nullptr;
  bool started_ = false;
};

}  // namespace quellix
