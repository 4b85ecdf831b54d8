// The fixture of the tests that drive the real program: COM on the test's
// thread, and none of the program's options from before the test or for after.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include "tests/e2e/program_driver.h"

namespace quellix::testing {

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ForgetProgramSettings();
  }
  void TearDown() override {
    ForgetProgramSettings();
    CoUninitialize();
  }
};

}  // namespace quellix::testing
