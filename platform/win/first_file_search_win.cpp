#include <windows.h>

#include "platform/first_file_search.h"
#include "platform/win/scoped_handle.h"
#include "platform/win/wide_string.h"

namespace quellix::platform {

FirstFileResult FindFirstOrdinaryFile(const std::string& path) {
  constexpr DWORD kNotOrdinary = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_DEVICE;
  WIN32_FIND_DATAW found{};
  win::ScopedFindHandle search(FindFirstFileW(win::Wide(path).c_str(), &found));
  if (!search) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_NO_MORE_FILES) return {};
    return {true, {}};
  }
  do {
    if ((found.dwFileAttributes & kNotOrdinary) == 0) return {false, win::Utf8(found.cFileName)};
  } while (FindNextFileW(search.Get(), &found));
  return {};
}

}  // namespace quellix::platform
