// Stored options that some other program, an old version or a hand edit left
// in the registry: values of the wrong type, a megabyte long, with NULs inside
// or with an odd number of bytes. Reading them through the program's options
// record gives each key its defined result, against Wine's real registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/settings_store.h"
#include "platform/win/scoped_handle.h"
#include "ui/main/options.h"

namespace quellix {
namespace {

using namespace options;

const char kApp[] = "Quellix Hostile Settings Test";
const wchar_t kAppKey[] = L"Software\\VB and VBA Program Settings\\Quellix Hostile Settings Test";

class HostileSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kAppKey) + L"\\Settings").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    key.Reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey);
  }

  void Put(const wchar_t* name, DWORD type, const void* data, std::size_t bytes) {
    ASSERT_EQ(RegSetValueExW(key.Get(), name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes)),
              ERROR_SUCCESS);
  }
  void PutText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
    Put(name, type, text.data(), text.size() * sizeof(wchar_t));
  }

  // Every key at once, as start-up reads them.
  struct Read {
    int links, sound, run_at_start, on_top, setup_mode, blocking;
    std::int32_t count;
    std::string state, allowed, show_help;
  };
  Read ReadAll() {
    const Options options(*store, kApp);
    return {options.ReadSwitch(kChkLinks, 0),     options.ReadSwitch(kChkSound, 1),
            options.ReadSwitch(kChkRunAtStart, 0), options.ReadSwitch(kChkOnTop, 0),
            options.ReadSwitch(kChkAuto, 1),       options.ReadSwitch(kChkStopPop, 1),
            options.ReadCount(kIntStopped),        options.ReadState(),
            options.ReadText(kStrAllowed, "default\r\n"), options.ReadText(kShowHelp, "1")};
  }
  void ExpectDefaults(const Read& read) {
    EXPECT_EQ(read.links, 0);
    EXPECT_EQ(read.sound, 1);
    EXPECT_EQ(read.run_at_start, 0);
    EXPECT_EQ(read.on_top, 0);
    EXPECT_EQ(read.setup_mode, 1);
    EXPECT_EQ(read.blocking, 1);
    EXPECT_EQ(read.count, 0);
    EXPECT_EQ(read.state, "up");
    EXPECT_EQ(read.allowed, "default\r\n");
    EXPECT_EQ(read.show_help, "1");
  }

  win::ScopedRegKey key;
  std::unique_ptr<platform::SettingsStore> store = std::make_unique<platform::RegistrySettingsStore>();
};

const wchar_t* const kAllKeys[] = {L"chkLinks", L"chkSound", L"chkRunAtStart", L"chkOnTop",  L"chkAuto",
                                   L"chkStopPop", L"intStopped", L"state", L"strAllowed", L"showHelp"};

TEST_F(HostileSettings, ValuesThatAreNotTextGiveEveryKeyItsDefault) {
  const DWORD one = 1;
  const ULONGLONG seven = 7;
  const BYTE odd[] = {0x31, 0x00, 0x31};
  const wchar_t multi[] = L"0\0down\0";
  for (const wchar_t* name : kAllKeys) Put(name, REG_DWORD, &one, sizeof one);
  ExpectDefaults(ReadAll());
  for (const wchar_t* name : kAllKeys) Put(name, REG_QWORD, &seven, sizeof seven);
  ExpectDefaults(ReadAll());
  for (const wchar_t* name : kAllKeys) Put(name, REG_BINARY, odd, sizeof odd);
  ExpectDefaults(ReadAll());
  for (const wchar_t* name : kAllKeys) Put(name, REG_MULTI_SZ, multi, sizeof multi);
  ExpectDefaults(ReadAll());
  for (const wchar_t* name : kAllKeys) Put(name, REG_NONE, nullptr, 0);
  ExpectDefaults(ReadAll());
}

TEST_F(HostileSettings, AMegabyteValueIsReadWholeAndConvertedWithoutAPause) {
  const std::wstring megabyte(512 * 1024, L'7');  // a megabyte of UTF-16
  for (const wchar_t* name : kAllKeys) PutText(name, megabyte);
  const auto start = std::chrono::steady_clock::now();
  const Read read = ReadAll();
  const auto took = std::chrono::steady_clock::now() - start;
  // Switches and the count are no such number: their defaults.
  EXPECT_EQ(read.links, 0);
  EXPECT_EQ(read.sound, 1);
  EXPECT_EQ(read.blocking, 1);
  EXPECT_EQ(read.count, 0);
  // Texts come back as stored: a state that is not "up" starts in the tray,
  // a list text is replaced by the list file a moment later.
  EXPECT_EQ(read.state.size(), megabyte.size());
  EXPECT_EQ(read.allowed, std::string(megabyte.size(), '7'));
  EXPECT_NE(read.show_help, "1");
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 2000);

  // A megabyte of blanks around a 1, and of zeros before it, are still 1.
  PutText(L"chkOnTop", std::wstring(256 * 1024, L' ') + L"1" + std::wstring(256 * 1024, L' '));
  PutText(L"chkLinks", std::wstring(512 * 1024, L'0') + L"1");
  EXPECT_EQ(ReadAll().on_top, 1);
  EXPECT_EQ(ReadAll().links, 1);
}

TEST_F(HostileSettings, TextWithNulsInsideEndsAtTheFirstNul) {
  const std::wstring zero_then_junk(L"0\0garbage", 9);
  const std::wstring only_nuls(4, L'\0');
  const std::wstring count_then_junk(L"42\0\x4e00\x4e01", 5);
  PutText(L"chkSound", zero_then_junk);
  PutText(L"chkStopPop", only_nuls);
  PutText(L"intStopped", count_then_junk);
  PutText(L"state", std::wstring(L"down\0up", 7));
  const Read read = ReadAll();
  EXPECT_EQ(read.sound, 0);      // "0"
  EXPECT_EQ(read.blocking, 1);   // "": the default
  EXPECT_EQ(read.count, 42);
  EXPECT_EQ(read.state, "down");
}

TEST_F(HostileSettings, TextOfAnOddNumberOfBytesOrWithoutItsEndKeepsWhatIsWhole) {
  const BYTE odd_one[] = {'1', 0, 0};  // "1" and half a character
  Put(L"chkOnTop", REG_SZ, odd_one, sizeof odd_one);
  const BYTE unterminated[] = {'5', 0, '0', 0};  // "50" with no NUL after it
  Put(L"intStopped", REG_SZ, unterminated, sizeof unterminated);
  Put(L"chkLinks", REG_SZ, nullptr, 0);  // an empty value
  const Read read = ReadAll();
  EXPECT_EQ(read.on_top, 1);
  EXPECT_EQ(read.count, 50);
  EXPECT_EQ(read.links, 0);
}

TEST_F(HostileSettings, ExpandableTextIsTextAsTheSystemReadsIt) {
  PutText(L"chkSound", L"0", REG_EXPAND_SZ);
  PutText(L"state", L"%QUELLIX_NO_SUCH_VARIABLE%", REG_EXPAND_SZ);  // left as it stands
  const Read read = ReadAll();
  EXPECT_EQ(read.sound, 0);
  EXPECT_EQ(read.state, "%QUELLIX_NO_SUCH_VARIABLE%");
}

}  // namespace
}  // namespace quellix
