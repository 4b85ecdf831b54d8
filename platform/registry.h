// The registry as the advapi32 "A" functions offer it: keys under predefined
// roots, named values of a type, and Windows' own error codes. Texts handed
// across this interface (key paths, value names, text data) are in the
// system's ANSI code page; the callers convert at this boundary.
//
// Backends: Win32Registry (advapi32, platform/win/registry_win.cpp) and
// PortableRegistry (platform/registry_portable.h) for builds without Windows.
// A further pair of calls reads and writes Unicode text (the W functions).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace quellix::platform {

// The predefined roots, numbered as Windows numbers them; a root argument is
// such a 32-bit number. A number that names no root gives kInvalidHandle.
enum class RegistryRoot : std::uint32_t {
  ClassesRoot = 0x80000000,
  CurrentUser = 0x80000001,
  LocalMachine = 0x80000002,
  Users = 0x80000003,
  CurrentConfig = 0x80000005,
};

// An open key, as opaque as an HKEY. A root's handle is its number
// sign-extended to pointer width, exactly as Windows defines HKEY_LOCAL_MACHINE.
using RegistryHandle = std::uintptr_t;

constexpr RegistryHandle HandleOfRoot(RegistryRoot root) {
  return static_cast<RegistryHandle>(static_cast<std::intptr_t>(static_cast<std::int32_t>(root)));
}

// Status codes (Windows error numbers) the registry functions return.
namespace reg_status {
inline constexpr std::int32_t kSuccess = 0;
inline constexpr std::int32_t kFileNotFound = 2;  // no such key or value
inline constexpr std::int32_t kAccessDenied = 5;  // no right, or a key with subkeys
inline constexpr std::int32_t kInvalidHandle = 6;
inline constexpr std::int32_t kInvalidParameter = 87;
inline constexpr std::int32_t kBadPathname = 161;        // a path that begins with "\"
inline constexpr std::int32_t kMoreData = 234;           // the buffer is too small
inline constexpr std::int32_t kRegistryIoFailed = 1016;  // the change could not be stored
inline constexpr std::int32_t kKeyDeleted = 1018;        // the open key was deleted meanwhile
inline constexpr std::int32_t kUnsupportedType = 1630;   // a text was asked for and the value is not REG_SZ
}  // namespace reg_status

// Access rights of an open key.
namespace reg_access {
inline constexpr std::uint32_t kQueryValue = 0x0001;
inline constexpr std::uint32_t kSetValue = 0x0002;
inline constexpr std::uint32_t kCreateSubKey = 0x0004;
inline constexpr std::uint32_t kEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kNotify = 0x0010;
inline constexpr std::uint32_t kCreateLink = 0x0020;
inline constexpr std::uint32_t kDelete = 0x00010000;
inline constexpr std::uint32_t kReadControl = 0x00020000;
inline constexpr std::uint32_t kWriteDac = 0x00040000;
inline constexpr std::uint32_t kWriteOwner = 0x00080000;
inline constexpr std::uint32_t kMaximumAllowed = 0x02000000;
inline constexpr std::uint32_t kKeyRead = 0x20019;       // KEY_READ
inline constexpr std::uint32_t kKeyWrite = 0x20006;      // KEY_WRITE
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;  // KEY_ALL_ACCESS
// The rights that change the registry; a root the process may not write refuses them.
inline constexpr std::uint32_t kModifying = kSetValue | kCreateSubKey | kCreateLink | kDelete | kWriteDac | kWriteOwner;
}  // namespace reg_access

// Value types.
namespace reg_type {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kSz = 1;  // REG_SZ
inline constexpr std::uint32_t kExpandSz = 2;
inline constexpr std::uint32_t kBinary = 3;
inline constexpr std::uint32_t kDword = 4;  // REG_DWORD
inline constexpr std::uint32_t kDwordBigEndian = 5;
inline constexpr std::uint32_t kLink = 6;
inline constexpr std::uint32_t kMultiSz = 7;
inline constexpr std::uint32_t kQword = 11;
}  // namespace reg_type

