// A directory listing with the filter of the Windows first-file search. Hidden
// means a name beginning with "."; the first match is the first in name order.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/first_file_search.h"
#include "platform/native_path.h"

namespace quellix::platform {

FirstFileResult FindFirstOrdinaryFile(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  const std::string folder = cut == std::string::npos ? "." : (cut == 0 ? "/" : path.substr(0, cut));
  const std::string pattern = cut == std::string::npos ? path : path.substr(cut + 1);
  if (pattern.empty()) return {};

  DIR* dir = ::opendir(NativePath(folder).c_str());
  if (!dir) {
    if (errno == ENOENT || errno == ENOTDIR) return {};
    return {true, {}};
  }
  std::vector<std::string> matches;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.' || !WildcardMatch(pattern, name)) continue;
    struct stat st {};
    std::string full = NativePath(folder);
    full += '/';
    full += name;
    if (::stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      matches.push_back(name);
    }
  }
  ::closedir(dir);
  if (matches.empty()) return {};
  return {false, *std::min_element(matches.begin(), matches.end())};
}

}  // namespace quellix::platform
