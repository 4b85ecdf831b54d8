// The organisation's policy with the real program under Wine: values written
// to the real registry before the start fix the switches and Allow Next, the
// organisation's sites are decided first for a scripted browser window, the
// "Organisation settings" window shows them to a screen reader, a policy
// changed while the program runs is taken on the "Policy" broadcast, and
// nothing fixed is written back at exit. Damaged values and more entries
// than are read do not keep the main window from answering.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/program_driver.h"
#include "tests/e2e/program_test.h"
#include "tests/scripted_com_browser/scripted_com_client.h"
#include "ui/main/form1_commands.h"

namespace quellix::testing {
namespace {

using scripted_com::ScriptedComBrowser;
using scripted_com::ScriptedComServer;
using scripted_com::WindowsPath;

constexpr wchar_t kPolicyKey[] = L"Software\\Policies\\Orlavent\\Quellix Pop-Up Blocker";

// Writes policy values as an administrator's tools would, and removes them
// all again, in both scopes, however the test ends.
class PolicyValues {
 public:
  PolicyValues() { Clear(); }
  ~PolicyValues() { Clear(); }
  PolicyValues(const PolicyValues&) = delete;
  PolicyValues& operator=(const PolicyValues&) = delete;

  static void Clear() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) RegDeleteTreeW(root, kPolicyKey);
  }
  static bool Set(HKEY root, const std::wstring& subkey, const std::wstring& name, DWORD type, const void* data,
                  DWORD bytes) {
    HKEY key = nullptr;
    const std::wstring path = subkey.empty() ? kPolicyKey : std::wstring(kPolicyKey) + L"\\" + subkey;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const bool ok = RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
  }
  static bool Dword(HKEY root, const std::wstring& name, DWORD value) {
    return Set(root, L"", name, REG_DWORD, &value, sizeof value);
  }
  static bool Site(HKEY root, const std::wstring& list, int number, const std::wstring& site) {
    return Set(root, list, std::to_wstring(number), REG_SZ, site.c_str(),
               static_cast<DWORD>((site.size() + 1) * sizeof(wchar_t)));
  }
  static bool Remove(HKEY root, const std::wstring& name) {
    return RegDeleteKeyValueW(root, kPolicyKey, name.c_str()) == ERROR_SUCCESS;
  }
};

LRESULT SendForResult(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 5000, &result);
  return static_cast<LRESULT>(result);
}

bool Checked(HWND box) { return SendForResult(box, BM_GETCHECK) == BST_CHECKED; }

// The entries of the list box right below the label of that text, as a
// screen reader reads them.
std::vector<std::wstring> ListUnder(HWND window, const std::wstring& label) {
  for (const Child& l : ChildrenOf(window, L"Static")) {
    if (l.text != label) continue;
    for (const Child& list : ChildrenOf(window, L"ListBox")) {
      if (list.place.top >= l.place.bottom) {
        return AccessibleListEntries(list.window).value_or(std::vector<std::wstring>{L"<unreadable>"});
      }
    }
  }
  return {L"<no such list>"};
}

class PolicyEndToEnd : public ProgramTest {};

