// The portable substitutes of the platform layer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/code_page.h"
#include "platform/file_exists.h"

namespace quellix {
namespace {

namespace fs = std::filesystem;

TEST(TrimPath, OnlyTheBackslashSeparates) {
  EXPECT_EQ(platform::TrimPath("C:\\a\\b\\c.txt"), "c.txt");
  EXPECT_EQ(platform::TrimPath("c.txt"), "c.txt");
  EXPECT_EQ(platform::TrimPath("C:\\a\\"), "");
  EXPECT_EQ(platform::TrimPath(""), "");
  EXPECT_EQ(platform::TrimPath("C:/a/b.txt"), "C:/a/b.txt");
  EXPECT_EQ(xfileExists::TrimPath("x\\\\y"), "y");
}

TEST(FileExists, OrdinaryFilesOnlyLettersCaseAside) {
  const fs::path dir = fs::temp_directory_path() / ("quellix-exists-" + std::to_string(::getpid()));
  fs::create_directories(dir / "Sub");
  std::ofstream(dir / "Help.rtf") << "x";
  std::ofstream(dir / ".hidden.txt") << "x";
  std::ofstream(dir / "b.txt") << "x";
  const std::string base = dir.string() + "\\";
  EXPECT_EQ(platform::fileExists(base + "Help.rtf"), true);
  EXPECT_EQ(platform::fileExists(base + "HELP.RTF"), true);
  EXPECT_EQ(platform::fileExists(base + "Sub"), false);
  EXPECT_EQ(platform::fileExists(base + "*.txt"), false);
  EXPECT_EQ(platform::fileExists(base + "b.tx?"), false);
  EXPECT_EQ(platform::fileExists(base + ".hidden.txt"), false);
  EXPECT_EQ(platform::fileExists(base + "missing.txt"), false);
  EXPECT_EQ(platform::fileExists(base), false);
  EXPECT_EQ(platform::fileExists(base + "no-such-folder\\x.txt"), false);
  EXPECT_TRUE(xfileExists::fileExists(base + "help.rtf"));
  fs::remove_all(dir);
}

TEST(CodePage, Windows1252BothWays) {
  EXPECT_EQ(platform::AnsiFromUtf8("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");  // é and €
  EXPECT_EQ(platform::AnsiFromUtf8("\xC4\x89 \xF0\x9F\x98\x80"), "? ?");           // not in the page
  EXPECT_EQ(platform::AnsiFromUtf8("\xFF"), "?");                                   // not UTF-8
  std::string every_byte;
  for (int b = 1; b < 256; ++b) every_byte.push_back(static_cast<char>(b));
  EXPECT_EQ(platform::AnsiFromUtf8(platform::Utf8FromAnsi(every_byte)), every_byte);
}

}  // namespace
}  // namespace quellix
