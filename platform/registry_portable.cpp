#include "platform/registry_portable.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/file_io.h"
#include "platform/native_path.h"
#include "platform/registry_text_format.h"

namespace quellix::platform {

struct PortableRegistry::Node {
  struct Value {
    std::string name;  // as first written
    std::uint32_t type = reg_type::kNone;
    std::vector<std::uint8_t> data;
  };

  std::string name;                                      // as created
  Node* parent = nullptr;                                // null for a root and for a deleted key
  std::map<std::string, std::shared_ptr<Node>> subkeys;  // by folded name
  std::map<std::string, Value> values;                   // by folded name
  bool deleted = false;
};

namespace {

using Node = PortableRegistry::Node;

constexpr RegistryRoot kAllRoots[] = {RegistryRoot::ClassesRoot, RegistryRoot::CurrentUser, RegistryRoot::LocalMachine,
                                      RegistryRoot::Users, RegistryRoot::CurrentConfig};

// Names compare as the registry compares them: letters of the ANSI code page
// (Windows-1252) without regard to case.
std::string Fold(std::string_view name) {
  std::string folded(name);
  for (char& ch : folded) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
      ch = static_cast<char>(c + 0x20);
    } else if (c == 0x8A || c == 0x8C || c == 0x8E) {
      ch = static_cast<char>(c + 0x10);
    } else if (c == 0x9F) {
      ch = static_cast<char>(0xFF);
    }
  }
  return folded;
}

// The A functions take C strings: a name ends at its first NUL.
std::string_view AsCString(const std::string& text) { return std::string_view(text.c_str()); }

std::int32_t SplitPath(const std::string& path, std::vector<std::string_view>& parts) {
  const std::string_view text = AsCString(path);
  if (!text.empty() && text.front() == '\\') return reg_status::kBadPathname;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\\', start), text.size());
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return reg_status::kSuccess;
}

std::shared_ptr<Node> AddChild(Node& parent, std::string_view name) {
  auto child = std::make_shared<Node>();
  child->name = std::string(name);
  child->parent = &parent;
  parent.subkeys.emplace(Fold(name), child);
  return child;
}

void CollectKeys(const Node& node, RegistryRoot root, std::vector<std::string>& path,
                 std::vector<RegistryTextKey>& out) {
  if (!path.empty() || !node.values.empty()) {
    RegistryTextKey key{root, path, {}};
    for (const auto& [folded, value] : node.values) key.values.push_back({value.name, value.type, value.data});
    out.push_back(std::move(key));
  }
  for (const auto& [folded, child] : node.subkeys) {
    path.push_back(child->name);
    CollectKeys(*child, root, path, out);
    path.pop_back();
  }
}

}  // namespace

PortableRegistry::PortableRegistry() : PortableRegistry(Options{}) {}

PortableRegistry::PortableRegistry(Options options) : options_(std::move(options)) {
  for (const RegistryRoot root : kAllRoots) roots_.emplace(root, std::make_shared<Node>());
  Load();
}

PortableRegistry::~PortableRegistry() = default;

bool PortableRegistry::MayWrite(RegistryRoot root) const {
  return root == RegistryRoot::CurrentUser || options_.administrator;
}

PortableRegistry::Resolved PortableRegistry::ResolveHandle(RegistryHandle handle) const {
  for (const RegistryRoot root : kAllRoots) {
    if (HandleOfRoot(root) == handle) {
      // A predefined root is open with the most access the process may have.
      return {reg_status::kSuccess, roots_.at(root), root,
              MayWrite(root) ? reg_access::kKeyAllAccess : reg_access::kKeyRead};
    }
  }
  const auto it = open_.find(handle);
  if (it == open_.end()) return {reg_status::kInvalidHandle, nullptr};
  return {reg_status::kSuccess, it->second.node, it->second.root, it->second.access};
}

std::uint32_t PortableRegistry::GrantedAccess(RegistryRoot root, std::uint32_t requested, std::int32_t& status) const {
  status = reg_status::kSuccess;
  if (requested & reg_access::kMaximumAllowed) {
    return MayWrite(root) ? reg_access::kKeyAllAccess : reg_access::kKeyRead;
  }
  if ((requested & reg_access::kModifying) && !MayWrite(root)) status = reg_status::kAccessDenied;
  return requested;
}

RegistryHandle PortableRegistry::AddHandle(std::shared_ptr<Node> node, RegistryRoot root, std::uint32_t access) {
  const RegistryHandle handle = next_handle_;
  next_handle_ += 4;
  open_.emplace(handle, OpenKeyEntry{std::move(node), root, access});
  return handle;
}

