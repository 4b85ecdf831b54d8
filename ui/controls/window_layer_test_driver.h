// What the window layer's shared behaviour tests do as the user and the
// system would, and what they read back from the screen: one implementation
// per backend (the headless one natively, the Win32 one under Wine).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/controls/form.h"
#include "ui/controls/window_messages.h"

namespace quellix::ui::testing {

// Handles what is queued, running timers ticking meanwhile, until `done` or
// `ms` milliseconds; whether `done` came true.
bool PumpUntil(const std::function<bool()>& done, int ms = 2000);
// Handles what is queued now and what arrives within a short while.
inline void PumpAWhile() {
  PumpUntil([] { return false; }, 100);
}

void UserClicks(CheckBox& box);
void UserClicks(Button& button);
void UserClicks(Label& label);
// Character keys typed into the box one by one.
void UserTypes(TextBox& box, const std::string& keys);
void UserSelects(ListBoxControl& list, int index);
// The user chooses an entry of the form's menu bar.
void UserChooses(Form& form, const MenuItem& item);
// The next context menu the form shows is answered by choosing `entry` of
// `menu`, or dismissed when it is null.
void UserWillAnswerContextMenu(Form& form, const MenuItem& menu, const MenuItem* entry);
// The user drags the window's frame to this outer size (twips).
void UserResizes(Form& form, int outer_width, int outer_height);
// The system minimises, restores or maximises the window.
void SystemSetsWindowState(Form& form, WindowState state);
// The window system asks the window to close (its close button).
void SystemRequestsClose(Form& form);
// The system announces a change of its settings in `area` (WM_SETTINGCHANGE).
void SystemReportsSettingChange(Form& form, const std::string& area);
// Sends a message through the window's procedure chain at once.
MessageResult SendToWindow(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam);
bool WindowExists(WindowHandle window);

// What the screen shows.
bool ShownOnScreen(const Form& form);  // visible and not minimised
std::string ShownText(WindowHandle window);
bool ShownVisible(const Control& control);
int ShownCheck(const CheckBox& box);
int ShownListCount(const ListBoxControl& list);
int ShownListSelection(const ListBoxControl& list);  // -1: none
std::vector<std::string> ShownPanels(const StatusBar& bar);
int MenuBarEntries(const Form& form);
bool ShownEnabled(const Control& control);
enum class ShownEntry { kAbsent, kGreyed, kChoosable };
ShownEntry ShownMenuEntry(const Form& form, const MenuItem& item);

}  // namespace quellix::ui::testing
