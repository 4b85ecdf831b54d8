// The organisation's policy read from the portable registry: both scopes and
// which wins, and every kind of damaged value an administrator's script or a
// hostile program could leave there.
#include "platform/group_policy.h"

#include <gtest/gtest.h>

#include "platform/registry_portable.h"

namespace quellix::platform {
namespace {

class GroupPolicyReading : public ::testing::Test {
 protected:
  // Opens (creating) the policy key, or a subkey of it, in one scope.
  RegistryHandle Key(RegistryRoot root, const std::string& subkey = {}) {
    keys.emplace_back(registry);
    const std::string path = subkey.empty() ? kPolicyKey : std::string(kPolicyKey) + "\\" + subkey;
    EXPECT_EQ(registry.CreateKeyEx(HandleOfRoot(root), path, reg_access::kKeyAllAccess, keys.back().Put()),
              reg_status::kSuccess);
    return keys.back().Get();
  }
  void Dword(RegistryHandle key, const std::string& name, std::uint32_t value) {
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                   static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    registry.SetValue(key, name, reg_type::kDword, bytes, 4);
  }
  void Raw(RegistryHandle key, const std::string& name, std::uint32_t type, const std::string& bytes) {
    registry.SetValue(key, name, type, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                      static_cast<std::uint32_t>(bytes.size()));
  }

