// The file system's first-file search, as the file-existence test uses it.
#pragma once

#include <string>

namespace quellix::platform {

struct FirstFileResult {
  bool failed = false;  // the search itself failed (a malformed path, a drive not ready)
  std::string name;     // the first ordinary file's name, without folder; empty when none
};

// Searches the folder of `path` for the first entry matching its last part
// (with "*" and "?" as wildcards, letters' case ignored) that is an ordinary
// file: not a folder, not hidden, not a system file, not a volume label.
FirstFileResult FindFirstOrdinaryFile(const std::string& path);

// True when `name` matches `pattern` by the wildcard rules above.
bool WildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace quellix::platform
