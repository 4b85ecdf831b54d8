// The list files on disk against Wine's real file system and ANSI code page.
#include "adapters/list_files_on_disk.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/program_state.h"
#include "core/site_list_store.h"
#include "core/testing/memory_list_box.h"
#include "platform/code_page.h"
#include "platform/win/temp_folder_test_support.h"

namespace quellix {
namespace {

TEST(ListFilesOnDiskWin, ListFilesGoThroughTheRealAnsiCodePage) {
  testing::TempFolder dir;
  ProgramState state;
  MemoryListBox allowed, disallowed;
  ListFilesOnDisk list_files;
  Module1 lists(list_files, dir.Utf8(), "clicks.quellix.example", state, allowed, disallowed);
  ASSERT_TRUE(lists.EnsureListFiles().ok);
  ASSERT_TRUE(lists.LoadAllowed().ok);
  const std::string cafe = "caf\xC3\xA9.example";            // é: in the code page
  const std::string greek = "\xCE\xB1\xCE\xB2.example";      // αβ: not in Windows-1252
  ASSERT_TRUE(lists.AddAllowed(cafe).ok);
  ASSERT_TRUE(lists.AddAllowed(greek).ok);
  ASSERT_TRUE(lists.SaveAllowed().ok);
  const std::string file = dir.Read(L"allowed.txt");
  EXPECT_EQ(file, platform::AnsiFromUtf8("clicks.quellix.example\r\n" + cafe + "\r\n" + greek + "\r\n\r\n"));
  if (GetACP() == 1252) {
    EXPECT_NE(file.find("caf\xE9.example"), std::string::npos);
  }

  ProgramState again;
  MemoryListBox reloaded, other;
  Module1 reread(list_files, dir.Utf8(), "x", again, reloaded, other);
  ASSERT_TRUE(reread.LoadAllowed().ok);
  ASSERT_EQ(reloaded.ListCount(), 3);
  EXPECT_EQ(reloaded.List(1), cafe);
  EXPECT_NE(reloaded.List(2), greek);  // read back changed
}

}  // namespace
}  // namespace quellix
