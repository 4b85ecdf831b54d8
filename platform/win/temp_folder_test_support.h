// For Windows tests: a fresh folder under %TEMP%, removed with what it holds.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/file_io.h"
#include "platform/win/scoped_handle.h"
#include "platform/win/wide_string.h"

namespace quellix::testing {

class TempFolder {
 public:
  TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    path_ = std::wstring(base) + L"quellix-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount64());
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    WIN32_FIND_DATAW found;
    win::ScopedFindHandle search(FindFirstFileW((path_ + L"\\*").c_str(), &found));
    if (search) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring full = path_ + L"\\" + name;
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveDirectoryW(full.c_str());
        } else {
          DeleteFileW(full.c_str());
        }
      } while (FindNextFileW(search.Get(), &found));
    }
    search.Reset();
    RemoveDirectoryW(path_.c_str());
  }
  std::string Utf8() const { return win::Utf8(path_); }
  std::wstring Wide() const { return path_; }
  void Write(const wchar_t* name, const std::string& bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL) const {
    win::ScopedHandle file(CreateFileW((path_ + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       attributes, nullptr));
    DWORD written = 0;
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
  std::string Read(const wchar_t* name) const {
    std::string bytes;
    EXPECT_TRUE(platform::ReadWholeFile(win::Utf8(path_ + L"\\" + name), bytes).ok);
    return bytes;
  }

 private:
  std::wstring path_;
};

}  // namespace quellix::testing
