#include <unistd.h>

#include <string>

#include "platform/program_folder.h"

namespace quellix::platform {

namespace {

std::string OwnExecutablePath() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0) return {};
  path.resize(static_cast<std::size_t>(n));
  return path;
}

}  // namespace

std::string ProgramFolder() {
  const std::string path = OwnExecutablePath();
  if (path.empty()) return ".";
  const std::size_t cut = path.rfind('/');
  return cut == std::string::npos || cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

std::string ProgramExeName() {
  std::string name = OwnExecutablePath();
  name.erase(0, name.rfind('/') + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

}  // namespace quellix::platform
