#include "tests/e2e/program_driver.h"

#include <commctrl.h>
#include <oleacc.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <vector>

namespace quellix::testing {
namespace {

using Microsoft::WRL::ComPtr;

struct WindowSearch {
  DWORD process_id;
  const wchar_t* window_class;
  HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (owner == search->process_id && IsWindowVisible(window) && lstrcmpW(name, search->window_class) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

struct ChildSearch {
  const wchar_t* window_class;
  const std::function<bool(const std::wstring&)>* match;
  HWND found;
};

BOOL CALLBACK MatchChild(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<ChildSearch*>(data);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if ((search->window_class == nullptr || lstrcmpiW(name, search->window_class) == 0) &&
      (*search->match)(WindowText(window))) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

bool CopyInto(const std::wstring& from, const std::wstring& to) { return CopyFileW(from.c_str(), to.c_str(), FALSE); }

}  // namespace

std::wstring PrepareProgramFolder(const std::wstring& built_exe, const std::wstring& name) {
  const std::wstring built_folder = built_exe.substr(0, built_exe.find_last_of(L"\\/"));
  wchar_t temp[MAX_PATH];
  if (GetTempPathW(MAX_PATH, temp) == 0) return {};
  const std::wstring folder = std::wstring(temp) + name;
  // A folder left by an earlier run starts empty again.
  for (const wchar_t* file : {L"\\allowed.txt", L"\\disallowed.txt"}) DeleteFileW((folder + file).c_str());
  CreateDirectoryW(folder.c_str(), nullptr);
  CreateDirectoryW((folder + L"\\sounds").c_str(), nullptr);
  const bool ok = CopyInto(built_exe, folder + L"\\QuellixPopUpBlocker.exe") &&
                  CopyInto(built_folder + L"\\Help.rtf", folder + L"\\Help.rtf") &&
                  CopyInto(built_folder + L"\\icon.ico", folder + L"\\icon.ico") &&
                  CopyInto(built_folder + L"\\hoticon.ico", folder + L"\\hoticon.ico") &&
                  CopyInto(built_folder + L"\\sounds\\pop.wav", folder + L"\\sounds\\pop.wav");
  // The browsers' host serves only the program beside it; a build without it
  // leaves the browsers' runs to fail on their own.
  CopyInto(built_folder + L"\\QuellixBridge.exe", folder + L"\\QuellixBridge.exe");
  return ok ? folder : std::wstring();
}

void ForgetProgramSettings() {
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VB and VBA Program Settings\\Quellix Pop-Up Blocker");
}

std::optional<std::string> FileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  return ok;
}

RunningProgram::RunningProgram(const std::wstring& exe) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::wstring command = L"\"" + exe + L"\"";
  const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &info)) {
    return;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  process_id_ = info.dwProcessId;
  WaitForInputIdle(process_, 10000);
}

RunningProgram::~RunningProgram() {
  if (process_ == nullptr) return;
  if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 5000);
  }
  CloseHandle(process_);
}

bool RunningProgram::Terminate() const {
  return process_ != nullptr && TerminateProcess(process_, 0) && WaitForSingleObject(process_, 10000) == WAIT_OBJECT_0;
}

std::vector<HWND> RunningProgram::TopLevelWindows() const {
  struct Search {
    DWORD process_id;
    std::vector<HWND> found;
  } search{process_id_, {}};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s->process_id) s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool RunningProgram::WaitForExit(DWORD ms, DWORD* exit_code) const {
  if (process_ == nullptr || WaitForSingleObject(process_, ms) != WAIT_OBJECT_0) return false;
  if (exit_code) GetExitCodeProcess(process_, exit_code);
  return true;
}

ULONGLONG RunningProgram::ProcessorTime() const {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(process_, &created, &ended, &kernel, &user)) return 0;
  auto value = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return value(kernel) + value(user);
}

