// The list files in memory, for the core's tests of the site list store:
// each file's text by its path, as the store builds it.
#pragma once

#include <map>
#include <string>

#include "core/list_files.h"

namespace quellix::testing {

class MemoryListFiles final : public ListFiles {
 public:
  StoreResult Read(const std::string& path, std::string& text) override {
    const auto file = files.find(path);
    if (file == files.end()) return {false, "\"" + path + "\" does not exist."};
    text = file->second;
    return {};
  }
  StoreResult Append(const std::string& path, const std::string& text) override {
    files[path] += text;
    return {};
  }
  StoreResult Replace(const std::string& path, const std::string& text) override {
    files[path] = text;
    return {};
  }
  StoreResult CreateIfAbsent(const std::string& path, const std::string& text) override {
    files.try_emplace(path, text);
    return {};
  }

  std::map<std::string, std::string> files;
};

}  // namespace quellix::testing
