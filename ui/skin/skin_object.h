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
// stopped just before the program ends. It comes from outside the program's
// windows (modSkin makes it on first use through the maker it was given).
class SkinSupport {
 public:
  virtual ~SkinSupport() = default;
  virtual void SetSkin(const SkinObject* skin) = 0;
  // False when it has no skin to serve.
  virtual bool Start() = 0;
  virtual void Stop() = 0;
};

// The program's own support object: it serves the one skin object and needs
// nothing else, so starting fails only without a skin.
class LocalSkinSupport final : public SkinSupport {
 public:
  void SetSkin(const SkinObject* skin) override { skin_ = skin; }
  bool Start() override { return skin_ != nullptr; }
  void Stop() override {}

 private:
  const SkinObject* skin_ = nullptr;
};

}  // namespace quellix
