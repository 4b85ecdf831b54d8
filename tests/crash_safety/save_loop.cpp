// Saves one of two lists, over and over, into allowed.txt of the given folder,
// until it is killed. The crash-safety tests kill it at random moments.
//   save_loop <folder>
#include <cstdio>
#include <string>

#include "adapters/list_files_on_disk.h"
#include "core/program_state.h"
#include "core/site_list_store.h"
#include "core/testing/memory_list_box.h"
#include "tests/crash_safety/two_lists.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  quellix::ProgramState state;
  quellix::MemoryListBox first, second, unused;
  quellix::testing::FillFirstList(first);
  quellix::testing::FillSecondList(second);
  quellix::ListFilesOnDisk list_files;
  quellix::Module1 save_first(list_files, argv[1], "x", state, first, unused);
  quellix::Module1 save_second(list_files, argv[1], "x", state, second, unused);
  for (unsigned long round = 0;; ++round) {
    const quellix::StoreResult result = (round % 2 == 0) ? save_first.SaveAllowed() : save_second.SaveAllowed();
    if (!result.ok) {
      std::fprintf(stderr, "%s\n", result.message.c_str());
      return 1;
    }
    if (round == 0) {
      std::puts("saved");  // the file exists from here on
      std::fflush(stdout);
    }
  }
}
