#include "ui/windows/frm_splash.h"

namespace quellix {
namespace {

constexpr int kWidth = 7170;   // twips
constexpr int kHeight = 4770;
constexpr std::int16_t kMainWindowAt = 150;  // 75 ticks of 2

ui::FormStyle SplashStyle() {
  ui::FormStyle style;
  style.class_name = "Quellix.frmSplash";
  style.client_width = kWidth;
  style.client_height = kHeight;
  style.has_border = false;
  style.in_taskbar = false;
  return style;
}

}  // namespace

frmSplash::frmSplash(ui::Toolkit& toolkit, modBranding& branding, std::function<void()> open_main_window,
                     modSkin* skin)
    : ui::Form(toolkit, SplashStyle()),
      Image1(Add<ui::Image>("Image1", ui::TwipsRect{0, 0, kWidth, kHeight}, "SPLASH", "Quellix Pop-Up Blocker")),
      Timer2(AddTimer("Timer2", 2)),
      branding_(branding),
      open_main_window_(std::move(open_main_window)),
      skin_(skin) {
  Timer2.OnTimer = [this] { Timer2_Timer(); };
}

void frmSplash::Form_Load() {
  StartLoad();
  branding_.boolEndPending = false;
  branding_.LoadBranding();
  if (branding_.boolSkin && skin_ != nullptr) {
    skin_->objSkin = &skn;
    (void)skin_->SkinForm(*this);
    // From here on failures are of no consequence: the support object only
    // serves the skin.
    SkinSupport& support = skin_->SupportObject();
    support.SetSkin(skin_->objSkin);
    (void)support.Start();
  }
  Timer2.SetEnabled(true);
}

void frmSplash::Timer2_Timer() {
  intTemp = static_cast<std::int16_t>(intTemp + 2);
  if (intTemp != kMainWindowAt) return;
  Timer2.SetEnabled(false);
  if (open_main_window_) open_main_window_();
  Hide();
}

}  // namespace quellix