HWND VisibleWindowOfClass(DWORD process_id, const wchar_t* window_class) {
  WindowSearch search{process_id, window_class, nullptr};
  EnumWindows(&MatchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND RunningProgram::FindWindowOfClass(const wchar_t* window_class) const {
  return VisibleWindowOfClass(process_id_, window_class);
}

HWND RunningProgram::WaitForWindow(const wchar_t* window_class, DWORD ms) const {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindWindowOfClass(window_class)) != nullptr; }, ms);
  return found;
}

HWND FindChild(HWND parent, const wchar_t* window_class, const std::function<bool(const std::wstring&)>& match) {
  ChildSearch search{window_class, &match, nullptr};
  EnumChildWindows(parent, &MatchChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindChildWithText(HWND parent, const wchar_t* window_class, const std::wstring& text) {
  return FindChild(parent, window_class, [&](const std::wstring& t) { return t == text; });
}

std::wstring WindowText(HWND window) {
  // WM_GETTEXT crosses processes, unlike GetWindowText on another program's controls.
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                           5000, &copied)) {
    return {};
  }
  text.resize(static_cast<std::size_t>(copied));
  return text;
}

std::vector<Child> ChildrenOf(HWND parent, const wchar_t* window_class) {
  struct Search {
    HWND parent;
    const wchar_t* window_class;
    std::vector<Child> found;
  } search{parent, window_class, {}};
  EnumChildWindows(
      parent,
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (lstrcmpiW(name, s->window_class) != 0) return TRUE;
        RECT place{};
        GetWindowRect(window, &place);
        MapWindowPoints(nullptr, s->parent, reinterpret_cast<POINT*>(&place), 2);
        s->found.push_back({window, place, WindowText(window)});
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  std::sort(search.found.begin(), search.found.end(), [](const Child& a, const Child& b) {
    return a.place.top != b.place.top ? a.place.top < b.place.top : a.place.left < b.place.left;
  });
  return search.found;
}

std::vector<Child> WithText(const std::vector<Child>& children, const std::wstring& text) {
  std::vector<Child> matching;
  for (const Child& child : children) {
    if (child.text == text) matching.push_back(child);
  }
  return matching;
}

HWND SwitchBox(HWND form, const std::wstring& label) {
  const auto labels = ChildrenOf(form, L"Static");
  const auto row = std::find_if(labels.begin(), labels.end(), [&](const Child& c) { return c.text.starts_with(label); });
  if (row == labels.end()) return nullptr;
  for (const Child& box : ChildrenOf(form, L"Button")) {
    if (box.text.empty() && box.place.top == row->place.top && box.place.right <= row->place.left) {
      return box.window;
    }
  }
  return nullptr;
}

std::wstring PanelText(DWORD process_id, HWND status, int panel) {
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_id);
  if (process == nullptr) return L"<no access>";
  wchar_t text[512] = {};
  void* remote = VirtualAllocEx(process, nullptr, sizeof text, MEM_COMMIT, PAGE_READWRITE);
  if (remote != nullptr) {
    WriteProcessMemory(process, remote, text, sizeof text, nullptr);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(status, SB_GETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(remote),
                        SMTO_ABORTIFHUNG, 5000, &ignored);
    ReadProcessMemory(process, remote, text, sizeof text - sizeof(wchar_t), nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  return text;
}

std::wstring ProgramSetting(const wchar_t* key) {
  wchar_t value[1024] = {};
  DWORD bytes = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\VB and VBA Program Settings\\Quellix Pop-Up Blocker\\Settings", key,
                   RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS) {
    return L"<absent>";
  }
  return value;
}

bool PressButton(HWND button) {
  HWND parent = GetParent(button);
  if (button == nullptr || parent == nullptr) return false;
  const auto id = static_cast<WORD>(GetDlgCtrlID(button));
  return PostMessageW(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

bool ChooseMenuCommand(HWND window, int command) {
  return PostMessageW(window, WM_COMMAND, MAKEWPARAM(command, 0), 0) != 0;
}

bool TypeKeys(HWND window, std::initializer_list<Key> keys) {
  SetForegroundWindow(window);
  if (!WaitUntil([&] { return GetForegroundWindow() == window; }, 3000)) return false;
  for (const Key& key : keys) {
    std::vector<INPUT> input;
    auto add = [&](WORD vk, bool up) {
      INPUT one{};
      one.type = INPUT_KEYBOARD;
      one.ki.wVk = vk;
      one.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
      input.push_back(one);
    };
    if (key.shift) add(VK_SHIFT, false);
    if (key.alt) add(VK_MENU, false);
    add(key.key, false);
    add(key.key, true);
    if (key.alt) add(VK_MENU, true);
    if (key.shift) add(VK_SHIFT, true);
    if (SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT)) != input.size()) return false;
  }
  return true;
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

bool WaitUntil(const std::function<bool()>& done, DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  while (!done()) {
    if (GetTickCount64() >= deadline) return false;
    Sleep(50);
  }
  return true;
}

bool SaveWindowScreenshot(HWND window, const std::wstring& png_path) {
  RECT place{};
  if (!GetWindowRect(window, &place)) return false;
  const int width = place.right - place.left;
  const int height = place.bottom - place.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, place.left, place.top, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  bool saved = false;
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICBitmap> image;
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                 reinterpret_cast<void**>(factory.GetAddressOf()))) &&
      SUCCEEDED(factory->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, image.GetAddressOf())) &&
      SUCCEEDED(factory->CreateStream(stream.GetAddressOf())) &&
      SUCCEEDED(stream->InitializeFromFilename(png_path.c_str(), GENERIC_WRITE)) &&
      SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.GetAddressOf())) &&
      SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
      SUCCEEDED(encoder->CreateNewFrame(frame.GetAddressOf(), nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
      SUCCEEDED(frame->WriteSource(image.Get(), nullptr)) && SUCCEEDED(frame->Commit()) &&
      SUCCEEDED(encoder->Commit())) {
    saved = true;
  }
  DeleteObject(bitmap);
  return saved;
}

