#include "tests/scripted_com_browser/scripted_com_client.h"

#include <cstring>
#include <vector>

#include "platform/win/wide_string.h"

namespace quellix::testing::scripted_com {
namespace {

// A command that runs the program's decision may wait for a nested message
// loop; a program that stops answering altogether fails the command.
constexpr UINT kCommandTimeoutMs = 30000;

// An exported function of `module`, or nullptr.
template <typename Function>
Function Export(HMODULE module, const char* name) {
  // Through the generic function pointer type, as the language allows.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

using ServerFunction = HRESULT(WINAPI*)();

}  // namespace

std::wstring WindowsPath(const char* build_path) { return WindowsPath(win::Wide(build_path)); }

std::wstring WindowsPath(std::wstring path) {
  if (path.empty() || path.front() != L'/') return path;
  // Wine maps the Unix root to drive Z: in every prefix it makes.
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  return L"Z:" + path;
}

std::optional<ScriptedComBrowser> ScriptedComBrowser::Find(DWORD process_id, DWORD wait_ms) {
  const ULONGLONG deadline = GetTickCount64() + wait_ms;
  for (;;) {
    HWND window = nullptr;
    while ((window = FindWindowExW(HWND_MESSAGE, window, kControlWindowClass, nullptr)) != nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == process_id) return ScriptedComBrowser(window);
    }
    if (GetTickCount64() >= deadline) return std::nullopt;
    Sleep(50);
  }
}

LRESULT ScriptedComBrowser::Send(Command command, int window, int number, std::wstring_view text) const {
  const Request request{window, number};
  std::vector<char> data(sizeof request + text.size() * sizeof(wchar_t));
  std::memcpy(data.data(), &request, sizeof request);
  if (!text.empty()) std::memcpy(data.data() + sizeof request, text.data(), text.size() * sizeof(wchar_t));
  COPYDATASTRUCT copy{static_cast<ULONG_PTR>(command), static_cast<DWORD>(data.size()), data.data()};
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(control_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_NORMAL,
                           kCommandTimeoutMs, &result)) {
    return kBadRequest;
  }
  return static_cast<LRESULT>(result);
}

bool ScriptedComBrowser::Reset() const { return Send(Command::kReset, 0, 0) == 1; }

int ScriptedComBrowser::OpenWindow(std::wstring_view url, bool announce) const {
  return static_cast<int>(Send(Command::kOpenWindow, 0, announce ? 1 : 0, url));
}

bool ScriptedComBrowser::CloseWindow(int window, bool announce) const {
  return Send(Command::kCloseWindow, window, announce ? 1 : 0) == 1;
}

bool ScriptedComBrowser::Navigate(int window, std::wstring_view url) const {
  return Send(Command::kNavigate, window, 0, url) == 1;
}

bool ScriptedComBrowser::RaiseStatusTextChange(int window, std::wstring_view text) const {
  return Send(Command::kStatusTextChange, window, 0, text) == 1;
}

std::optional<ScriptedComBrowser::NewWindow2Answer> ScriptedComBrowser::RaiseNewWindow2(int window,
                                                                                       VARIANT_BOOL cancel) const {
  const LRESULT answer = Send(Command::kNewWindow2, window, cancel);
  if (answer < 0) return std::nullopt;
  return NewWindow2Answer{static_cast<VARIANT_BOOL>(answer & 0xFFFF), (answer & kPpDispTouched) != 0};
}

bool ScriptedComBrowser::RaiseOtherEvent(int window, DISPID event) const {
  return Send(Command::kOtherEvent, window, static_cast<int>(event)) == 1;
}

bool ScriptedComBrowser::RaiseWindowRegistered(long cookie) const {
  return Send(Command::kWindowRegistered, static_cast<int>(cookie), 0) == 1;
}

bool ScriptedComBrowser::RaiseWindowRevoked(long cookie) const {
  return Send(Command::kWindowRevoked, static_cast<int>(cookie), 0) == 1;
}

long ScriptedComBrowser::Query(scripted_com::Query what, int window) const {
  return static_cast<long>(Send(Command::kQuery, window, static_cast<int>(what)));
}

bool ScriptedComBrowser::RaiseDuringNextCall(Stage stage) const {
  return Send(Command::kRaiseDuringNextCall, 0, static_cast<int>(stage)) == 1;
}

bool ScriptedComBrowser::SetFailure(Failure failure, bool on, int window) const {
  return Send(Command::kSetFailure, window, static_cast<int>(failure), on ? L"1" : L"0") == 1;
}

ScriptedComServer::ScriptedComServer(const std::wstring& dll_path) : module_(LoadLibraryW(dll_path.c_str())) {
  if (!module_) return;
  const auto register_server = Export<ServerFunction>(module_, "DllRegisterServer");
  registered_ = register_server && SUCCEEDED(register_server());
}

ScriptedComServer::~ScriptedComServer() {
  if (!module_) return;
  if (registered_) {
    if (const auto unregister = Export<ServerFunction>(module_, "DllUnregisterServer")) {
      unregister();
    }
  }
  // The DLL pins itself once its control window exists; this only drops our own load.
  FreeLibrary(module_);
}

std::optional<ScriptedComBrowser> ScriptedComServer::Control() const {
  if (!module_) return std::nullopt;
  const auto control = Export<HWND(WINAPI*)()>(module_, "ScriptedComBrowser_ControlWindow");
  if (!control) return std::nullopt;
  HWND window = control();
  if (!window) return std::nullopt;
  return ScriptedComBrowser(window);
}

}  // namespace quellix::testing::scripted_com
