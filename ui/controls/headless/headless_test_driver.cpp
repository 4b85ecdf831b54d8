// The shared window-layer tests' driver on the headless backend: what a real
// window would receive is handed to the portable controls directly, and time
// passes by one interval of every running timer at each pumping round.
#include "platform/message_pump.h"
#include "ui/controls/headless/headless_ui.h"
#include "ui/controls/window_layer_test_driver.h"

namespace quellix::ui::testing {

bool PumpUntil(const std::function<bool()>& done, int ms) {
  for (int round = 0; round < ms / 10; ++round) {
    platform::ProcessPendingMessagesOnce();
    if (done()) return true;
    headless::TickRunningTimers();
  }
  return done();
}

void UserClicks(CheckBox& box) { box.UserClick(); }
void UserClicks(Button& button) { button.Click(); }
void UserClicks(Label& label) { label.Click(); }

void UserTypes(TextBox& box, const std::string& keys) {
  for (char key : keys) {
    const int passed = box.UserKeyPress(static_cast<unsigned char>(key));
    // A one-line box takes printable characters only.
    if (passed >= 0x20) box.UserEdited(box.Text() + static_cast<char>(passed));
  }
}

void UserSelects(ListBoxControl& list, int index) { list.UserSelected(index); }

void UserChooses(Form& form, const MenuItem& item) {
  if (MenuItem* chosen = form.MenuByCommand(item.CommandId())) chosen->Click();
}

void UserWillAnswerContextMenu(Form& form, const MenuItem&, const MenuItem* entry) {
  headless::ChooseInNextPopup(form, entry ? entry->Name() : std::string());
}

void UserResizes(Form& form, int outer_width, int outer_height) {
  headless::UserResized(form, outer_width, outer_height);
}

void SystemSetsWindowState(Form& form, WindowState state) { form.SystemChangedWindowState(state); }
void SystemRequestsClose(Form& form) { form.SystemRequestedClose(); }
void SystemReportsSettingChange(Form& form, const std::string& area) { form.SystemSettingChanged(area); }

MessageResult SendToWindow(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
  return headless::SendWindowMessage(window, message, wparam, lparam);
}
bool WindowExists(WindowHandle window) { return headless::WindowExists(window); }

bool ShownOnScreen(const Form& form) { return headless::ShownOnScreen(form); }
std::string ShownText(WindowHandle window) { return headless::Shown(window).text; }
bool ShownVisible(const Control& control) { return headless::Shown(control.hWnd()).visible; }
int ShownCheck(const CheckBox& box) { return headless::Shown(box.hWnd()).check; }
int ShownListCount(const ListBoxControl& list) { return headless::Shown(list.hWnd()).list_count; }
int ShownListSelection(const ListBoxControl& list) { return headless::Shown(list.hWnd()).list_selection; }
std::vector<std::string> ShownPanels(const StatusBar& bar) { return headless::Shown(bar.hWnd()).panels; }
int MenuBarEntries(const Form& form) { return headless::MenuBarEntries(form); }
bool ShownEnabled(const Control& control) { return headless::Shown(control.hWnd()).enabled; }
ShownEntry ShownMenuEntry(const Form& form, const MenuItem& item) {
  const std::optional<bool> enabled = headless::MenuBarEntryEnabled(form, item.CommandId());
  return !enabled ? ShownEntry::kAbsent : *enabled ? ShownEntry::kChoosable : ShownEntry::kGreyed;
}

}  // namespace quellix::ui::testing
