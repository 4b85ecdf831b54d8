// The menu bar, the tray icon's context menu and its callback.
#include "ui/main/form1.h"
#include "ui/controls/window_messages.h"
#include "ui/main/form1_commands.h"

namespace quellix {

void Form1::BuildMenus() {
  AddMenuItem(mnuFile, "mnuFileItem", 1, "Exit", form1_commands::kExit).OnClick = [this] { mnuFileItem_Click(1); };
  AddMenuItem(mnuAction, "mnuActionItem", 0, "Minimize to Taskbar", form1_commands::kMinimize).OnClick = [this] { mnuActionItem_Click(0); };
  AddMenuItem(mnuAction, "mnuActionItem", 1, "Allow the Next Popup (Win-Z)", form1_commands::kAllowNext).OnClick = [this] {
    mnuActionItem_Click(1);
  };
  AddMenuItem(mnuTools, "mnuToolsItem", 0, "Add Program to IE Tools Menu", form1_commands::kAddToIETools).OnClick = [this] {
    mnuToolsItem_Click(0);
  };
  AddMenuItem(mnuTools, "mnuToolsItem", 1, "Remove Program from IE Tools Menu", form1_commands::kRemoveFromIETools).OnClick = [this] {
    mnuToolsItem_Click(1);
  };
  mnuToolsPolicy = &AddMenuItem(mnuTools, "mnuToolsPolicy", -1, "Organisation settings", form1_commands::kOrganisationSettings);
  mnuToolsPolicy->OnClick = [this] { mnuToolsPolicy_Click(); };
  AddMenuItem(mnuHelp, "mnuHelpItem", 0, "View Help", form1_commands::kViewHelp).OnClick = [this] { mnuHelpItem_Click(0); };
  AddMenuItem(mnuAbout, "mnuAboutItem", 0, "About this software", form1_commands::kAbout).OnClick = [this] { mnuAboutItem_Click(0); };
  AddMenuItem(Popup, "close", -1, "Close this menu");  // choosing it only closes the menu
  AddMenuItem(Popup, "show", -1, "Show program").OnClick = [this] { show_Click(); };
  AddMenuItem(Popup, "allow", -1, "Allow next popup (win-z)").OnClick = [this] { Command5_Click(); };
  mnuPopupPolicy = &AddMenuItem(Popup, "policy", -1, "Organisation settings");
  mnuPopupPolicy->OnClick = [this] { mnuToolsPolicy_Click(); };
  AddMenuItem(Popup, "Exit", -1, "Exit").OnClick = [this] { Close(); };
  // Shown once a policy is read that sets something.
  mnuToolsPolicy->SetVisible(false);
  mnuPopupPolicy->SetVisible(false);
  ShowMenuBar();
}

void Form1::mnuFileItem_Click(int /*index*/) { Close(); }

void Form1::mnuActionItem_Click(int index) {
  if (index == 0) SetWindowState(ui::WindowState::kMinimized);
  if (index == 1) Command5_Click();
}

void Form1::mnuToolsItem_Click(int index) {
  if (index == 0) modIETools(env_.registry).AddIEButton();
  if (index == 1) modIETools(env_.registry).RemoveIEButton();
}

void Form1::mnuHelpItem_Click(int /*index*/) { ShowOnTop(env_.windows.ShowHelp()); }

void Form1::mnuAboutItem_Click(int /*index*/) { ShowOnTop(env_.windows.ShowAbout()); }

void Form1::mnuToolsPolicy_Click() { ShowOnTop(env_.windows.ShowOrganisationSettings(policy_)); }

void Form1::show_Click() {
  SetWindowState(ui::WindowState::kNormal);
  SetVisible(true);
}

void Form1::TrayIcon_Callback(unsigned mouse_message) {
  if (mouse_message == ui::kWmLButtonDown || mouse_message == ui::kWmLButtonUp ||
      mouse_message == ui::kWmRButtonUp) {
    PopupMenu(Popup);
  }
}

}  // namespace quellix
