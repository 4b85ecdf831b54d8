#include "platform/file_exists.h"

#include "text/letter_case.h"
#include "platform/first_file_search.h"

namespace quellix::platform {
std::string TrimPath(const std::string& path) {
  const std::size_t cut = path.rfind('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::optional<bool> fileExists(const std::string& path) {
  const FirstFileResult found = FindFirstOrdinaryFile(path);
  if (found.failed) return std::nullopt;
  // An empty last part names no file, whatever the search returned.
  const std::string wanted = TrimPath(path);
  if (wanted.empty()) return false;
  // Equal letters' case aside: the upper-case comparison of the rule.
  return FoldCase(found.name) == FoldCase(wanted);
}

}  // namespace quellix::platform

namespace quellix::xfileExists {

bool fileExists(const std::string& path) { return platform::fileExists(path).value_or(false); }

std::string TrimPath(const std::string& path) { return platform::TrimPath(path); }

}  // namespace quellix::xfileExists
