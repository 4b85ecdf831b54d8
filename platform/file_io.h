// Whole files and appends, for the list files. Paths are UTF-8 and use "\" as
// the separator, as the program builds them; the portable build maps "\" to "/".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quellix::platform {

struct IoResult {
  bool ok = true;
  std::string error;  // what went wrong, for the user; empty when ok
  static IoResult Failure(std::string why) { return {false, std::move(why)}; }
};

// Files larger than this are refused rather than read into memory.
inline constexpr std::uint64_t kMaxReadableFileSize = 256ull * 1024 * 1024;

// Reads the whole file into `bytes`.
[[nodiscard]] IoResult ReadWholeFile(const std::string& path, std::string& bytes);

// Appends to the file, creating it when missing. If the write fails part way
// the file is cut back to its old length.
[[nodiscard]] IoResult AppendToFile(const std::string& path, std::string_view bytes);

// Replaces the file's contents: the new contents go to a temporary file in the
// same folder, are flushed, and replace the old file only when complete. On
// failure the old file is left as it was and the temporary file removed.
[[nodiscard]] IoResult ReplaceWholeFile(const std::string& path, std::string_view bytes);

// Creates the file with `bytes` only if nothing of that name exists (not even
// a hidden file or a folder); an existing entry is left alone and is not an error.
[[nodiscard]] IoResult CreateFileIfAbsent(const std::string& path, std::string_view bytes);

}  // namespace quellix::platform