bool ClickNow(HWND button) {
  HWND parent = GetParent(button);
  if (button == nullptr || parent == nullptr) return false;
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                             reinterpret_cast<LPARAM>(button), SMTO_ABORTIFHUNG, 5000, &ignored) != 0;
}

std::optional<std::vector<std::wstring>> AccessibleListEntries(HWND list) {
  Microsoft::WRL::ComPtr<IAccessible> accessible;
  if (FAILED(AccessibleObjectFromWindow(list, static_cast<DWORD>(OBJID_CLIENT), IID_PPV_ARGS(&accessible))) ||
      !accessible) {
    return std::nullopt;
  }
  LONG count = 0;
  if (FAILED(accessible->get_accChildCount(&count))) return std::nullopt;
  std::vector<std::wstring> entries;
  for (LONG i = 1; i <= count; ++i) {
    VARIANT child{};
    child.vt = VT_I4;
    child.lVal = i;
    BSTR name = nullptr;
    const HRESULT read = accessible->get_accName(child, &name);
    std::wstring entry;
    if (read == S_OK && name != nullptr) entry.assign(name, SysStringLen(name));
    entries.push_back(std::move(entry));
    SysFreeString(name);
  }
  return entries;
}

bool Responds(HWND window) {
  DWORD_PTR ignored = 0;
  // Waits the whole time: with SMTO_ABORTIFHUNG a window whose thread has not
  // looked at its queue for five seconds (a start that read a large policy
  // on a loaded machine) fails at once, although it answers a moment later.
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored) != 0;
}

bool StoreSetting(const wchar_t* key, const wchar_t* value) {
  HKEY settings = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VB and VBA Program Settings\\Quellix Pop-Up Blocker\\Settings",
                      0, nullptr, 0, KEY_WRITE, nullptr, &settings, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const auto bytes = static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(wchar_t));
  const bool ok =
      RegSetValueExW(settings, key, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes) == ERROR_SUCCESS;
  RegCloseKey(settings);
  return ok;
}

}  // namespace quellix::testing
