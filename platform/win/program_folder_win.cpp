#include <windows.h>

#include "platform/program_folder.h"
#include "platform/win/wide_string.h"

namespace quellix::platform {

std::string ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return ".";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t cut = path.rfind(L'\\');
  if (cut != std::wstring::npos) path.resize(cut);
  // A drive root keeps no final backslash either ("C:"); the program adds "\name".
  return win::Utf8(path);
}

}  // namespace quellix::platform
