#include "ui/skin/mod_skin.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/message_pump.h"
#include "ui/controls/skin_label.h"
#include "ui/controls/type_name.h"
#include "ui/controls/web_browser.h"

namespace quellix {

SkinSupport& modSkin::SupportObject() {
  if (!support_) support_ = make_support_();
  return *support_;
}

bool modSkin::TrySkinForm(ui::Form& window) const {
  if (objSkin == nullptr) return false;
  ColorControls(window, objSkin->BackColor, objSkin->ForeColor, objSkin->PanelColor);
  return objSkin->ApplySkin(window);
}

bool modSkin::SkinForm(ui::Form& window) {
  if (TrySkinForm(window)) return true;
  RecoverSkinObject();
  return TrySkinForm(window);
}

void modSkin::RecoverSkinObject() {
  if (splash_ == nullptr) return;
  if (!splash_->SplashExists()) {
    // The load step runs inside CreateSplash and enables the timer last, so
    // the wait below ends at once unless that step itself waits for messages.
    splash_->CreateSplash();
    while (!splash_->SplashTimerEnabled()) {
      if (!platform::WaitForMessage()) break;
    }
  }
  // A splash that existed already has finished its load step or is inside it;
  // waiting for its timer could last for ever, so it is not waited for.
  splash_->DisableSplashTimerAndHide();
}

void modSkin::ColorControls(ui::Form& window, ui::Color back, ui::Color fore, ui::Color panel) {
  for (const auto& control : window.Controls()) {
    const std::string_view type = ui::TypeName(*control);
    if (type == "CommandButton") {
      control->SetBackColor(back);
    } else if (type == "TextBox" || type == "ListBox") {  // the only text controls the window layer has
      control->SetBackColor(back);
      control->SetForeColor(fore);
    } else if (type == "PictureBox") {
      control->SetBackColor(panel);
    }
  }
}

int modSkin::CopySkinLabels(ui::Form& window, std::initializer_list<const char*> template_arrays) {
  // Taken before copying: adding controls moves the window's control list.
  std::vector<const ui::Label*> labels;
  for (const auto& control : window.Controls()) {
    if (std::string_view(ui::TypeName(*control)) == "Label") labels.push_back(static_cast<const ui::Label*>(control.get()));
  }
  auto element = [&window](const char* array, int index) -> const ui::SkinLabel* {
    for (const auto& control : window.Controls()) {
      if (control->Kind() != ui::ControlKind::kSkinLabel || control->Name() != array) continue;
      const auto* skin_label = static_cast<const ui::SkinLabel*>(control.get());
      if (skin_label->Index() == index) return skin_label;
    }
    return nullptr;
  };
  auto upper_bound = [&window](const char* array) {
    int highest = -1;
    for (const auto& control : window.Controls()) {
      if (control->Kind() == ui::ControlKind::kSkinLabel && control->Name() == array) {
        highest = std::max(highest, static_cast<const ui::SkinLabel*>(control.get())->Index());
      }
    }
    return highest;
  };

  int copies = 0;
  for (const ui::Label* label : labels) {
    for (const char* array : template_arrays) {
      const ui::SkinLabel* first = element(array, 0);
      if (first == nullptr || first->Container() != label->Container()) continue;
      auto& copy = window.Add<ui::SkinLabel>(array, upper_bound(array) + 1, ui::TwipsRect{}, label->Container());
      ui::TwipsRect rect = copy.Rect();
      rect.Top = label->Rect().Top;
      copy.SetRect(rect);
      rect.Left = label->Rect().Left;
      copy.SetRect(rect);
      rect.Height = label->Rect().Height;
      copy.SetRect(rect);
      rect.Width = label->Rect().Width;
      copy.SetRect(rect);
      if (label->Font()) copy.SetFont(*label->Font());
      copy.SetCaption(label->Caption());
      copy.SetVisible(label->Visible());
      ++copies;
      break;
    }
  }
  return copies;
}

bool modSkin::ShowBanner(ui::Form& window, ScaleUnits units, const std::string& url) {
  ui::Control* banner = window.FindControl("wbBanner");
  ui::Control* picture = window.FindControl("wbPicture");
  if (banner == nullptr || picture == nullptr || banner->Kind() != ui::ControlKind::kWebBrowser) return false;

  auto& box = window.Add<ui::PictureBox>("picBox", ui::TwipsRect{}, nullptr);
  picBox = &box;
  const int cut = BannerCut(units);
  const ui::TwipsRect place = banner->Rect();
  // A banner narrower than the cut leaves an empty box rather than a negative width.
  box.SetRect({place.Left, place.Top, std::max(0, place.Width - cut), place.Height});
  box.SetContainer(banner->Container());
  banner->SetContainer(&box);
  banner->SetRect({0, 0, place.Width, place.Height});
  box.SetVisible(true);
  banner->SetVisible(true);
  picture->SetVisible(false);
  static_cast<ui::WebBrowser*>(banner)->Navigate(url);
  return true;
}

}  // namespace quellix
