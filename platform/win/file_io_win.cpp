#include <windows.h>

#include <string>

#include "platform/file_io.h"
#include "platform/win/file_replace_win.h"
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
  return ReplaceWholeFileWith(path, bytes, &ReplaceFileW);
}

namespace {

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool MoveIntoPlace(const std::wstring& from, const std::wstring& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace

IoResult ReplaceWholeFileWith(const std::string& path, std::string_view bytes, ReplaceFileCall replace) {
  const std::wstring target = win::Wide(path);
  if (IsReadOnly(target)) return ReadOnlyFailure(path);
  const std::wstring suffix = win::Wide(std::to_string(GetCurrentProcessId()));
  const std::wstring temp = target + L".new" + suffix;
  // Where the old file waits while the new one moves in; known by name, so
  // that a replacement failing half way can put the old file back.
  const std::wstring backup = target + L".old" + suffix;
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
    const bool old_exists = Exists(target);
    const DWORD held = old_exists ? OldFileReplaceable(target) : ERROR_SUCCESS;
    bool replaced = false;
    if (held != ERROR_SUCCESS) {
      replaced = false;
    } else if (old_exists) {
      DeleteFileW(backup.c_str());  // left by an earlier copy that was ended half way
      replaced = replace(target.c_str(), temp.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                         nullptr) != 0;
      if (replaced) DeleteFileW(backup.c_str());
    } else {
      replaced = MoveIntoPlace(temp, target);
    }
    if (replaced) return {};
    const DWORD code = held != ERROR_SUCCESS ? held : GetLastError();
    if (!Exists(target)) {
      if (Exists(backup)) {
        // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2: the old file is under the
        // backup name; it takes its own name again before anything else.
        MoveIntoPlace(backup, target);
      } else if (Exists(temp) && MoveIntoPlace(temp, target)) {
        // ERROR_UNABLE_TO_MOVE_REPLACEMENT: the old file is gone already, so
        // the new one must take its place, never be deleted.
        return {};
      }
    }
    if (attempt >= 4 || (code != ERROR_SHARING_VIOLATION && code != ERROR_ACCESS_DENIED &&
                         code != ERROR_UNABLE_TO_MOVE_REPLACEMENT && code != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 &&
                         code != ERROR_UNABLE_TO_REMOVE_REPLACED)) {
      SetLastError(code);
      IoResult failure = LastError("Cannot write", path);
      // With no list file left at all, the new contents are the list: they
      // stay, and the message says where.
      if (!Exists(target) && Exists(temp)) {
        failure.error += " The list is kept in \"" + win::Utf8(temp) + "\".";
      } else {
        DeleteFileW(temp.c_str());
      }
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
