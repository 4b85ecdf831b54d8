// The advapi32 backend: the shared registry tests run on Wine's real
// registry in the test prefix through it.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "platform/registry_test_support.h"

namespace quellix {

std::shared_ptr<platform::Registry> testing::RegistryUnderTest() {
  return std::shared_ptr<platform::Registry>(&platform::SystemRegistry(), [](platform::Registry*) {});
}

namespace {

using platform::RegistryRoot;

TEST(RegistryWin, RootHandlesAreTheWindowsOnes) {
  EXPECT_EQ(platform::HandleOfRoot(RegistryRoot::LocalMachine),
            reinterpret_cast<platform::RegistryHandle>(HKEY_LOCAL_MACHINE));
  EXPECT_EQ(platform::HandleOfRoot(RegistryRoot::CurrentUser),
            reinterpret_cast<platform::RegistryHandle>(HKEY_CURRENT_USER));
  EXPECT_EQ(platform::HandleOfRoot(RegistryRoot::ClassesRoot),
            reinterpret_cast<platform::RegistryHandle>(HKEY_CLASSES_ROOT));
}

}  // namespace
}  // namespace quellix
