// The registry for builds without Windows: a tree of keys under the
// predefined roots, each key with named values of a type, following the rules
// of the Windows registry that the program meets:
//
// - key and value names compare without regard to letters' case and keep the
//   case they were created with; a path may not begin with "\" (kBadPathname),
//   while doubled and trailing backslashes are taken as one;
// - missing keys and values give kFileNotFound; a key with subkeys is not
//   deleted (kAccessDenied); an open key that was deleted gives kKeyDeleted;
//   a handle that was never opened or already closed gives kInvalidHandle;
// - every open key carries the access it was opened with: reading needs
//   query access, writing and deleting values need set-value access;
// - the machine-wide roots (HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT,
//   HKEY_USERS, HKEY_CURRENT_CONFIG) refuse every change with kAccessDenied
//   unless the process has administrative rights; HKEY_CURRENT_USER always
//   accepts them. Opening with the most access allowed (RegOpenKeyA,
//   RegCreateKeyA) then gives read access only.
//
// Not modelled: security descriptors per key, volatile keys, symbolic links,
// the merged view of HKEY_CLASSES_ROOT, size limits of names and data. Text
// is kept in the code page (Windows-1252), so a Unicode text (SetText) keeps
// only what that code page holds, and an expandable text is not read as text.
//
// The tree lives in memory only. Two registries can share one tree, as two
// processes with different rights share the registry of one machine.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace quellix::platform {

class PortableRegistry final : public Registry {
 public:
  struct Options {
    bool administrator = false;  // the machine-wide roots accept changes
  };

  PortableRegistry();
  explicit PortableRegistry(Options options);
  // Another process on the same machine: the keys and values of `machine`,
  // its own rights and open keys.
  PortableRegistry(const PortableRegistry& machine, Options options);
  ~PortableRegistry() override;
  PortableRegistry(const PortableRegistry&) = delete;
  PortableRegistry& operator=(const PortableRegistry&) = delete;

  std::int32_t CreateKey(RegistryHandle parent, const std::string& path, RegistryHandle& key) override;
  std::int32_t CreateKeyEx(RegistryHandle parent, const std::string& path, std::uint32_t access,
                           RegistryHandle& key) override;
  std::int32_t OpenKey(RegistryHandle parent, const std::string& path, RegistryHandle& key) override;
  std::int32_t OpenKeyEx(RegistryHandle parent, const std::string& path, std::uint32_t access,
                         RegistryHandle& key) override;
  std::int32_t QueryValue(RegistryHandle key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                          std::uint32_t* size) override;
  std::int32_t SetValue(RegistryHandle key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                        std::uint32_t size) override;
  std::int32_t DeleteValue(RegistryHandle key, const std::string& name) override;
  std::int32_t DeleteKey(RegistryHandle parent, const std::string& path) override;
  std::int32_t CloseKey(RegistryHandle key) override;
  std::int32_t QueryText(RegistryHandle key, const std::string& name, std::string& text) override;
  std::int32_t SetText(RegistryHandle key, const std::string& name, const std::string& text) override;

  // The whole tree as text, one "[root\path]" line per key (a key without
  // values keeps its line) and one line per value (`@` or the quoted name,
  // "=", the type number, ":" and the data in hexadecimal; bytes outside
  // printable ASCII and any of % " [ ] \ = in names as %XX): two registries
  // with equal texts hold the same keys and values.
  std::string Serialize() const;
  // How many keys are open now (roots not counted).
  std::size_t OpenKeyCount() const;

  struct Node;

 private:
  struct OpenKeyEntry {
    std::shared_ptr<Node> node;
    RegistryRoot root;
    std::uint32_t access;
  };
  struct Resolved {
    std::int32_t status = reg_status::kSuccess;
    std::shared_ptr<Node> node;
    RegistryRoot root{};
    std::uint32_t access = 0;
  };

  // Where a path leads from an open key: the deepest existing key and the
  // names below it that do not exist yet.
  struct PathWalk {
    std::int32_t status = reg_status::kSuccess;
    Resolved from{};
    std::shared_ptr<Node> deepest;
    std::vector<std::string_view> missing;
  };

  Resolved ResolveHandle(RegistryHandle handle) const;
  // An open key whose values may be used with `needed` access.
  Resolved ResolveForValues(RegistryHandle key, std::uint32_t needed) const;
  PathWalk WalkPath(RegistryHandle parent, const std::string& path) const;
  bool MayWrite(RegistryRoot root) const;
  std::uint32_t GrantedAccess(RegistryRoot root, std::uint32_t requested, std::int32_t& status) const;
  std::int32_t Open(RegistryHandle parent, const std::string& path, std::uint32_t access, bool create,
                    RegistryHandle& key);
  RegistryHandle AddHandle(std::shared_ptr<Node> node, RegistryRoot root, std::uint32_t access);

  // The keys and values, shared by the registries of one machine.
  struct Machine {
    std::mutex mutex;
    std::map<RegistryRoot, std::shared_ptr<Node>> roots;
  };

  Options options_;
  std::shared_ptr<Machine> machine_;
  std::mutex& mutex_;
  std::map<RegistryRoot, std::shared_ptr<Node>>& roots_;
  std::map<RegistryHandle, OpenKeyEntry> open_;
  RegistryHandle next_handle_ = 0x100;
};

}  // namespace quellix::platform