TEST_F(PolicyEndToEnd, TheOrganisationsPolicyHoldsAtStartAndWhenItChanges) {
  PolicyValues policy;
  const std::wstring folder = PrepareProgramFolder(WindowsPath(QUELLIX_PROGRAM_EXE), L"quellix-e2e-policy");
  ASSERT_FALSE(folder.empty());
  // The user's own choices, which the organisation overrides without touching them.
  ASSERT_TRUE(StoreSetting(L"showHelp", L"0"));
  ASSERT_TRUE(StoreSetting(L"chkStopPop", L"0"));
  ASSERT_TRUE(StoreSetting(L"chkAuto", L"0"));
  ASSERT_TRUE(StoreSetting(L"chkSound", L"1"));
  ASSERT_TRUE(WriteFileBytes(folder + L"\\allowed.txt", "ads.policy.example\r\n"));

  ASSERT_TRUE(PolicyValues::Dword(HKEY_LOCAL_MACHINE, L"PopupBlocking", 1));
  ASSERT_TRUE(PolicyValues::Dword(HKEY_CURRENT_USER, L"PopupBlocking", 0));  // the machine wins
  ASSERT_TRUE(PolicyValues::Dword(HKEY_CURRENT_USER, L"SetupMode", 1));
  ASSERT_TRUE(PolicyValues::Dword(HKEY_LOCAL_MACHINE, L"Sound", 0));
  ASSERT_TRUE(PolicyValues::Site(HKEY_CURRENT_USER, L"BlockedSites", 1, L"ads.policy.example"));
  ASSERT_TRUE(PolicyValues::Site(HKEY_LOCAL_MACHINE, L"AllowedSites", 1, L"portal.policy.example"));
  // Damage: a switch as text, a site as a number, one too long, one with a
  // line break, and more entries than are read.
  ASSERT_TRUE(PolicyValues::Set(HKEY_LOCAL_MACHINE, L"", L"AlwaysOnTop", REG_SZ, L"1", 4));
  const DWORD number = 7;
  ASSERT_TRUE(PolicyValues::Set(HKEY_CURRENT_USER, L"BlockedSites", L"2", REG_DWORD, &number, sizeof number));
  ASSERT_TRUE(PolicyValues::Site(HKEY_CURRENT_USER, L"BlockedSites", 3, std::wstring(2049, L'a')));
  ASSERT_TRUE(PolicyValues::Site(HKEY_CURRENT_USER, L"BlockedSites", 4, L"two\r\nlines.example"));
  constexpr int kMachineAllowed = 33000;
  for (int n = 2; n <= kMachineAllowed; ++n) {
    ASSERT_TRUE(PolicyValues::Site(HKEY_LOCAL_MACHINE, L"AllowedSites", n, L"s" + std::to_wstring(n) + L".example"));
  }

  ScriptedComServer server(WindowsPath(QUELLIX_SCRIPTED_COM_DLL));
  ASSERT_TRUE(server.Registered());
  const ULONGLONG started = GetTickCount64();
  RunningProgram program(folder + L"\\QuellixPopUpBlocker.exe");
  ASSERT_TRUE(program.Started());
  HWND form = program.WaitForWindow(L"Quellix.Form1", 60000);
  ASSERT_NE(form, nullptr);
  // On a bare X server Wine holds the program about 2 s after a window hides
  // (here the splash, as the main window shows); the policy's 33,000 values
  // were read before the window showed and add nothing to that.
  ASSERT_TRUE(WaitUntil([&] { return program.FindWindowOfClass(L"Quellix.frmSplash") == nullptr; }, 10000));
  const ULONGLONG splash_gone = GetTickCount64();
  ASSERT_TRUE(Responds(form));
  EXPECT_LT(GetTickCount64() - splash_gone, 2500u) << "the main window answers once Wine lets it";
  std::printf("main window after %llu ms, answering after %llu ms more\n",
              static_cast<unsigned long long>(splash_gone - started),
              static_cast<unsigned long long>(GetTickCount64() - splash_gone));

  // Fixed switches: as the policy says, disabled, and a click changes nothing.
  HWND blocking = SwitchBox(form, L"Popup Blocking:");
  HWND setup = SwitchBox(form, L"Setup Mode:");
  HWND sound = SwitchBox(form, L"Audio:");
  HWND on_top = SwitchBox(form, L"Visual:");
  ASSERT_TRUE(blocking && setup && sound && on_top);
  EXPECT_TRUE(Checked(blocking));
  EXPECT_TRUE(Checked(setup));
  EXPECT_FALSE(Checked(sound));
  for (HWND fixed : {blocking, setup, sound}) EXPECT_FALSE(IsWindowEnabled(fixed));
  EXPECT_TRUE(IsWindowEnabled(on_top)) << "a switch stored as text is no policy";
  SendForResult(blocking, BM_CLICK);
  SendForResult(setup, BM_CLICK);
  EXPECT_TRUE(Checked(blocking));
  EXPECT_TRUE(Checked(setup));
  EXPECT_EQ(ProgramSetting(L"chkSound"), L"1");

  // The organisation's blocked site: blocked in setup mode without a
  // question, despite allow-next and the user's allowed list, which is left
  // for the next request; its allowed site opens.
  auto browser = ScriptedComBrowser::Find(program.ProcessId(), 20000);
  ASSERT_TRUE(browser.has_value());
  const int ads = browser->OpenWindow(L"http://ads.policy.example/page.html");
  const int portal = browser->OpenWindow(L"https://portal.policy.example/");
  const int unlisted = browser->OpenWindow(L"http://unlisted.example/");
  ASSERT_TRUE(ads > 0 && portal > 0 && unlisted > 0);
  ASSERT_TRUE(WaitUntil([&] { return browser->Query(scripted_com::Query::kConnections, unlisted) == 1; }, 10000));
  HWND status = ChildrenOf(form, STATUSCLASSNAMEW).at(0).window;
  ASSERT_TRUE(PostMessageW(form, WM_HOTKEY, 0, MAKELPARAM(MOD_WIN, 'Z')));
  ASSERT_TRUE(WaitUntil(
      [&] { return PanelText(program.ProcessId(), status, 1) == L"The next popup will be allowed."; }, 5000));
  auto blocked = browser->RaiseNewWindow2(ads, VARIANT_FALSE);
  ASSERT_TRUE(blocked.has_value());
  EXPECT_EQ(blocked->cancel, VARIANT_TRUE);
  auto opened = browser->RaiseNewWindow2(portal, VARIANT_TRUE);
  ASSERT_TRUE(opened.has_value());
  EXPECT_EQ(opened->cancel, VARIANT_FALSE);
  auto allowed_next = browser->RaiseNewWindow2(unlisted, VARIANT_TRUE);  // the flag, still set
  ASSERT_TRUE(allowed_next.has_value());
  EXPECT_EQ(allowed_next->cancel, VARIANT_FALSE);
  EXPECT_EQ(program.FindWindowOfClass(L"Quellix.Form3"), nullptr) << "no question was asked";

  // "Organisation settings", read as a screen reader reads it.
  ASSERT_TRUE(ChooseMenuCommand(form, form1_commands::kOrganisationSettings));
  HWND window = program.WaitForWindow(L"Quellix.frmPolicy", 10000);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(WindowText(window), L"Organisation settings");
  EXPECT_EQ(ListUnder(window, L"Fixed settings:"),
            (std::vector<std::wstring>{L"Popup Blocking: on", L"Setup Mode: on", L"Audio: off"}));
  EXPECT_EQ(ListUnder(window, L"Sites whose pop-ups are always blocked:"),
            std::vector<std::wstring>{L"ads.policy.example"});
  // The longest list is counted, not read entry by entry across processes.
  const auto lists = ChildrenOf(window, L"ListBox");
  ASSERT_EQ(lists.size(), 3u);
  EXPECT_EQ(SendForResult(lists[1].window, LB_GETCOUNT), 32767) << "at most 32,767 entries of one list are read";
  // The keyboard starts in the first list, and Tab goes on to the next.
  EXPECT_EQ(FocusOf(window), lists[0].window);
  ASSERT_TRUE(TypeKeys(window, {{VK_TAB}}));
  EXPECT_TRUE(WaitUntil([&] { return FocusOf(window) == lists[1].window; }, 5000));
  CreateDirectoryW(WindowsPath(QUELLIX_SCREENSHOT_DIR).c_str(), nullptr);
  EXPECT_TRUE(SaveWindowScreenshot(window, WindowsPath(QUELLIX_SCREENSHOT_DIR) + L"\\organisation_settings.png"));

  // The policy changes while the program runs: blocking is let go (the
  // user's own "off" comes back), Allow Next is turned off, another site is
  // blocked. Group Policy announces it to every window.
  ASSERT_TRUE(PolicyValues::Remove(HKEY_LOCAL_MACHINE, L"PopupBlocking"));
  ASSERT_TRUE(PolicyValues::Remove(HKEY_CURRENT_USER, L"PopupBlocking"));
  ASSERT_TRUE(PolicyValues::Dword(HKEY_LOCAL_MACHINE, L"AllowNext", 0));
  ASSERT_TRUE(PolicyValues::Site(HKEY_CURRENT_USER, L"BlockedSites", 5, L"late.policy.example"));
  DWORD_PTR ignored = 0;
  const ULONGLONG announced = GetTickCount64();
  ASSERT_TRUE(SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Policy"),
                                  SMTO_ABORTIFHUNG, 30000, &ignored));
  ASSERT_TRUE(IsWindow(form)) << "the program is still there";
  std::printf("the policy read again and shown in %llu ms\n",
              static_cast<unsigned long long>(GetTickCount64() - announced));
  HWND allow_next = FindChildWithText(form, L"Button", L"Allow Next Popup");
  ASSERT_NE(allow_next, nullptr);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowEnabled(allow_next); }, 10000));
  EXPECT_TRUE(IsWindowEnabled(blocking));
  EXPECT_FALSE(Checked(blocking));
  EXPECT_FALSE(IsWindowEnabled(setup));
  EXPECT_EQ(ListUnder(window, L"Sites whose pop-ups are always blocked:"),
            (std::vector<std::wstring>{L"ads.policy.example", L"late.policy.example"}));
  const int late = browser->OpenWindow(L"http://late.policy.example/");
  ASSERT_GT(late, 0);
  ASSERT_TRUE(WaitUntil([&] { return browser->Query(scripted_com::Query::kConnections, late) == 1; }, 10000));
  auto late_blocked = browser->RaiseNewWindow2(late, VARIANT_FALSE);  // though blocking is off now
  ASSERT_TRUE(late_blocked.has_value());
  EXPECT_EQ(late_blocked->cancel, VARIANT_TRUE);
  ASSERT_TRUE(PostMessageW(form, WM_HOTKEY, 0, MAKELPARAM(MOD_WIN, 'Z')));
  Sleep(300);
  EXPECT_NE(PanelText(program.ProcessId(), status, 1), L"The next popup will be allowed.") << "Win+Z does nothing";

  ASSERT_TRUE(TypeKeys(window, {{VK_ESCAPE}}));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(window); }, 5000)) << "Escape closes the window";

  // Exit: the switches still fixed keep the user's values in the store.
  ASSERT_TRUE(ChooseMenuCommand(form, form1_commands::kExit));
  DWORD exit_code = 1;
  EXPECT_TRUE(program.WaitForExit(20000, &exit_code));
  EXPECT_EQ(exit_code, 0u);
  EXPECT_EQ(ProgramSetting(L"chkAuto"), L"0");
  EXPECT_EQ(ProgramSetting(L"chkSound"), L"1");
  EXPECT_EQ(ProgramSetting(L"chkStopPop"), L"0");
  EXPECT_EQ(ProgramSetting(L"intStopped"), L"2");
  EXPECT_EQ(ProgramSetting(L"strAllowed"), L"ads.policy.example\r\n");
}

}  // namespace
}  // namespace quellix::testing
