// The running program's own version information.
#pragma once

#include <string>

namespace quellix::platform {

struct VersionInfo {
  std::string ProductName;
  std::string CompanyName;
  std::string Comments;
  int major = 0;
  int minor = 0;
};

// Windows: the VERSIONINFO resource of the running exe (absent fields give
// empty strings). Portable build: the record fixed at build time.
VersionInfo ReadOwnVersionInfo();

}  // namespace quellix::platform
