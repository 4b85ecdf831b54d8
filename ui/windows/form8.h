// Form8: the help window "Readme/Help". It shows Help.rtf from the program's
// folder and carries the option "Show at Startup" (the setting "showHelp").
#pragma once

#include <string>

#include "platform/settings_store.h"
#include "ui/controls/form.h"
#include "ui/controls/rich_text_box.h"
#include "ui/skin/mod_skin.h"
#include "ui/windows/mod_branding.h"

namespace quellix {

struct Form8Environment {
  ui::Toolkit& toolkit;
  platform::SettingsStore& settings;
  std::string settings_app;  // the application name the options are stored under
  modBranding& branding;
  modSkin& skin;
  std::string program_folder;
};

class Form8 final : public ui::Form {
 public:
  // Creating the window loads it (Form_Load); the opener shows it.
  explicit Form8(Form8Environment environment);

  void Form_Load();
  void Check1_Click();

  // Shown while no help file has been loaded.
  static constexpr const char* kNoHelpText =
      "The help file Help.rtf was not found in the program's folder. Reinstalling the program puts it back.";

  ui::RichTextBox& rtf1;
  ui::CheckBox& Check1;  // "Show at Startup"

 private:
  Form8Environment env_;
};

}  // namespace quellix
