#include "platform/win/browser_pipe_win.h"

#include <sddl.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace quellix::win {
namespace {

std::vector<BYTE> TokenInformation(TOKEN_INFORMATION_CLASS kind) {
  ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return {};
  DWORD size = 0;
  GetTokenInformation(token.Get(), kind, nullptr, 0, &size);
  if (size == 0) return {};
  std::vector<BYTE> data(size);
  if (!GetTokenInformation(token.Get(), kind, data.data(), size, &size)) return {};
  return data;
}

std::wstring SidText(PSID sid) {
  ScopedLocalMemory text;
  LPWSTR raw = nullptr;
  if (sid == nullptr || !IsValidSid(sid) || !ConvertSidToStringSidW(sid, &raw)) return {};
  text.Reset(raw);
  return raw;
}

std::wstring FileNameOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::wstring UserSidText() {
  const std::vector<BYTE> data = TokenInformation(TokenUser);
  if (data.empty()) return {};
  return SidText(reinterpret_cast<const TOKEN_USER*>(data.data())->User.Sid);
}

std::wstring SessionSidText() {
  const std::vector<BYTE> data = TokenInformation(TokenGroups);
  if (!data.empty()) {
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(data.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
      if ((groups->Groups[i].Attributes & SE_GROUP_LOGON_ID) == SE_GROUP_LOGON_ID)
        return SidText(groups->Groups[i].Sid);
    }
  }
  return UserSidText();
}

std::wstring BrowserPipeName() {
  const std::wstring sid = SessionSidText();
  if (sid.empty()) return {};
  return L"\\\\.\\pipe\\quellix.popup_blocker." + sid;
}

std::optional<PipeSecurity> PipeSecurity::ForSession() {
  const std::wstring sid = SessionSidText();
  const std::wstring user = UserSidText();
  if (sid.empty() || user.empty()) return std::nullopt;
  // Owned by the user (not the token's default owner, which is the
  // administrators' group in an elevated process), so that the host can
  // check whose pipe it opened; protected DACL, one entry: generic all for
  // the session SID.
  const std::wstring sddl = L"O:" + user + L"D:P(A;;GA;;;" + sid + L")";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return std::nullopt;
  PipeSecurity security;
  security.descriptor_.Reset(descriptor);
  security.attributes_.nLength = sizeof security.attributes_;
  security.attributes_.lpSecurityDescriptor = descriptor;
  security.attributes_.bInheritHandle = FALSE;
  return security;
}

std::wstring OwnerSidText(HANDLE object) {
  DWORD size = 0;
  GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, nullptr, 0, &size);
  if (size == 0) return {};
  std::vector<BYTE> descriptor(size);
  if (!GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, descriptor.data(), size, &size)) return {};
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted)) return {};
  return SidText(owner);
}

std::wstring PipePeerImagePath(HANDLE pipe, bool client) {
  ULONG process_id = 0;
  const BOOL known = client ? GetNamedPipeClientProcessId(pipe, &process_id)
                            : GetNamedPipeServerProcessId(pipe, &process_id);
  if (!known || process_id == 0) return {};
  ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  if (!process) return {};
  wchar_t path[MAX_PATH * 2];
  DWORD length = static_cast<DWORD>(std::size(path));
  if (!QueryFullProcessImageNameW(process.Get(), 0, path, &length)) return {};
  return std::wstring(path, length);
}

std::wstring PipePeerImageName(HANDLE pipe, bool client) { return FileNameOf(PipePeerImagePath(pipe, client)); }

bool SameFilePath(const std::wstring& a, const std::wstring& b) {
  auto long_form = [](const std::wstring& path) {
    std::wstring full(32768, L'\0');
    const DWORD length = GetLongPathNameW(path.c_str(), full.data(), static_cast<DWORD>(full.size()));
    if (length == 0 || length >= full.size()) return path;
    full.resize(length);
    return full;
  };
  if (a.empty() || b.empty()) return false;
  return CompareStringOrdinal(long_form(a).c_str(), -1, long_form(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool WriteAllOverlapped(HANDLE handle, std::string_view bytes, HANDLE event, DWORD ms) {
  while (!bytes.empty()) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    ResetEvent(event);
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), chunk, nullptr, &overlapped) && GetLastError() != ERROR_IO_PENDING)
      return false;
    if (WaitForSingleObject(event, ms) != WAIT_OBJECT_0) {
      CancelIoEx(handle, &overlapped);
      GetOverlappedResult(handle, &overlapped, &written, TRUE);
      return false;
    }
    if (!GetOverlappedResult(handle, &overlapped, &written, FALSE) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

DWORD ReadSomeOverlapped(HANDLE handle, char* buffer, DWORD size, HANDLE event, HANDLE stop) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  ResetEvent(event);
  DWORD read = 0;
  if (!ReadFile(handle, buffer, size, nullptr, &overlapped) && GetLastError() != ERROR_IO_PENDING) return 0;
  if (stop != nullptr) {
    const HANDLE waits[] = {event, stop};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
      CancelIoEx(handle, &overlapped);
      GetOverlappedResult(handle, &overlapped, &read, TRUE);
      return 0;
    }
  }
  if (!GetOverlappedResult(handle, &overlapped, &read, TRUE)) return 0;
  return read;
}

}  // namespace quellix::win