PortableRegistry::PathWalk PortableRegistry::WalkPath(RegistryHandle parent, const std::string& path) const {
  PathWalk walk;
  walk.from = ResolveHandle(parent);
  walk.status = walk.from.status;
  if (walk.status != reg_status::kSuccess) return walk;
  if (walk.from.node->deleted) {
    walk.status = reg_status::kKeyDeleted;
    return walk;
  }
  walk.status = SplitPath(path, walk.missing);
  if (walk.status != reg_status::kSuccess) return walk;
  walk.deepest = walk.from.node;
  while (!walk.missing.empty()) {
    const auto it = walk.deepest->subkeys.find(Fold(walk.missing.front()));
    if (it == walk.deepest->subkeys.end()) break;
    walk.deepest = it->second;
    walk.missing.erase(walk.missing.begin());
  }
  return walk;
}

std::int32_t PortableRegistry::Open(RegistryHandle parent, const std::string& path, std::uint32_t access, bool create,
                                    RegistryHandle& key) {
  key = 0;
  PathWalk walk = WalkPath(parent, path);
  if (walk.status != reg_status::kSuccess) return walk.status;
  if (!walk.missing.empty()) {
    if (!create) return reg_status::kFileNotFound;
    if (!MayWrite(walk.from.root)) return reg_status::kAccessDenied;
  }
  std::int32_t status = reg_status::kSuccess;
  const std::uint32_t granted = GrantedAccess(walk.from.root, access, status);
  if (status != reg_status::kSuccess) return status;

  if (!walk.missing.empty()) {
    for (const std::string_view part : walk.missing) walk.deepest = AddChild(*walk.deepest, part);
    if (const std::int32_t saved = Persist(); saved != reg_status::kSuccess) return saved;
  }
  key = AddHandle(std::move(walk.deepest), walk.from.root, granted);
  return reg_status::kSuccess;
}

std::int32_t PortableRegistry::CreateKey(RegistryHandle parent, const std::string& path, RegistryHandle& key) {
  const std::lock_guard lock(mutex_);
  return Open(parent, path, reg_access::kMaximumAllowed, true, key);
}

std::int32_t PortableRegistry::CreateKeyEx(RegistryHandle parent, const std::string& path, std::uint32_t access,
                                           RegistryHandle& key) {
  const std::lock_guard lock(mutex_);
  return Open(parent, path, access, true, key);
}

std::int32_t PortableRegistry::OpenKey(RegistryHandle parent, const std::string& path, RegistryHandle& key) {
  const std::lock_guard lock(mutex_);
  if (AsCString(path).empty()) {
    // RegOpenKeyA hands back the very key it was given.
    key = 0;
    const Resolved from = ResolveHandle(parent);
    if (from.status != reg_status::kSuccess) return from.status;
    key = parent;
    return reg_status::kSuccess;
  }
  return Open(parent, path, reg_access::kMaximumAllowed, false, key);
}

std::int32_t PortableRegistry::OpenKeyEx(RegistryHandle parent, const std::string& path, std::uint32_t access,
                                         RegistryHandle& key) {
  const std::lock_guard lock(mutex_);
  return Open(parent, path, access, false, key);
}

PortableRegistry::Resolved PortableRegistry::ResolveForValues(RegistryHandle key, std::uint32_t needed) const {
  Resolved at = ResolveHandle(key);
  if (at.status != reg_status::kSuccess) return at;
  if (at.node->deleted) {
    at.status = reg_status::kKeyDeleted;
  } else if (!(at.access & needed)) {
    at.status = reg_status::kAccessDenied;
  }
  return at;
}

std::int32_t PortableRegistry::QueryValue(RegistryHandle key, const std::string& name, std::uint32_t* type,
                                          std::uint8_t* data, std::uint32_t* size) {
  const std::lock_guard lock(mutex_);
  const Resolved at = ResolveForValues(key, reg_access::kQueryValue);
  if (at.status != reg_status::kSuccess) return at.status;
  if (data != nullptr && size == nullptr) return reg_status::kInvalidParameter;
  const auto it = at.node->values.find(Fold(AsCString(name)));
  if (it == at.node->values.end()) return reg_status::kFileNotFound;
  const Node::Value& value = it->second;
  if (type != nullptr) *type = value.type;
  const auto needed = static_cast<std::uint32_t>(value.data.size());
  if (data == nullptr) {
    if (size != nullptr) *size = needed;
    return reg_status::kSuccess;
  }
  if (*size < needed) {
    *size = needed;
    return reg_status::kMoreData;
  }
  std::copy(value.data.begin(), value.data.end(), data);
  *size = needed;
  return reg_status::kSuccess;
}

