// The portable build's view of the program's Windows-style paths.
#pragma once

#include <algorithm>
#include <string>

namespace quellix::platform {

// "\" is the separator in every path the program builds; POSIX wants "/".
inline std::string NativePath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace quellix::platform
