// What the two list forms held in memory cost per entry under the same heap
// as the program's: the list box's own copy (the entries as the list control
// keeps them) and the list text with its index, each measured as the growth of
// this process's private memory while it holds them.
//   footprint_lists <allowed.txt> <disallowed.txt>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/site_list_store.h"
#include "core/site_list_text.h"

namespace {

double PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
  return static_cast<double>(memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::printf("usage: footprint_lists <allowed.txt> <disallowed.txt>\n");
    return 2;
  }
  std::vector<std::vector<std::string>> entries;
  std::vector<std::string> texts;
  std::size_t count = 0;
  for (int i = 1; i <= 2; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    entries.emplace_back();
    texts.emplace_back();
    for (std::string& line : quellix::SplitListLines(bytes)) {
      if (!quellix::IsListEntry(line)) continue;
      texts.back() += line + "\r\n";
      entries.back().push_back(std::move(line));
      ++count;
    }
  }
  if (count == 0) return 1;
  // The list box's copy: the entries as the store hands them to the control.
  const double before_boxes = PrivateBytes();
  std::vector<std::vector<std::string>> boxes;
  for (const auto& list : entries) {
    // Grown entry by entry, as the store's loading grows the list it hands over.
    std::vector<std::string> copy;
    for (const std::string& entry : list) copy.push_back(entry);  // NOLINT(performance-inefficient-vector-operation)
    boxes.push_back(std::move(copy));
  }
  const double boxes_bytes = PrivateBytes() - before_boxes;
  const double before_texts = PrivateBytes();
  std::vector<quellix::SiteListText> lists;
  lists.reserve(texts.size());
  for (const std::string& text : texts) lists.emplace_back(text);
  const double texts_bytes = PrivateBytes() - before_texts;
  std::printf("per entry (%zu entries): the list box's copy %.0f bytes, the list text with its index %.0f bytes\n",
              count, boxes_bytes / static_cast<double>(count), texts_bytes / static_cast<double>(count));
  return 0;
}
