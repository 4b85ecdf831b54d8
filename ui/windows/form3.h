// Form3: the setup-mode prompt "Popup Detected!". It shows the site a page
// asked a new window for and takes one of four answers, which it hands to the
// waiting popup decision through strCurrentSite, boolAnswered and
// boolAllowSite. "Allow Always" and "Block Always" also put the site, as the
// site box then reads, on the allowed or the disallowed list.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/program_state.h"
#include "core/site_list_store.h"
#include "platform/window_order.h"
#include "ui/controls/form.h"
#include "ui/controls/skin_label.h"
#include "ui/skin/mod_skin.h"
#include "ui/windows/mod_branding.h"

namespace quellix {

struct Form3Environment {
  ui::Toolkit& toolkit;
  ProgramState& state;
  modBranding& branding;
  modSkin& skin;
  Module1& lists;                           // the main window's site lists
  platform::WindowHandle main_window = 0;   // kept above the prompt's caller when always on top
  // Tells the user that a site could not be put on its list; the text says which and why.
  std::function<void(const std::string&)> report_store_failure;
};

class Form3 final : public ui::Form {
 public:
  // Creating the prompt loads it (Form_Load); the opener shows it.
  explicit Form3(Form3Environment environment);

  void Form_Load();
  void Command1_Click();  // Allow Always
  void Command2_Click();  // Block Always
  void Command3_Click();  // Allow Now
  void Command4_Click();  // Block Now
  void Form_Unload();

  ui::Label& Label1;
  ui::Label& Label3;
  ui::TextBox& Text1;
  ui::Button& Command1;
  ui::Button& Command2;
  ui::Button& Command3;
  ui::Button& Command4;
  ui::SkinLabel& SkinLabel1;  // element 0: the template of the window's labels

 private:
  // Hides the prompt, hands the answer over and unloads the prompt.
  void Answer(bool allow);
  clsOnTop& OnTop();

  Form3Environment env_;
  std::optional<clsOnTop> objOnTop;  // created on first use
};

}  // namespace quellix
