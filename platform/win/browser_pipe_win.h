// The named pipe between the native messaging host (QuellixBridge.exe) and
// the running program: its name, its security, and overlapped I/O with a
// time limit, which both ends use (each end reads on one thread while another
// writes, which a pipe opened for synchronous I/O would serialise).
//
// The pipe belongs to one user's logon session: its name carries the
// session's logon SID and its only access entry grants that SID, so another
// user, or the same user logged on elsewhere, can neither open it nor find it
// under that name; remote clients are refused.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/win/scoped_handle.h"

namespace quellix::win {

// Local memory that LocalFree releases (security descriptors, SID strings).
struct LocalMemoryTraits {
  using Handle = void*;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::LocalFree(h); }
};
using ScopedLocalMemory = UniqueHandle<LocalMemoryTraits>;

// The logon session's SID, as text ("S-1-5-5-..."), or the user's SID where
// the token has no logon SID. Empty when neither can be read.
std::wstring SessionSidText();
// The SID of the user running this process, as text; empty when unreadable.
std::wstring UserSidText();

// "\\.\pipe\quellix.popup_blocker.<session SID>"; empty when no SID is known.
std::wstring BrowserPipeName();

// SECURITY_ATTRIBUTES granting full access to the session SID only.
class PipeSecurity {
 public:
  static std::optional<PipeSecurity> ForSession();
  SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }

 private:
  ScopedLocalMemory descriptor_;
  SECURITY_ATTRIBUTES attributes_{};
};

// The owner of a kernel object (the pipe's creator), as SID text.
std::wstring OwnerSidText(HANDLE object);

// The program's file name: the bridge serves only the one in its own folder.
inline constexpr const wchar_t* kProgramImageName = L"QuellixPopUpBlocker.exe";

// The full path of the process at the other end of a pipe; `client` picks
// that end. Empty when it cannot be found out.
std::wstring PipePeerImagePath(HANDLE pipe, bool client);
// The same path's file name, without the folder.
std::wstring PipePeerImageName(HANDLE pipe, bool client);

// True when two paths name the same file: letter case and short (8.3)
// names aside.
bool SameFilePath(const std::wstring& a, const std::wstring& b);

// Writes all of `bytes` to an overlapped handle, waiting at most `ms`; an
// unfinished write is cancelled. `event` is a manual-reset event of the caller's.
bool WriteAllOverlapped(HANDLE handle, std::string_view bytes, HANDLE event, DWORD ms);
// Reads up to `size` bytes from an overlapped handle, waiting until some
// arrive; 0 at the end of the stream, on failure, or once `stop` (an event
// of the caller's, when given) is set.
DWORD ReadSomeOverlapped(HANDLE handle, char* buffer, DWORD size, HANDLE event, HANDLE stop = nullptr);

}  // namespace quellix::win
