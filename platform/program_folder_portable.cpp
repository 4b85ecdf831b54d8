#include <unistd.h>

#include <string>

#include "platform/program_folder.h"

namespace quellix::platform {

std::string ProgramFolder() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0) return ".";
  path.resize(static_cast<std::size_t>(n));
  const std::size_t cut = path.rfind('/');
  return cut == std::string::npos || cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

}  // namespace quellix::platform
