// The file-existence test and TrimPath: the main window's copy, whose search
// failures go to the caller, and the module xfileExists, which reports them
// as "does not exist". Both follow one rule.
#pragma once

#include <optional>
#include <string>

namespace quellix::platform {

// The part of `path` after its last backslash ("\" only; "/" and ":" do not
// separate). Empty for an empty path or one that ends with a backslash.
std::string TrimPath(const std::string& path);

// True when the last part of `path` names an ordinary file exactly, letters'
// case aside (folders, hidden and system files, wildcard patterns: false).
// Nothing when the search itself failed.
std::optional<bool> fileExists(const std::string& path);

}  // namespace quellix::platform

namespace quellix::xfileExists {

// As platform::fileExists, but a failure of the search gives false.
bool fileExists(const std::string& path);
std::string TrimPath(const std::string& path);

}  // namespace quellix::xfileExists