// One function per advapi32 call the program makes. Paths are relative to
// `parent` (a root's handle or an open key), "\"-separated; a value name ""
// is the key's default value. Every function returns a reg_status code.
class Registry {
 public:
  virtual ~Registry() = default;

  // RegCreateKeyA: opens the key, creating it and missing parents, with the
  // most access the process may have.
  virtual std::int32_t CreateKey(RegistryHandle parent, const std::string& path, RegistryHandle& key) = 0;
  // RegCreateKeyExA with no class, the non-volatile option and no security attributes.
  virtual std::int32_t CreateKeyEx(RegistryHandle parent, const std::string& path, std::uint32_t access,
                                   RegistryHandle& key) = 0;
  // RegOpenKeyA: the most access the process may have. An empty path gives
  // back `parent` itself.
  virtual std::int32_t OpenKey(RegistryHandle parent, const std::string& path, RegistryHandle& key) = 0;
  // RegOpenKeyExA. An empty path opens a new handle to `parent`'s key.
  virtual std::int32_t OpenKeyEx(RegistryHandle parent, const std::string& path, std::uint32_t access,
                                 RegistryHandle& key) = 0;
  // RegQueryValueExA. `type` and `data` may be null; with `data` null, `size`
  // receives the value's size in bytes. A buffer too small gives kMoreData
  // and the size needed.
  virtual std::int32_t QueryValue(RegistryHandle key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                                  std::uint32_t* size) = 0;
  // RegSetValueExA: stores `size` bytes of `data` as they are.
  virtual std::int32_t SetValue(RegistryHandle key, const std::string& name, std::uint32_t type,
                                const std::uint8_t* data, std::uint32_t size) = 0;
  // RegDeleteValueA.
  virtual std::int32_t DeleteValue(RegistryHandle key, const std::string& name) = 0;
  // RegDeleteKeyA: a key that has subkeys is not deleted (kAccessDenied).
  virtual std::int32_t DeleteKey(RegistryHandle parent, const std::string& path) = 0;
  // RegCloseKey; closing a root's handle does nothing.
  virtual std::int32_t CloseKey(RegistryHandle key) = 0;

  // Text values in UTF-8 that need not fit the ANSI code page (the settings'
  // texts); `name` is ANSI like every other name here.
  // RegGetValueW restricted to REG_SZ: the text up to its first NUL, with or
  // without a terminating NUL stored; kUnsupportedType for another type.
  virtual std::int32_t QueryText(RegistryHandle key, const std::string& name, std::string& text) = 0;
  // RegSetValueExW: `text` as REG_SZ with its terminating NUL.
  virtual std::int32_t SetText(RegistryHandle key, const std::string& name, const std::string& text) = 0;
};

// The registry of the system the program runs on: advapi32 on Windows; in a
// portable build, one in-memory PortableRegistry with an ordinary user's
// rights (the machine-wide roots refuse writes).
Registry& SystemRegistry();

// Owns one open key and closes it through its registry.
class ScopedRegistryKey {
 public:
  explicit ScopedRegistryKey(Registry& registry) : registry_(&registry) {}
  ~ScopedRegistryKey() { Reset(); }
  ScopedRegistryKey(const ScopedRegistryKey&) = delete;
  ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;
  ScopedRegistryKey(ScopedRegistryKey&& other) noexcept
      : registry_(other.registry_), key_(std::exchange(other.key_, 0)) {}
  ScopedRegistryKey& operator=(ScopedRegistryKey&& other) noexcept {
    if (this != &other) {
      Reset();
      registry_ = other.registry_;
      key_ = std::exchange(other.key_, 0);
    }
    return *this;
  }

  bool IsOpen() const { return key_ != 0; }
  RegistryHandle Get() const { return key_; }
  // For the out-parameter of an open or create; closes what was held.
  RegistryHandle& Put() {
    Reset();
    return key_;
  }
  void Reset() {
    if (key_ != 0) registry_->CloseKey(std::exchange(key_, 0));
  }

 private:
  Registry* registry_;
  RegistryHandle key_ = 0;
};

}  // namespace quellix::platform
