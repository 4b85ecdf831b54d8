// modSkin: gives every window the program's skin as it loads, and places the
// optional web banner in the main window. Both run only behind the switches
// boolSkin and boolBanner of the product identity, which are off in this
// product.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "ui/controls/control.h"
#include "ui/controls/form.h"
#include "ui/skin/skin_object.h"

namespace quellix {

// What the skin's recovery needs of the splash window, whose load step sets
// objSkin and enables the splash's timer as its very last action.
class SplashWindowAccess {
 public:
  virtual ~SplashWindowAccess() = default;
  virtual bool SplashExists() const = 0;
  virtual void CreateSplash() = 0;
  virtual bool SplashTimerEnabled() const = 0;
  // So that this splash never opens a second main window.
  virtual void DisableSplashTimerAndHide() = 0;
};

// How a window measures its controls' positions and sizes.
enum class ScaleUnits { kTwips, kPixels, kOther };

class modSkin {
 public:
  using SupportMaker = std::function<std::unique_ptr<SkinSupport>()>;
  explicit modSkin(SupportMaker make_support = [] { return std::make_unique<LocalSkinSupport>(); })
      : make_support_(std::move(make_support)) {}

  // The shared skin: the splash window's skin object, set by the splash's
  // load step; never cleared.
  const SkinObject* objSkin = nullptr;
  // The banner's picture box, once ShowBanner has made it.
  ui::PictureBox* picBox = nullptr;

  void SetSplash(SplashWindowAccess* splash) { splash_ = splash; }
  // The skin support object, created on first use.
  SkinSupport& SupportObject();

  // Colours first, then the skin itself. On a failure the splash window is
  // brought back for its skin object and the whole is tried once more; false
  // when that second try failed too.
  bool SkinForm(ui::Form& window);

  // The window's standard controls in the skin's colours, by type name.
  static void ColorControls(ui::Form& window, ui::Color back, ui::Color fore, ui::Color panel);

  // Gives every plain label a skin-label copy in the first of the template
  // arrays whose element 0 lies in the label's container; a label with no
  // template in its container gets none. The number of copies made.
  static int CopySkinLabels(ui::Form& window, std::initializer_list<const char*> template_arrays);

  // The strip of the banner that stays hidden on its right edge.
  static int BannerCut(ScaleUnits units) { return units == ScaleUnits::kPixels ? 20 : 280; }
  // Places the banner browser wbBanner in a new picture box that hides its
  // right edge, shows it instead of wbPicture and opens `url`. False when the
  // window has no such controls.
  bool ShowBanner(ui::Form& window, ScaleUnits units, const std::string& url);

 private:
  bool TrySkinForm(ui::Form& window) const;
  void RecoverSkinObject();

  SupportMaker make_support_;
  SplashWindowAccess* splash_ = nullptr;
  std::unique_ptr<SkinSupport> support_;
};

}  // namespace quellix
