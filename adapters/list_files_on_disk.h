// The site lists' files on disk, through the platform's crash-safe file
// operations and its ANSI code page.
#pragma once

#include "core/list_files.h"

namespace quellix {

class ListFilesOnDisk final : public ListFiles {
 public:
  StoreResult Read(const std::string& path, std::string& text) override;
  StoreResult Append(const std::string& path, const std::string& text) override;
  StoreResult Replace(const std::string& path, const std::string& text) override;
  StoreResult CreateIfAbsent(const std::string& path, const std::string& text) override;
};

}  // namespace quellix
