#include <windows.h>

#include <string>

#include "platform/file_io.h"
#include "platform/win/scoped_handle.h"
#include "platform/win/wide_string.h"

namespace quellix::platform {
namespace {

IoResult LastError(const std::string& what, const std::string& path) {
  const DWORD code = GetLastError();
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string why = text ? win::Utf8(text) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ')) why.pop_back();
  return IoResult::Failure(what + " \"" + path + "\": " + why);
}

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

bool IsReadOnly(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// A read-only file is neither appended to nor replaced, whatever the rights of
// the user (Wine run by root would write it).
IoResult ReadOnlyFailure(const std::string& path) {
  SetLastError(ERROR_ACCESS_DENIED);
  return LastError("Cannot write", path);
}

// Whether the old file could be replaced now: another program holding it open
// without sharing its deletion stops a replacement, and some implementations
// of ReplaceFileW leave a temporary file of their own in the folder when they
// fail that way, so this is asked first.
DWORD OldFileReplaceable(const std::wstring& target) {
  win::ScopedHandle probe(CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return probe ? ERROR_SUCCESS : GetLastError();
}

}  // namespace

IoResult ReadWholeFile(const std::string& path, std::string& bytes) {
  win::ScopedHandle file(CreateFileW(win::Wide(path).c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastError("Cannot open", path);
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) return LastError("Cannot read", path);
  if (static_cast<std::uint64_t>(size.QuadPart) > kMaxReadableFileSize) {
    return IoResult::Failure("The file \"" + path + "\" is too large to read");
  }
  bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    if (!ReadFile(file.Get(), bytes.data() + done, want, &got, nullptr)) return LastError("Cannot read", path);
    if (got == 0) break;  // the file shrank meanwhile
    done += got;
  }
  bytes.resize(done);
  return {};
}

IoResult AppendToFile(const std::string& path, std::string_view bytes) {
  if (IsReadOnly(win::Wide(path))) return ReadOnlyFailure(path);
  win::ScopedHandle file(CreateFileW(win::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastError("Cannot open", path);
  LARGE_INTEGER old_size{};
  if (!GetFileSizeEx(file.Get(), &old_size) ||
      !SetFilePointerEx(file.Get(), old_size, nullptr, FILE_BEGIN)) {
    return LastError("Cannot write", path);
  }
  if (!WriteAll(file.Get(), bytes) || !FlushFileBuffers(file.Get())) {
    IoResult failure = LastError("Cannot write", path);
    SetFilePointerEx(file.Get(), old_size, nullptr, FILE_BEGIN);
    SetEndOfFile(file.Get());
    return failure;
  }
  return {};
}

IoResult ReplaceWholeFile(const std::string& path, std::string_view bytes) {
  const std::wstring target = win::Wide(path);
  if (IsReadOnly(target)) return ReadOnlyFailure(path);
  const std::wstring temp = target + L".new" + std::to_wstring(GetCurrentProcessId());
  {
    win::ScopedHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastError("Cannot write", path);
    if (!WriteAll(file.Get(), bytes) || !FlushFileBuffers(file.Get())) {
      IoResult failure = LastError("Cannot write", path);
      file.Reset();
      DeleteFileW(temp.c_str());
      return failure;
    }
  }
  // Virus scanners briefly hold new files open: retry a few times.
  for (int attempt = 0;; ++attempt) {
    const bool old_exists = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
    const DWORD held = old_exists ? OldFileReplaceable(target) : ERROR_SUCCESS;
    const bool replaced =
        held != ERROR_SUCCESS ? false
        : old_exists          ? ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                             nullptr, nullptr) != 0
                              : MoveFileExW(temp.c_str(), target.c_str(),
                                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (replaced) return {};
    const DWORD code = held != ERROR_SUCCESS ? held : GetLastError();
    if (attempt >= 4 || (code != ERROR_SHARING_VIOLATION && code != ERROR_ACCESS_DENIED &&
                         code != ERROR_UNABLE_TO_MOVE_REPLACEMENT && code != ERROR_UNABLE_TO_REMOVE_REPLACED)) {
      SetLastError(code);
      IoResult failure = LastError("Cannot write", path);
      DeleteFileW(temp.c_str());
      return failure;
    }
    Sleep(50);
  }
}

IoResult CreateFileIfAbsent(const std::string& path, std::string_view bytes) {
  const std::wstring wide = win::Wide(path);
  win::ScopedHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) return {};
    if (code == ERROR_ACCESS_DENIED && GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES) return {};
    SetLastError(code);
    return LastError("Cannot create", path);
  }
  if (!WriteAll(file.Get(), bytes) || !FlushFileBuffers(file.Get())) {
    IoResult failure = LastError("Cannot write", path);
    file.Reset();
    DeleteFileW(wide.c_str());
    return failure;
  }
  return {};
}

}  // namespace quellix::platform