std::int32_t PortableRegistry::SetValue(RegistryHandle key, const std::string& name, std::uint32_t type,
                                        const std::uint8_t* data, std::uint32_t size) {
  const std::lock_guard lock(mutex_);
  const Resolved at = ResolveForValues(key, reg_access::kSetValue);
  if (at.status != reg_status::kSuccess) return at.status;
  if (data == nullptr && size != 0) return reg_status::kInvalidParameter;
  const std::string_view plain_name = AsCString(name);
  Node::Value& value = at.node->values[Fold(plain_name)];
  if (value.name.empty()) value.name = std::string(plain_name);
  value.type = type;
  value.data.assign(data, data + size);
  return Persist();
}

std::int32_t PortableRegistry::DeleteValue(RegistryHandle key, const std::string& name) {
  const std::lock_guard lock(mutex_);
  const Resolved at = ResolveForValues(key, reg_access::kSetValue);
  if (at.status != reg_status::kSuccess) return at.status;
  if (at.node->values.erase(Fold(AsCString(name))) == 0) return reg_status::kFileNotFound;
  return Persist();
}

std::int32_t PortableRegistry::DeleteKey(RegistryHandle parent, const std::string& path) {
  const std::lock_guard lock(mutex_);
  const PathWalk walk = WalkPath(parent, path);
  if (walk.status != reg_status::kSuccess) return walk.status;
  if (!walk.missing.empty()) return reg_status::kFileNotFound;
  Node& node = *walk.deepest;
  // A root cannot be deleted, nor a key that still has subkeys.
  if (node.parent == nullptr || !MayWrite(walk.from.root) || !node.subkeys.empty()) {
    return reg_status::kAccessDenied;
  }
  node.parent->subkeys.erase(Fold(node.name));
  node.parent = nullptr;
  node.deleted = true;
  return Persist();
}

std::int32_t PortableRegistry::CloseKey(RegistryHandle key) {
  const std::lock_guard lock(mutex_);
  for (const RegistryRoot root : kAllRoots) {
    if (HandleOfRoot(root) == key) return reg_status::kSuccess;
  }
  return open_.erase(key) == 1 ? reg_status::kSuccess : reg_status::kInvalidHandle;
}

std::size_t PortableRegistry::OpenKeyCount() const {
  const std::lock_guard lock(mutex_);
  return open_.size();
}

std::string PortableRegistry::Serialize() const {
  const std::lock_guard lock(mutex_);
  return TreeText();
}

std::string PortableRegistry::TreeText() const {
  std::vector<RegistryTextKey> keys;
  std::vector<std::string> path;
  for (const auto& [root, node] : roots_) CollectKeys(*node, root, path, keys);
  return WriteRegistryText(keys);
}

std::int32_t PortableRegistry::Persist() {
  if (options_.file.empty()) return reg_status::kSuccess;
  // The tree in memory stays as changed; the next change tries the file again.
  return ReplaceWholeFile(options_.file, TreeText()).ok ? reg_status::kSuccess : reg_status::kRegistryIoFailed;
}

void PortableRegistry::Load() {
  if (options_.file.empty()) return;
  namespace fs = std::filesystem;
  const fs::path native = NativePath(options_.file);
  std::error_code ec;
  if (!fs::exists(native, ec)) return;
  std::string text;
  if (const IoResult read = ReadWholeFile(options_.file, text); !read.ok) {
    // Unreadable is not broken: leave the file alone and keep this run in memory.
    load_problem_ = "could not read " + options_.file + ": " + read.error;
    options_.file.clear();
    return;
  }
  std::string error;
  const auto keys = ReadRegistryText(text, error);
  if (!keys) {
    fs::path aside = native;
    aside += ".broken";
    for (int n = 1; fs::exists(aside, ec) && n < 1000; ++n) {
      aside = native;
      aside += ".broken-" + std::to_string(n);
    }
    fs::rename(native, aside, ec);
    load_problem_ = options_.file + ": " + error + "; set aside as " + aside.string();
    if (ec) {
      load_problem_ += " failed (" + ec.message() + "); kept in memory only";
      options_.file.clear();
    }
    return;
  }
  for (const RegistryTextKey& record : *keys) {
    Node* node = roots_.at(record.root).get();
    for (const std::string& part : record.path) {
      const auto it = node->subkeys.find(Fold(part));
      node = it != node->subkeys.end() ? it->second.get() : AddChild(*node, part).get();
    }
    for (const RegistryTextValue& value : record.values) {
      node->values[Fold(value.name)] = Node::Value{value.name, value.type, value.data};
    }
  }
}

}  // namespace quellix::platform
