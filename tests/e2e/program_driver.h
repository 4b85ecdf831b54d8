// Drives the real program from another process, as a user and the system
// would: starts it in a folder of its own, finds its windows and controls,
// presses buttons and menu entries, measures its processor time and takes
// screenshots of its windows.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace quellix::testing {

// Copies the program, its data files and the browsers' host from the build
// into a fresh folder.
// Empty when that failed.
std::wstring PrepareProgramFolder(const std::wstring& built_exe, const std::wstring& name);

// Forgets every option of the program, as on a first start.
void ForgetProgramSettings();

// A file's bytes, read while the program may hold it open; nothing when it
// cannot be opened.
std::optional<std::string> FileBytes(const std::wstring& path);
// Replaces the file with `bytes`; false unless all of them were written.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

// A visible top-level window of that process of that window class (a context
// menu's is "#32768").
HWND VisibleWindowOfClass(DWORD process_id, const wchar_t* window_class);

class RunningProgram {
 public:
  explicit RunningProgram(const std::wstring& exe);
  ~RunningProgram();  // ends the program if it still runs
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  bool Started() const { return process_ != nullptr; }
  DWORD ProcessId() const { return process_id_; }
  // True when the program ended within the time; its exit code.
  bool WaitForExit(DWORD ms, DWORD* exit_code = nullptr) const;
  // Ends the process at once, as Windows does at the end of a session.
  bool Terminate() const;
  // Every top-level window of the program, hidden ones included.
  std::vector<HWND> TopLevelWindows() const;
  // Processor time used so far (user and kernel), in 100 ns units.
  ULONGLONG ProcessorTime() const;

  // A visible top-level window of the program of that window class.
  HWND FindWindowOfClass(const wchar_t* window_class) const;
  HWND WaitForWindow(const wchar_t* window_class, DWORD ms) const;

 private:
  HANDLE process_ = nullptr;
  DWORD process_id_ = 0;
};

// A child window of `parent` with that class (null: any) whose text passes `match`.
HWND FindChild(HWND parent, const wchar_t* window_class, const std::function<bool(const std::wstring&)>& match);
HWND FindChildWithText(HWND parent, const wchar_t* window_class, const std::wstring& text);
std::wstring WindowText(HWND window);

struct Child {
  HWND window;
  RECT place;  // in the parent's client area
  std::wstring text;
};

// The children of `parent` of that class, top to bottom, then left to right.
std::vector<Child> ChildrenOf(HWND parent, const wchar_t* window_class);
std::vector<Child> WithText(const std::vector<Child>& children, const std::wstring& text);
// The check box of a switch of the main window: the box without text on the
// row of the label that begins with `label`.
HWND SwitchBox(HWND form, const std::wstring& label);

// A status bar panel's text (panels from 0), read through a buffer in the
// program's memory.
std::wstring PanelText(DWORD process_id, HWND status, int panel);

// One of the program's stored options, or "<absent>".
std::wstring ProgramSetting(const wchar_t* key);

// Presses a button the way the button itself reports a click to its window.
bool PressButton(HWND button);
// Chooses the menu-bar entry with that command number, as a click on it does.
bool ChooseMenuCommand(HWND window, int command);

// Real key input, as a user types it: brings the window to the front, then
// presses each key (with Shift or Alt held when asked) through SendInput.
struct Key {
  WORD key;
  bool shift = false;
  bool alt = false;
};
bool TypeKeys(HWND window, std::initializer_list<Key> keys);
// The window of the program's thread that has the keyboard focus.
HWND FocusOf(HWND window);

// Presses a button and returns once its window has handled the click (a
// posted click could come after a request sent next, which goes first).
bool ClickNow(HWND button);

// True when the window answers a message within five seconds.
bool Responds(HWND window);

// The entries of a list box of the program, read as a screen reader reads
// them: through the box's accessibility object. Nothing when it has none.
std::optional<std::vector<std::wstring>> AccessibleListEntries(HWND list);

// Stores one of the program's options, as the program itself would.
bool StoreSetting(const wchar_t* key, const wchar_t* value);

// Waits, without spinning, until `done` holds or the time is up.
bool WaitUntil(const std::function<bool()>& done, DWORD ms);

// The window as the screen shows it, in a PNG file. False when it could not be written.
bool SaveWindowScreenshot(HWND window, const std::wstring& png_path);

}  // namespace quellix::testing
