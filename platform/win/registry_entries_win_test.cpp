// The program's registry entries on Wine's real registry in the test prefix,
// including a machine root that refuses changes the way Windows refuses them
// to a user without administrative rights.
#include <windows.h>
// sddl.h needs windows.h first.
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/add_remove.h"
#include "platform/c_register.h"
#include "platform/mod_ie_tools.h"
#include "platform/registry_test_support.h"
#include "platform/shell_version.h"
#include "platform/win/scoped_handle.h"
#include "platform/win/wide_string.h"

namespace quellix {
namespace {

using platform::RegistryRoot;
using win::ScopedRegKey;

constexpr RegistryRoot kMachine = RegistryRoot::LocalMachine;
constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;
const std::string kName = "Quellix Registry Test Entry";
constexpr wchar_t kScratch[] = L"Software\\Quellix Registry Test";

// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER redirected, for this process only,
// to two scratch keys under the real HKEY_CURRENT_USER. The machine side's
// keys grant everyone reading and nothing else, as Windows' machine keys do
// for an ordinary user; the user side accepts everything.
class RefusingMachineRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(testing::KeyExists(platform::SystemRegistry(), kUser, "Software\\Quellix Registry Test"))
        << "left over from an earlier run";
    machine_ = Create(std::wstring(kScratch) + L"\\Machine");
    user_ = Create(std::wstring(kScratch) + L"\\User");
    machine_run_ = Create(std::wstring(kScratch) + L"\\Machine\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    extension_ = Create(std::wstring(kScratch) + L"\\Machine\\" + win::Wide(modIETools::kExtensionKey));
  }

  // Locks the machine side; what it holds until then stays readable.
  void Lock() {
    for (HKEY key : {machine_.Get(), machine_run_.Get(), extension_.Get()})
      ASSERT_TRUE(SetDacl(key, L"D:P(A;;KR;;;WD)"));
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_.Get()), ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, user_.Get()), ERROR_SUCCESS);
  }

  void TearDown() override {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    for (HKEY key : {machine_.Get(), machine_run_.Get(), extension_.Get()}) {
      if (key) SetDacl(key, L"D:P(A;OICI;KA;;;WD)");
    }
    machine_.Reset();
    user_.Reset();
    machine_run_.Reset();
    extension_.Reset();
    EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, kScratch), ERROR_SUCCESS);
    EXPECT_FALSE(testing::KeyExists(platform::SystemRegistry(), kUser, "Software\\Quellix Registry Test"));
  }

  static ScopedRegKey Create(const std::wstring& path) {
    ScopedRegKey key;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
    return key;
  }

  static bool SetDacl(HKEY key, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
      return false;
    }
    const LONG status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    return status == ERROR_SUCCESS;
  }

  static void SetText(HKEY key, const char* name, const std::string& text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
  }

  ScopedRegKey machine_, user_, machine_run_, extension_;
};

TEST_F(RefusingMachineRoot, StartUpEntryGoesToTheUsersRunKey) {
  Lock();
  AddRemove entries;
  EXPECT_TRUE(entries.AddToRun(kName, "\"C:\\Program Files\\Quellix\\Quellix.exe\""));
  EXPECT_EQ(entries.GetString(kUser, AddRemove::kRunKey, kName), "\"C:\\Program Files\\Quellix\\Quellix.exe\"");
  EXPECT_EQ(entries.GetString(kMachine, AddRemove::kRunKey, kName), std::nullopt);
  EXPECT_TRUE(entries.RunEntryExists(kName));
  EXPECT_TRUE(entries.RemoveFromRun(kName));
  EXPECT_FALSE(entries.RunEntryExists(kName));
}

TEST_F(RefusingMachineRoot, AMachineWideEntryThatCannotBeRemovedIsReported) {
  SetText(machine_run_.Get(), kName.c_str(), "C:\\Quellix\\Quellix.exe");
  Lock();
  AddRemove entries;
  EXPECT_TRUE(entries.AddToRun(kName, "C:\\Quellix\\Quellix.exe"));
  EXPECT_EQ(entries.GetString(kUser, AddRemove::kRunKey, kName), std::nullopt);
  EXPECT_FALSE(entries.RemoveFromRun(kName));
  EXPECT_TRUE(entries.RunEntryExists(kName));
  // Reading falls back from full access to reading access.
  EXPECT_EQ(CRegister().ReadRegValue(kMachine, AddRemove::kRunKey, kName, "default"), "C:\\Quellix\\Quellix.exe");
}

// Removal is left to the native tests: Wine reopens a redirected root with
// full access without checking it, and deletes keys without checking the
// right to delete, so it cannot refuse RemoveIEButton the way Windows does.
TEST_F(RefusingMachineRoot, AddingTheToolbarButtonChangesNothing) {
  SetText(extension_.Get(), "CLSID", "before");
  Lock();
  const modIETools tools(platform::SystemRegistry(), {"C:\\Quellix", "Quellix", "Quellix Pop-Up Blocker"});
  tools.AddIEButton();
  const CRegister reg;
  EXPECT_EQ(reg.ReadRegValue(kMachine, modIETools::kExtensionKey, "CLSID", ""), "before");
  EXPECT_EQ(reg.ReadRegValue(kMachine, modIETools::kExtensionKey, "Exec", "none"), "none");
  EXPECT_FALSE(reg.WriteRegValue(kMachine, modIETools::kExtensionKey, "Exec", "x"));
  EXPECT_FALSE(reg.DeleteRegEntry(kMachine, modIETools::kExtensionKey, "CLSID"));
}

// The start-up probe against Wine's shell library and its browser executable.
TEST(ButtonProbeWin, FindsTheButtonOnlyWhileItIsRegisteredAndChangesNothing) {
  platform::Registry& registry = platform::SystemRegistry();
  testing::RegistryRestorer restorer(registry);
  const std::vector<std::string> names = {"ButtonText", "CLSID", "Default Visible", "Exec",
                                          "HotIcon",    "Icon",  "MenuStatusBar",   "MenuText"};
  restorer.Watch(kMachine, modIETools::kExtensionKey, names);
  EXPECT_GE(platform::ShellLibraryMajorVersion(), 5u);
  const modIETools tools;
  tools.RemoveIEButton();
  EXPECT_FALSE(tools.CheckIEButton());

  tools.AddIEButton();
  std::vector<testing::StoredValue> added;
  added.reserve(names.size());
  for (const std::string& name : names) {
    added.push_back(testing::ReadStoredValue(registry, kMachine, modIETools::kExtensionKey, name));
  }
  const testing::StoredValue browser = testing::ReadStoredValue(registry, kMachine, modIETools::kBrowserAppPathKey, "");
  EXPECT_TRUE(tools.CheckIEButton());
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(testing::ReadStoredValue(registry, kMachine, modIETools::kExtensionKey, names[i]), added[i]);
  }
  EXPECT_EQ(testing::ReadStoredValue(registry, kMachine, modIETools::kBrowserAppPathKey, ""), browser);

  tools.RemoveIEButton();
  EXPECT_FALSE(tools.CheckIEButton());
  EXPECT_TRUE(restorer.Restore());
}

}  // namespace
}  // namespace quellix