  PortableRegistry registry{PortableRegistry::Options{true}};
  std::vector<ScopedRegistryKey> keys;
};

TEST_F(GroupPolicyReading, TheMachineWinsForSwitchesAndTheListsOfBothScopesAreJoined) {
  EXPECT_FALSE(ReadGroupPolicy(registry).Any());
  const RegistryHandle machine = Key(RegistryRoot::LocalMachine);
  const RegistryHandle user = Key(RegistryRoot::CurrentUser);
  EXPECT_FALSE(ReadGroupPolicy(registry).Any()) << "empty keys set nothing";
  Dword(machine, "PopupBlocking", 1);
  Dword(user, "POPUPBLOCKING", 0);  // names ignore case, and the machine's value wins
  Dword(user, "SetupMode", 0);
  Dword(machine, "AllowNext", 1);   // the machine keeps it available
  Dword(user, "AllowNext", 0);
  const RegistryHandle machine_allowed = Key(RegistryRoot::LocalMachine, "AllowedSites");
  const RegistryHandle user_allowed = Key(RegistryRoot::CurrentUser, "AllowedSites");
  const RegistryHandle user_blocked = Key(RegistryRoot::CurrentUser, "BlockedSites");
  registry.SetText(machine_allowed, "2", "second.example");
  registry.SetText(machine_allowed, "1", "first.example");
  registry.SetText(user_allowed, "1", "mine.example");
  registry.SetText(user_blocked, "1", "ads.example");

  GroupPolicy policy = ReadGroupPolicy(registry);
  EXPECT_EQ(policy.Fixed(PolicySwitch::kPopupBlocking), true);
  EXPECT_EQ(policy.Fixed(PolicySwitch::kSetupMode), false);
  EXPECT_EQ(policy.Fixed(PolicySwitch::kSound), std::nullopt);
  EXPECT_FALSE(policy.allow_next_off);
  EXPECT_EQ(policy.allowed_sites, (std::vector<std::string>{"first.example", "second.example", "mine.example"}));
  EXPECT_EQ(policy.blocked_sites, std::vector<std::string>{"ads.example"});
  EXPECT_TRUE(policy.Any());

  registry.DeleteValue(machine, "AllowNext");
  EXPECT_TRUE(ReadGroupPolicy(registry).allow_next_off);
  // An ordinary user reads the machine's policy but cannot change it.
  PortableRegistry user_registry(registry, PortableRegistry::Options{false});
  EXPECT_EQ(ReadGroupPolicy(user_registry), ReadGroupPolicy(registry));
  ScopedRegistryKey refused(user_registry);
  EXPECT_EQ(user_registry.OpenKeyEx(HandleOfRoot(RegistryRoot::LocalMachine), kPolicyKey, reg_access::kSetValue,
                                    refused.Put()),
            reg_status::kAccessDenied);
}

TEST_F(GroupPolicyReading, DamagedValuesAreIgnoredAndTheListsStopAtTheCapOrTheFirstGap) {
  const RegistryHandle machine = Key(RegistryRoot::LocalMachine);
  Dword(machine, "PopupBlocking", 2);                            // out of range
  registry.SetText(machine, "SetupMode", "1");                   // text, not a number
  Raw(machine, "Exceptions", reg_type::kBinary, std::string("\x01\0\0\0", 4));  // four bytes, wrong type
  Raw(machine, "Sound", reg_type::kDword, std::string("\x01\0", 2));            // a DWORD of two bytes
  Raw(machine, "AlwaysOnTop", reg_type::kQword, std::string("\x01\0\0\0\0\0\0\0", 8));
  Dword(machine, "AllowNext", 0xFFFFFFFF);
  Dword(machine, "RunAtStartup", 0);  // the one good value
  const RegistryHandle user = Key(RegistryRoot::CurrentUser);
  Dword(user, "PopupBlocking", 0);  // the machine's damaged value lets the user's through

  const RegistryHandle blocked = Key(RegistryRoot::LocalMachine, "BlockedSites");
  const std::string longest(kMaxPolicySiteLength, 'a');
  std::string longest_in_characters;
  for (std::size_t i = 0; i < kMaxPolicySiteLength; ++i) longest_in_characters += "\xC3\xA9";
  Dword(blocked, "1", 1);                                      // not text
  registry.SetText(blocked, "2", "");                          // empty
  registry.SetText(blocked, "3", "ads.example\r\nall");        // would make two entries
  registry.SetText(blocked, "4", "tab\tbed.example");
  registry.SetText(blocked, "5", std::string("nul\0.example", 12));  // read up to the NUL
  registry.SetText(blocked, "6", longest + "a");               // too long: ignored, not cut
  registry.SetText(blocked, "7", longest);
  Raw(blocked, "8", reg_type::kSz, "latin\xE9.example");       // é in the code page
  registry.SetText(blocked, "9", "next.example");
  registry.SetText(blocked, "11", "after.a.gap.example");      // "10" is missing: never read

  GroupPolicy policy = ReadGroupPolicy(registry);
  EXPECT_EQ(policy.Fixed(PolicySwitch::kPopupBlocking), false);
  for (PolicySwitch bad : {PolicySwitch::kSetupMode, PolicySwitch::kExceptions, PolicySwitch::kSound,
                           PolicySwitch::kAlwaysOnTop}) {
    EXPECT_EQ(policy.Fixed(bad), std::nullopt) << static_cast<int>(bad);
  }
  EXPECT_EQ(policy.Fixed(PolicySwitch::kRunAtStartup), false);
  EXPECT_FALSE(policy.allow_next_off);
  EXPECT_EQ(policy.blocked_sites,
            (std::vector<std::string>{"nul", longest, "latin\xC3\xA9.example", "next.example"}));
  // The length counts characters, not bytes; U+0085 is a control character.
  EXPECT_TRUE(IsUsablePolicySite(longest_in_characters));
  EXPECT_FALSE(IsUsablePolicySite(longest_in_characters + "\xC3\xA9"));
  EXPECT_FALSE(IsUsablePolicySite("next\xC2\x85line.example"));
  EXPECT_TRUE(IsUsablePolicySite("\xC2\xA0spaced.example"));

  // A hundred thousand values: the first 32,767 are read, no more.
  const RegistryHandle allowed = Key(RegistryRoot::CurrentUser, "AllowedSites");
  for (int number = 1; number <= 100000; ++number) {
    registry.SetText(allowed, std::to_string(number), "site" + std::to_string(number) + ".example");
  }
  policy = ReadGroupPolicy(registry);
  ASSERT_EQ(policy.allowed_sites.size(), static_cast<std::size_t>(kMaxPolicySitesPerKey));
  EXPECT_EQ(policy.allowed_sites.back(), "site32767.example");
}

}  // namespace
}  // namespace quellix::platform
