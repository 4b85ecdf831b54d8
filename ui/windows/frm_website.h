// frmWebsite: the program's own small web browser. It opens the product's
// website, takes typed addresses, goes back and forward, stops and reloads.
// When the main window has closed while it was open (boolEndPending), closing
// it ends the program.
#pragma once

#include <functional>

#include "ui/controls/form.h"
#include "ui/controls/skin_label.h"
#include "ui/controls/web_browser.h"
#include "ui/skin/mod_skin.h"
#include "ui/windows/mod_branding.h"

namespace quellix {

struct frmWebsiteEnvironment {
  ui::Toolkit& toolkit;
  modBranding& branding;
  modSkin& skin;
  std::function<void()> end_program;  // the program's explicit end
};

class frmWebsite final : public ui::Form {
 public:
  // Creating the window loads it (Form_Load), which opens strWebsite; the
  // opener shows it.
  explicit frmWebsite(frmWebsiteEnvironment environment);

  void Form_Load();
  void Form_Unload();
  void LayoutControls();

  void Command3_Click();  // go to the typed address
  void Text1_KeyPress(int& key_ascii);
  void Command4_Click();  // back
  void Command5_Click();  // forward
  void Command6_Click();  // stop
  void Command7_Click();  // refresh

  void WebBrowser1_StatusTextChange(const std::string& text);
  void WebBrowser1_ProgressChange(long progress, long progress_max);
  void WebBrowser1_DownloadBegin();
  void WebBrowser1_DownloadComplete();

  ui::Frame& frmBrowser;
  ui::Label& Label5;
  ui::TextBox& Text1;
  ui::Button& Command3;
  ui::Button& Command4;
  ui::Button& Command5;
  ui::Button& Command6;
  ui::Button& Command7;
  ui::WebBrowser& WebBrowser1;
  ui::StatusBar& StatusBar1;
  ui::SkinLabel& SkinLabel1;

 private:
  void Form_Resize();

  frmWebsiteEnvironment env_;
  ui::WindowState presented_state_ = ui::WindowState::kNormal;
};

}  // namespace quellix
