// modIETools: the program's button on the browser's toolbar, with its entry in
// the browser's Tools menu, registered machine-wide as a browser extension that
// runs the program. Adding and removing report nothing: without the right to
// write machine-wide keys they change nothing.
#pragma once

#include <string>

#include "platform/registry.h"

namespace quellix {

class modIETools {
 public:
  // The extension key under HKEY_LOCAL_MACHINE; the braced part identifies this program's button.
  static constexpr const char* kExtensionKey =
      "Software\\Microsoft\\Internet Explorer\\Extensions\\{ECC5777A-6E88-BFCE-13CE-81F134789E7B}";
  // The browser's class of toolbar buttons that run a program.
  static constexpr const char* kRunProgramButtonClsid = "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}";
  // Where the browser's executable is registered (its default value).
  static constexpr const char* kBrowserAppPathKey =
      "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";

  // What the button starts and how it is labelled.
  struct ButtonTarget {
    std::string program_folder;  // without a final backslash
    std::string exe_name;        // the executable's name without ".exe"
    std::string product_name;
  };
  // The running program, under the product's name.
  static ButtonTarget ThisProgram();

  explicit modIETools(platform::Registry& registry = platform::SystemRegistry(), ButtonTarget target = ThisProgram());

  // Writes the extension key's eight values; a failed write does not stop the rest.
  void AddIEButton() const;
  // Deletes the extension key with its values.
  void RemoveIEButton() const;
  // The start-up probe: whether the button is registered for a browser that
  // can show it (shell library version 5 or later, browser executable
  // present). Changes nothing; the program may ignore the answer.
  bool CheckIEButton() const;
  // The probe for a given shell library major version.
  bool ButtonRegisteredFor(unsigned shell_major_version) const;

 private:
  platform::Registry& registry_;
  ButtonTarget target_;
};

}  // namespace quellix
