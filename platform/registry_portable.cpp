#include "platform/registry_portable.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/code_page.h"
#include "platform/registry_values.h"

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

constexpr std::array<std::pair<RegistryRoot, std::string_view>, 5> kRoots = {{
    {RegistryRoot::ClassesRoot, "HKEY_CLASSES_ROOT"},
    {RegistryRoot::CurrentUser, "HKEY_CURRENT_USER"},
    {RegistryRoot::LocalMachine, "HKEY_LOCAL_MACHINE"},
    {RegistryRoot::Users, "HKEY_USERS"},
    {RegistryRoot::CurrentConfig, "HKEY_CURRENT_CONFIG"},
}};

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

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendHex(std::string& out, unsigned char c) {
  out += kHexDigits[c >> 4];
  out += kHexDigits[c & 0xF];
}

void AppendEscaped(std::string& out, std::string_view name) {
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c > 0x7E || c == '%' || c == '"' || c == '[' || c == ']' || c == '\\' || c == '=') {
      out += '%';
      AppendHex(out, c);
    } else {
      out += ch;
    }
  }
}

void AppendKeys(const Node& node, std::string_view key_line, std::string& out) {
  if (key_line.find('\\') != std::string_view::npos || !node.values.empty()) {
    out.append(key_line).append("]\n");
    for (const auto& [folded, value] : node.values) {
      if (value.name.empty()) {
        out += '@';
      } else {
        out += '"';
        AppendEscaped(out, value.name);
        out += '"';
      }
      out += '=' + std::to_string(value.type) + ':';
      for (const std::uint8_t b : value.data) AppendHex(out, b);
      out += '\n';
    }
  }
  for (const auto& [folded, child] : node.subkeys) {
    std::string child_line(key_line);
    child_line += '\\';
    AppendEscaped(child_line, child->name);
    AppendKeys(*child, child_line, out);
  }
}

}  // namespace

PortableRegistry::PortableRegistry() : PortableRegistry(Options{}) {}

PortableRegistry::PortableRegistry(Options options)
    : options_(options), machine_(std::make_shared<Machine>()), mutex_(machine_->mutex), roots_(machine_->roots) {
  for (const auto& [root, root_name] : kRoots) roots_.emplace(root, std::make_shared<Node>());
}

PortableRegistry::PortableRegistry(const PortableRegistry& machine, Options options)
    : options_(options), machine_(machine.machine_), mutex_(machine_->mutex), roots_(machine_->roots) {}

PortableRegistry::~PortableRegistry() = default;

bool PortableRegistry::MayWrite(RegistryRoot root) const {
  return root == RegistryRoot::CurrentUser || options_.administrator;
}

PortableRegistry::Resolved PortableRegistry::ResolveHandle(RegistryHandle handle) const {
  for (const auto& [root, root_name] : kRoots) {
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
  return reg_status::kSuccess;
}

std::int32_t PortableRegistry::DeleteValue(RegistryHandle key, const std::string& name) {
  const std::lock_guard lock(mutex_);
  const Resolved at = ResolveForValues(key, reg_access::kSetValue);
  if (at.status != reg_status::kSuccess) return at.status;
  if (at.node->values.erase(Fold(AsCString(name))) == 0) return reg_status::kFileNotFound;
  return reg_status::kSuccess;
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
  return reg_status::kSuccess;
}

std::int32_t PortableRegistry::CloseKey(RegistryHandle key) {
  const std::lock_guard lock(mutex_);
  for (const auto& [root, root_name] : kRoots) {
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
  std::string out = "QUELLIX REGISTRY 1\n";
  // kRoots is in the order of the roots' numbers.
  for (const auto& [root, root_name] : kRoots) AppendKeys(*roots_.at(root), "[" + std::string(root_name), out);
  return out;
}

std::int32_t PortableRegistry::QueryText(RegistryHandle key, const std::string& name, std::string& text) {
  std::uint32_t type = reg_type::kNone;
  std::optional<std::string> data = ReadValueBytes(*this, key, name, &type);
  if (!data) {
    std::uint32_t size = 0;
    return QueryValue(key, name, nullptr, nullptr, &size);  // why it could not be read
  }
  if (type != reg_type::kSz) return reg_status::kUnsupportedType;
  data->resize(std::min(data->size(), data->find('\0')));
  text = Utf8FromAnsi(*data);
  return reg_status::kSuccess;
}

std::int32_t PortableRegistry::SetText(RegistryHandle key, const std::string& name, const std::string& text) {
  return WriteAnsiText(*this, key, name, text);
}

}  // namespace quellix::platform
