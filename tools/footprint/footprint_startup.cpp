// Measures the program's start from outside, as a user meets it: starts it,
// notes when its main window is mapped (visible), then asks that window's
// status bar for its text and notes when the answer comes: until then the
// user-interface thread is held and the window does not respond. Asks the
// program to close afterwards and waits for it to end.
//   footprint_startup <program exe>
// Prints "main window shown after N ms, answered N ms later".
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/e2e/program_driver.h"
#include "tests/scripted_com_browser/scripted_com_client.h"

namespace {

double MillisecondsBetween(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int Fail(const char* what) {
  std::printf("footprint_startup: %s\n", what);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Fail("usage: footprint_startup <program exe>");
  const std::wstring exe = quellix::testing::scripted_com::WindowsPath(std::wstring(argv[1]));
  const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
  std::wstring command = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  LARGE_INTEGER started;
  QueryPerformanceCounter(&started);
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &process)) {
    return Fail("the program did not start");
  }
  CloseHandle(process.hThread);

  HWND main = nullptr;
  for (int i = 0; i < 60000 && main == nullptr; ++i) {
    main = quellix::testing::VisibleWindowOfClass(process.dwProcessId, L"Quellix.Form1");
    if (main == nullptr) Sleep(1);
  }
  LARGE_INTEGER shown;
  QueryPerformanceCounter(&shown);
  if (main == nullptr) return Fail("no main window within a minute");

  HWND status = FindWindowExW(main, nullptr, L"msctls_statusbar32", nullptr);
  wchar_t text[256] = {};
  DWORD_PTR result = 0;
  const bool answered = SendMessageTimeoutW(status ? status : main, WM_GETTEXT, 256,
                                            reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 60000, &result) != 0;
  LARGE_INTEGER answer;
  QueryPerformanceCounter(&answer);
  if (!answered) return Fail("the main window did not answer within a minute");
  std::printf("main window shown after %.0f ms, answered %.0f ms later (status bar: %ls)\n",
              MillisecondsBetween(started, shown), MillisecondsBetween(shown, answer), text);
  std::fflush(stdout);

  PostMessageW(main, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hProcess);
  return 0;
}
