#include "platform/group_policy.h"

#include <algorithm>
#include <cstdint>

namespace quellix::platform {
namespace {

// A REG_DWORD of exactly four bytes; nothing for any other type or size.
std::optional<std::uint32_t> ReadDword(Registry& registry, RegistryHandle key, const char* name) {
  std::uint32_t type = reg_type::kNone;
  std::uint8_t data[4] = {};
  std::uint32_t size = sizeof data;
  if (registry.QueryValue(key, name, &type, data, &size) != reg_status::kSuccess) return std::nullopt;
  if (type != reg_type::kDword || size != sizeof data) return std::nullopt;
  return static_cast<std::uint32_t>(data[0] | (data[1] << 8) | (data[2] << 16)) |
         (static_cast<std::uint32_t>(data[3]) << 24);
}

std::optional<bool> ReadZeroOrOne(Registry& registry, RegistryHandle key, const char* name) {
  const std::optional<std::uint32_t> value = ReadDword(registry, key, name);
  if (!value || *value > 1) return std::nullopt;
  return *value == 1;
}

void ReadSites(Registry& registry, RegistryHandle policy_key, const char* subkey, std::vector<std::string>& sites) {
  ScopedRegistryKey list(registry);
  if (registry.OpenKeyEx(policy_key, subkey, reg_access::kQueryValue, list.Put()) != reg_status::kSuccess) return;
  std::string site;
  for (int number = 1; number <= kMaxPolicySitesPerKey; ++number) {
    const std::int32_t status = registry.QueryText(list.Get(), std::to_string(number), site);
    if (status == reg_status::kFileNotFound) break;
    // A value of another type, or one that cannot be read, is skipped.
    if (status == reg_status::kSuccess && IsUsablePolicySite(site)) sites.push_back(site);
  }
}

}  // namespace

bool GroupPolicy::Any() const {
  return allow_next_off || !allowed_sites.empty() || !blocked_sites.empty() ||
         std::any_of(fixed.begin(), fixed.end(), [](const std::optional<bool>& value) { return value.has_value(); });
}

bool IsUsablePolicySite(const std::string& site) {
  if (site.empty()) return false;
  std::size_t characters = 0;
  for (std::size_t i = 0; i < site.size(); ++i) {
    const auto byte = static_cast<unsigned char>(site[i]);
    if (byte < 0x20 || byte == 0x7F) return false;
    // U+0080 to U+009F, the second set of control characters.
    if (byte == 0xC2 && i + 1 < site.size() && static_cast<unsigned char>(site[i + 1]) <= 0x9F) return false;
    if ((byte & 0xC0) != 0x80) ++characters;
  }
  return characters <= kMaxPolicySiteLength;
}

GroupPolicy ReadGroupPolicy(Registry& registry) {
  GroupPolicy policy;
  std::optional<bool> allow_next;
  // The machine first: what it fixes, the user's scope cannot change.
  for (RegistryRoot root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
    ScopedRegistryKey key(registry);
    if (registry.OpenKeyEx(HandleOfRoot(root), kPolicyKey, reg_access::kKeyRead, key.Put()) != reg_status::kSuccess) {
      continue;
    }
    for (std::size_t i = 0; i < kPolicySwitchNames.size(); ++i) {
      if (!policy.fixed[i]) policy.fixed[i] = ReadZeroOrOne(registry, key.Get(), kPolicySwitchNames[i]);
    }
    if (!allow_next) allow_next = ReadZeroOrOne(registry, key.Get(), kPolicyAllowNext);
    ReadSites(registry, key.Get(), kPolicyAllowedSites, policy.allowed_sites);
    ReadSites(registry, key.Get(), kPolicyBlockedSites, policy.blocked_sites);
  }
  policy.allow_next_off = allow_next == false;
  return policy;
}

}  // namespace quellix::platform
