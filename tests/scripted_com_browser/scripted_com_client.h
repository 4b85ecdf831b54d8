// The test's side of the scripted COM browser: loading and registering the
// server DLL, and driving it through its control window, in this process or
// in another (a program under test that created a ShellWindows).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <optional>
#include <string>
#include <string_view>

#include "tests/scripted_com_browser/control_protocol.h"

namespace quellix::testing::scripted_com {

// The Windows form of a path that the build wrote or that was typed under
// Wine (a Unix path: Wine hands it on as it was given).
std::wstring WindowsPath(std::wstring path);
std::wstring WindowsPath(const char* build_path);

class ScriptedComBrowser {
 public:
  struct NewWindow2Answer {
    VARIANT_BOOL cancel;  // as the sinks left it
    bool ppdisp_touched;  // a sink wrote to ppDisp, which none may
  };

  // The control window of the scripted side loaded in process `process_id`,
  // waiting up to `wait_ms` for it (it appears when the process first asks
  // for a ShellWindows). Nothing when it did not appear.
  static std::optional<ScriptedComBrowser> Find(DWORD process_id, DWORD wait_ms = 0);
  explicit ScriptedComBrowser(HWND control) : control_(control) {}

  HWND ControlWindow() const { return control_; }
  // The thread whose apartment the scripted side lives in.
  DWORD ThreadId() const { return GetWindowThreadProcessId(control_, nullptr); }

  // Closes every window without events and clears counters and failures.
  bool Reset() const;
  // A new window showing `url`; with `announce`, WindowRegistered is raised.
  // Its id, or a negative number on failure.
  int OpenWindow(std::wstring_view url, bool announce = true) const;
  bool CloseWindow(int window, bool announce = true) const;
  bool Navigate(int window, std::wstring_view url) const;
  bool RaiseStatusTextChange(int window, std::wstring_view text) const;
  std::optional<NewWindow2Answer> RaiseNewWindow2(int window, VARIANT_BOOL cancel) const;
  // Raises another event of DWebBrowserEvents2 with a Cancel flag, a VARIANT
  // by reference, a BSTR and an object slot; true when all came back as passed.
  bool RaiseOtherEvent(int window, DISPID event) const;
  bool RaiseWindowRegistered(long cookie = 0) const;
  bool RaiseWindowRevoked(long cookie = 0) const;
  long Query(scripted_com::Query what, int window = 0) const;
  // `window` 0 for the failures of the shell.
  bool SetFailure(Failure failure, bool on, int window = 0) const;
  // Inside the next call of that kind, WindowRegistered is raised once.
  bool RaiseDuringNextCall(Stage stage) const;

 private:
  LRESULT Send(Command command, int window, int number, std::wstring_view text = {}) const;

  HWND control_;
};

// The server DLL loaded into this process and registered under
// CLSID_ShellWindows for the object's lifetime; the registration it replaced
// is put back at the end.
class ScriptedComServer {
 public:
  explicit ScriptedComServer(const std::wstring& dll_path);
  ~ScriptedComServer();
  ScriptedComServer(const ScriptedComServer&) = delete;
  ScriptedComServer& operator=(const ScriptedComServer&) = delete;

  bool Registered() const { return registered_; }
  // The driver for this process, its control window made on the calling thread.
  std::optional<ScriptedComBrowser> Control() const;

 private:
  HMODULE module_ = nullptr;
  bool registered_ = false;
};

}  // namespace quellix::testing::scripted_com
