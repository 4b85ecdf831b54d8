// The list files as the site list store reaches them. The store is handed
// them, as the popup decision is handed its PopupHost: the program's are on
// disk (adapters/list_files_on_disk.h), in the system's ANSI code page.
#pragma once

#include <string>

namespace quellix {

// What a store operation reports. On failure the steps before the failing one
// are done and the rest are not; `message` says what went wrong.
struct [[nodiscard]] StoreResult {
  bool ok = true;
  std::string message;
  explicit operator bool() const { return ok; }
};

// Texts are UTF-8 here; the files hold them in the ANSI code page, and the
// operations convert at that boundary. Paths are as the store builds them.
class ListFiles {
 public:
  virtual ~ListFiles() = default;
  virtual StoreResult Read(const std::string& path, std::string& text) = 0;
  // Appends, creating the file when missing; a write that fails part way
  // leaves the file as it was.
  virtual StoreResult Append(const std::string& path, const std::string& text) = 0;
  // Replaces the whole file; the old file stays until the new one is complete.
  virtual StoreResult Replace(const std::string& path, const std::string& text) = 0;
  // Creates the file with `text` only if nothing of that name exists; an
  // existing one is left alone and is no failure.
  virtual StoreResult CreateIfAbsent(const std::string& path, const std::string& text) = 0;
};

}  // namespace quellix
