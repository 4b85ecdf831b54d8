#include "platform/first_file_search.h"

#include "text/letter_case.h"

namespace quellix::platform {

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  const std::string p = FoldCase(pattern);
  const std::string n = FoldCase(name);
  // Iterative match with one backtrack point for the last "*".
  std::size_t pi = 0, ni = 0, star = std::string::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (star != std::string::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

}  // namespace quellix::platform
