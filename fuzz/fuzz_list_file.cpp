// A list file of arbitrary bytes, loaded, then an add, a removal and a save:
// the store must end with file, list box and list text in step.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "adapters/list_files_on_disk.h"
#include "core/site_list_store.h"
#include "core/testing/memory_list_box.h"
#include "fuzz/fuzz_input.h"
#include "platform/code_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quellix;
  // In memory where there is a tmpfs: the store flushes every write to disk,
  // which would otherwise make each run wait for the disk.
  static const std::filesystem::path folder =
      (std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                 : std::filesystem::temp_directory_path()) /
      ("quellix-fuzz-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);

  fuzz::FuzzInput input(data, size);
  // Entries come from single-line text boxes: valid text, no line breaks
  // (their callers remove them), no NULs.
  std::string to_add = platform::Utf8FromAnsi(input.Text());
  std::erase_if(to_add, [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
  const std::string to_remove = input.Text();
  const std::string file = input.Text();
  std::ofstream(folder / "allowed.txt", std::ios::binary | std::ios::trunc) << file;

  ProgramState state;
  MemoryListBox List1, List2;
  ListFilesOnDisk list_files;
  Module1 store(list_files, folder.string(), "clicks.quellix.example", state, List1, List2);
  if (!store.LoadAllowed().ok) std::abort();
  // Every loaded entry is a line of the file that counts as an entry.
  for (int i = 0; i < List1.ListCount(); ++i) {
    if (!IsListEntry(List1.List(i))) std::abort();
  }
  if (!store.AddAllowed(to_add).ok) std::abort();
  if (!store.RemoveAllowed(to_remove).ok) std::abort();
  if (!store.SaveAllowed().ok) std::abort();

  // Loaded again, the saved file gives the list box back, entry by entry
  // (entries that are not entries, "" and " ", are skipped on loading).
  ProgramState reread_state;
  MemoryListBox reread, unused;
  Module1 again(list_files, folder.string(), "x", reread_state, reread, unused);
  if (!again.LoadAllowed().ok) std::abort();
  int k = 0;
  for (int i = 0; i < List1.ListCount(); ++i) {
    if (!IsListEntry(List1.List(i))) continue;
    if (k >= reread.ListCount() || reread.List(k) != List1.List(i)) std::abort();
    ++k;
  }
  if (k != reread.ListCount()) std::abort();
  return 0;
}
