// frmSplash: the window the program starts with. Its load step fills the
// product identity and starts Timer2; on the timer's 75th tick it opens the
// main window and hides itself. It stays loaded, hidden, until the program ends.
#pragma once

#include <cstdint>
#include <functional>

#include "ui/controls/form.h"
#include "ui/skin/mod_skin.h"
#include "ui/windows/mod_branding.h"

namespace quellix {

class frmSplash final : public ui::Form {
 public:
  // `open_main_window` creates, loads and shows the main window.
  // `skin`: where the splash's skin object becomes the shared one when the
  // skin switch is on.
  frmSplash(ui::Toolkit& toolkit, modBranding& branding, std::function<void()> open_main_window,
            modSkin* skin = nullptr);

  void Form_Load();
  void Timer2_Timer();

  ui::Image& Image1;   // the splash picture, over the whole client area
  ui::Timer& Timer2;   // every 2 ms (as often as the platform allows), disabled until loaded
  std::int16_t intTemp = 0;
  SkinObject skn;      // the program's skin, shared by every window

 private:
  modBranding& branding_;
  std::function<void()> open_main_window_;
  modSkin* skin_;
};

}  // namespace quellix
