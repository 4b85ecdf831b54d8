#include "ui/skin/skin_object.h"

namespace quellix {

bool SkinObject::ApplySkin(ui::Form& window) const {
  if (window.hWnd() == 0) return false;
  window.SetBackColor(BackColor);
  for (const auto& control : window.Controls()) {
    switch (control->Kind()) {
      case ui::ControlKind::kFrame:
      case ui::ControlKind::kCheckBox:
        control->SetBackColor(BackColor);
        control->SetForeColor(ForeColor);
        break;
      case ui::ControlKind::kSkinLabel:
        control->SetBackColor(PanelColor);
        control->SetForeColor(PanelTextColor);
        break;
      default:
        break;
    }
  }
  return true;
}

}  // namespace quellix
