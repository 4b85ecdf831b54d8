#include "platform/mod_ie_tools.h"

#include <utility>

#include "platform/c_register.h"
#include "platform/first_file_search.h"
#include "platform/program_folder.h"
#include "platform/shell_version.h"
#include "product_identity.h"

namespace quellix {

using platform::RegistryRoot;

modIETools::ButtonTarget modIETools::ThisProgram() {
  return {platform::ProgramFolder(), platform::ProgramExeName(), build::kProductName};
}

modIETools::modIETools(platform::Registry& registry, ButtonTarget target)
    : registry_(registry), target_(std::move(target)) {}

void modIETools::AddIEButton() const {
  const CRegister reg(registry_);
  const std::string& folder = target_.program_folder;
  const std::pair<const char*, std::string> values[] = {
      {"ButtonText", target_.product_name},
      {"CLSID", kRunProgramButtonClsid},
      {"Default Visible", "Yes"},
      {"Exec", folder + "\\" + target_.exe_name + ".exe"},
      {"HotIcon", folder + "\\hoticon.ico"},
      {"Icon", folder + "\\icon.ico"},
      {"MenuStatusBar", target_.product_name},
      // The ampersand makes the first letter the menu entry's access key.
      {"MenuText", "&" + target_.product_name},
  };
  for (const auto& [name, data] : values) reg.WriteRegValue(RegistryRoot::LocalMachine, kExtensionKey, name, data);
}

void modIETools::RemoveIEButton() const {
  CRegister(registry_).DeleteRegEntry(RegistryRoot::LocalMachine, kExtensionKey, "");
}

bool modIETools::CheckIEButton() const { return ButtonRegisteredFor(platform::ShellLibraryMajorVersion()); }

bool modIETools::ButtonRegisteredFor(unsigned shell_major_version) const {
  const CRegister reg(registry_);
  const std::string browser = reg.ReadRegValue(RegistryRoot::LocalMachine, kBrowserAppPathKey, "", "");
  if (shell_major_version < 5 || browser.empty() || platform::FindFirstOrdinaryFile(browser).name.empty()) {
    return false;
  }
  return reg.ReadRegValue(RegistryRoot::LocalMachine, kExtensionKey, "CLSID", "") == kRunProgramButtonClsid;
}

}  // namespace quellix
