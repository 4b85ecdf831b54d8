// frmAbout: the About window with the program's name, version, publisher and
// website, read from the program's own version information. Clicking the
// website opens it in the built-in browser.
#pragma once

#include <functional>

#include "platform/version_info.h"
#include "ui/controls/control.h"
#include "ui/controls/form.h"
#include "ui/controls/skin_label.h"
#include "ui/skin/mod_skin.h"
#include "ui/windows/mod_branding.h"

namespace quellix {

struct frmAboutEnvironment {
  ui::Toolkit& toolkit;
  modBranding& branding;
  modSkin& skin;
  std::function<platform::VersionInfo()> read_version;  // the program's own version information
  std::function<void()> open_website;                   // frmWebsite, created once
};

class frmAbout final : public ui::Form {
 public:
  // Creating the window loads it (Form_Load); the opener shows it.
  explicit frmAbout(frmAboutEnvironment environment);

  void Form_Load();
  void lblWebsite_Click();

  // "1.0" for version 1.0.x.y: major and minor only, plain decimals.
  static std::string VersionText(const platform::VersionInfo& version);

  ui::Image& Picture1;  // the header picture
  ui::Label& Label1;    // the program's name, on the header
  ui::Label& Label2;
  ui::Label& Label3;
  ui::Label& Label4;
  ui::Label& lblVersion;
  ui::Label& lblCompany;
  ui::Label& lblWebsite;
  ui::Label& Label5;  // the notice
  ui::SkinLabel& SkinLabel1;

 private:
  frmAboutEnvironment env_;
};

}  // namespace quellix
