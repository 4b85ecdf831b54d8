#include <windows.h>

#include "platform/program_folder.h"
#include "platform/win/wide_string.h"

namespace quellix::platform {

namespace {

std::wstring OwnExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

std::string ProgramFolder() {
  std::wstring path = OwnExecutablePath();
  if (path.empty()) return ".";
  const std::size_t cut = path.rfind(L'\\');
  if (cut != std::wstring::npos) path.resize(cut);
  // A drive root keeps no final backslash either ("C:"); the program adds "\name".
  return win::Utf8(path);
}

std::string ProgramExeName() {
  std::wstring name = OwnExecutablePath();
  name.erase(0, name.rfind(L'\\') + 1);
  const std::size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos && dot > 0) name.resize(dot);
  return win::Utf8(name);
}

}  // namespace quellix::platform
