// The organisation's pop-up policy, as Group Policy (or any tool an
// administrator uses) leaves it in the registry: under
// "Software\Policies\Orlavent\Quellix Pop-Up Blocker" of HKEY_LOCAL_MACHINE
// and of HKEY_CURRENT_USER, switches fixed on or off, Allow Next turned off,
// and two lists of sites in subkeys whose values "1", "2", ... hold one site
// each. The templates in policy/ describe the same names.
//
// A switch fixed by the machine wins over the user's; the lists of both are
// joined. Values of the wrong type or out of range are ignored, so damage
// never turns into a policy.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace quellix::platform {

inline constexpr const char* kPolicyKey = "Software\\Policies\\Orlavent\\Quellix Pop-Up Blocker";

// The switches an organisation may fix, and their value names (REG_DWORD 0 or 1).
enum class PolicySwitch { kPopupBlocking, kSetupMode, kExceptions, kSound, kAlwaysOnTop, kRunAtStartup };
inline constexpr std::array<const char*, 6> kPolicySwitchNames = {"PopupBlocking", "SetupMode",   "Exceptions",
                                                                  "Sound",         "AlwaysOnTop", "RunAtStartup"};
// REG_DWORD 0: letting the next pop-up through by hand is not available.
inline constexpr const char* kPolicyAllowNext = "AllowNext";
// Subkeys of the sites.
inline constexpr const char* kPolicyAllowedSites = "AllowedSites";
inline constexpr const char* kPolicyBlockedSites = "BlockedSites";

// Values "1" to this are read from each list subkey, up to the first missing one.
inline constexpr int kMaxPolicySitesPerKey = 32767;
// A longer site (in characters) is ignored rather than cut into another site.
inline constexpr std::size_t kMaxPolicySiteLength = 2048;

struct GroupPolicy {
  std::array<std::optional<bool>, kPolicySwitchNames.size()> fixed;  // a switch fixed on (true) or off
  bool allow_next_off = false;
  std::vector<std::string> allowed_sites;  // the machine's first, then the user's
  std::vector<std::string> blocked_sites;

  const std::optional<bool>& Fixed(PolicySwitch which) const { return fixed[static_cast<std::size_t>(which)]; }
  // Whether the organisation sets anything at all.
  bool Any() const;
  bool operator==(const GroupPolicy&) const = default;
};

// Reads both scopes. A missing key, or a registry that cannot be read, is no policy.
GroupPolicy ReadGroupPolicy(Registry& registry);

// Whether a list value is taken as a site: not empty, at most
// kMaxPolicySiteLength characters (UTF-8), and no control characters.
bool IsUsablePolicySite(const std::string& site);

}  // namespace quellix::platform
