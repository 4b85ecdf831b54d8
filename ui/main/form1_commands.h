// The command numbers of the main window's menu-bar entries. They are fixed,
// so that another program can choose an entry by sending the window the
// WM_COMMAND a click on it sends.
#pragma once

namespace quellix::form1_commands {

inline constexpr int kExit = 2001;               // File, Exit
inline constexpr int kMinimize = 2002;           // Action, Minimize to Taskbar
inline constexpr int kAllowNext = 2003;          // Action, Allow the Next Popup (Win-Z)
inline constexpr int kAddToIETools = 2004;       // Tools, Add Program to IE Tools Menu
inline constexpr int kRemoveFromIETools = 2005;  // Tools, Remove Program from IE Tools Menu
inline constexpr int kViewHelp = 2006;           // Help, View Help
inline constexpr int kAbout = 2007;              // About, About this software
inline constexpr int kOrganisationSettings = 2008;  // Tools, Organisation settings (while a policy is set)

}  // namespace quellix::form1_commands
