#include "platform/registry_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace quellix::testing {

using platform::HandleOfRoot;
using platform::RegistryRoot;
using platform::ScopedRegistryKey;
namespace reg_access = platform::reg_access;
namespace reg_status = platform::reg_status;

ScratchFolder::ScratchFolder() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  folder_ = std::filesystem::temp_directory_path() /
            ("quellix-registry-" + std::string(test ? test->name() : "test") + "-" + std::to_string(stamp));
  std::filesystem::create_directories(folder_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

StoredValue ReadStoredValue(platform::Registry& registry, RegistryRoot root, const std::string& path,
                            const std::string& name) {
  StoredValue value;
  ScopedRegistryKey key(registry);
  value.status = registry.OpenKeyEx(HandleOfRoot(root), path, reg_access::kKeyRead, key.Put());
  if (value.status != reg_status::kSuccess) return value;
  std::uint32_t size = 0;
  value.status = registry.QueryValue(key.Get(), name, &value.type, nullptr, &size);
  if (value.status != reg_status::kSuccess) return value;
  value.bytes.assign(size, '\0');
  value.status =
      registry.QueryValue(key.Get(), name, &value.type, reinterpret_cast<std::uint8_t*>(value.bytes.data()), &size);
  value.bytes.resize(size);
  return value;
}

bool KeyExists(platform::Registry& registry, RegistryRoot root, const std::string& path) {
  ScopedRegistryKey key(registry);
  return registry.OpenKeyEx(HandleOfRoot(root), path, reg_access::kKeyRead, key.Put()) == reg_status::kSuccess;
}

void RegistryRestorer::Watch(RegistryRoot root, const std::string& path, const std::vector<std::string>& value_names) {
  // Every ancestor is watched too, so that parents created along the way go as well.
  for (std::size_t cut = path.find('\\'); cut != std::string::npos; cut = path.find('\\', cut + 1)) {
    const std::string parent = path.substr(0, cut);
    const bool known =
        std::any_of(saved_.begin(), saved_.end(), [&](const Saved& s) { return s.root == root && s.path == parent; });
    if (!known) saved_.push_back({root, parent, KeyExists(registry_, root, parent), {}});
  }
  Saved saved{root, path, KeyExists(registry_, root, path), {}};
  for (const std::string& name : value_names) {
    saved.values.emplace_back(name, ReadStoredValue(registry_, root, path, name));
  }
  saved_.push_back(std::move(saved));
}

bool RegistryRestorer::Restore() {
  restored_ = true;
  std::vector<const Saved*> order;
  for (const Saved& s : saved_) order.push_back(&s);
  // Deepest keys first: a key with subkeys cannot be deleted.
  std::stable_sort(order.begin(), order.end(), [](const Saved* a, const Saved* b) {
    return std::count(a->path.begin(), a->path.end(), '\\') > std::count(b->path.begin(), b->path.end(), '\\');
  });
  bool ok = true;
  for (const Saved* s : order) {
    if (!s->existed) {
      const std::int32_t status = registry_.DeleteKey(HandleOfRoot(s->root), s->path);
      if (status != reg_status::kSuccess && status != reg_status::kFileNotFound) ok = false;
      if (KeyExists(registry_, s->root, s->path)) {
        ADD_FAILURE() << "key left behind: " << s->path;
        ok = false;
      }
      continue;
    }
    ScopedRegistryKey key(registry_);
    if (registry_.CreateKeyEx(HandleOfRoot(s->root), s->path, reg_access::kKeyAllAccess, key.Put()) !=
        reg_status::kSuccess) {
      ok = false;
      continue;
    }
    for (const auto& [name, before] : s->values) {
      if (before.status == reg_status::kSuccess) {
        registry_.SetValue(key.Get(), name, before.type, reinterpret_cast<const std::uint8_t*>(before.bytes.data()),
                           static_cast<std::uint32_t>(before.bytes.size()));
      } else {
        registry_.DeleteValue(key.Get(), name);
      }
      if (ReadStoredValue(registry_, s->root, s->path, name) != before) {
        ADD_FAILURE() << "value not restored: " << s->path << " " << name;
        ok = false;
      }
    }
  }
  return ok;
}

RegistryRestorer::~RegistryRestorer() {
  if (!restored_) Restore();
}

}  // namespace quellix::testing
