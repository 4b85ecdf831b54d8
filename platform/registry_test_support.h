// What the registry tests share across the two backends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace quellix::testing {

// The registry a shared test runs against: natively a fresh PortableRegistry
// with administrative rights; under Wine the real registry of the prefix.
std::shared_ptr<platform::Registry> RegistryUnderTest();

// A value as the registry holds it, or nothing when it is missing.
struct StoredValue {
  std::int32_t status = platform::reg_status::kFileNotFound;
  std::uint32_t type = platform::reg_type::kNone;
  std::string bytes;
  bool operator==(const StoredValue&) const = default;
};
StoredValue ReadStoredValue(platform::Registry& registry, platform::RegistryRoot root, const std::string& path,
                            const std::string& name);
bool KeyExists(platform::Registry& registry, platform::RegistryRoot root, const std::string& path);

// A folder of the running test's own under the temporary folder, removed with
// what it holds.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

 private:
  std::filesystem::path folder_;
};

// Remembers the watched keys and values as they are now and puts them back
// when destroyed: values are restored or removed, keys that did not exist
// (with the parents created along with them) are deleted, deepest first.
class RegistryRestorer {
 public:
  explicit RegistryRestorer(platform::Registry& registry) : registry_(registry) {}
  ~RegistryRestorer();
  RegistryRestorer(const RegistryRestorer&) = delete;
  RegistryRestorer& operator=(const RegistryRestorer&) = delete;

  void Watch(platform::RegistryRoot root, const std::string& path, const std::vector<std::string>& value_names = {});
  // Puts everything back; false (with a test failure) when something stayed changed.
  bool Restore();

 private:
  struct Saved {
    platform::RegistryRoot root;
    std::string path;
    bool existed;
    std::vector<std::pair<std::string, StoredValue>> values;
  };
  platform::Registry& registry_;
  std::vector<Saved> saved_;
  bool restored_ = false;
};

}  // namespace quellix::testing
