#include "core/site_list_store.h"

#include <algorithm>

#include "text/letter_case.h"

namespace quellix {
namespace {

constexpr const char* kCrLf = "\r\n";

StoreResult Fail(std::string message) { return {false, std::move(message)}; }

}  // namespace

std::vector<std::string> SplitListLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t end = std::min(text.find_first_of("\r\n", begin), text.size());
    std::string line = text.substr(begin, end - begin);
    std::erase(line, '\0');
    lines.push_back(std::move(line));
    if (end == text.size()) break;
    begin = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

Module1::Module1(ListFiles& files, std::string program_folder, std::string default_allowed_host,
                 ProgramState& state, ListBox& List1, ListBox& List2)
    : files_(files),
      folder_(std::move(program_folder)),
      default_allowed_host_(std::move(default_allowed_host)),
      allowed_{"\\allowed.txt", "allowed", List1, state.strAllowed, {}},
      disallowed_{"\\disallowed.txt", "disallowed", List2, state.strDisallowed, {}} {}

StoreResult Module1::AddAllowed(const std::string& entry) { return Changed(Add(allowed_, entry)); }
StoreResult Module1::AddDisallowed(const std::string& entry) { return Changed(Add(disallowed_, entry)); }
StoreResult Module1::RemoveAllowed(const std::string& entry) { return Changed(Remove(allowed_, entry)); }
StoreResult Module1::RemoveDisallowed(const std::string& entry) { return Changed(Remove(disallowed_, entry)); }
StoreResult Module1::LoadAllowed() { return Changed(Load(allowed_)); }
StoreResult Module1::LoadDisallowed() { return Changed(Load(disallowed_)); }
StoreResult Module1::SaveAllowed() { return Save(allowed_); }
StoreResult Module1::SaveDisallowed() { return Save(disallowed_); }

StoreResult Module1::RefuseUnloaded(const Side& side) const {
  if (!side.load_failed) return {};
  return Fail("Cannot write \"" + PathOf(side) + "\": the " + side.name +
              " list could not be read when the program started, and writing it now would lose the sites it "
              "holds. Nothing was changed.");
}

StoreResult Module1::Add(Side& side, const std::string& entry) {
  if (auto refused = RefuseUnloaded(side); !refused) return refused;
  // Refused before anything is written, so file, box and text stay in step.
  if (side.box.ListCount() >= kMaxListEntries) {
    return Fail(std::string("The ") + side.name + " list is full: it holds " + std::to_string(kMaxListEntries) +
                " sites.");
  }
  if (auto appended = files_.Append(PathOf(side), entry + kCrLf); !appended) return appended;
  side.box.AddItem(entry);
  side.text.Append(entry + kCrLf);
  return {};
}

StoreResult Module1::ReadLines(const Side& side, std::vector<std::string>& lines) const {
  std::string text;
  if (auto read = files_.Read(PathOf(side), text); !read) return read;
  lines = SplitListLines(text);
  return {};
}

StoreResult Module1::Remove(Side& side, const std::string& entry) {
  if (auto refused = RefuseUnloaded(side); !refused) return refused;
  std::vector<std::string> lines;
  if (auto read = ReadLines(side, lines); !read) return read;
  const std::string folded_entry = FoldCase(entry);
  std::string file;
  std::string text;
  int entries = 0;
  for (const std::string& line : lines) {
    // Entries past the limit were not loaded: they stay out of the text, and
    // the list keeps them as they were, for the whole-file write that follows
    // a delete (a place freed in the list box does not bring one of them in).
    const bool past_limit = IsListEntry(line) && ++entries > kMaxListEntries;
    // Substring test, letters' case ignored; the empty entry is in every
    // non-empty line. Empty lines are kept.
    if (!line.empty() && FoldCase(line).find(folded_entry) != std::string::npos) continue;
    file += line + kCrLf;
    if (!past_limit) text += line + kCrLf;
  }
  file += kCrLf;
  if (auto replaced = files_.Replace(PathOf(side), file); !replaced) return replaced;
  side.text.Assign(std::move(text));
  return {};
}

StoreResult Module1::Load(Side& side) {
  std::vector<std::string> lines;
  if (auto read = ReadLines(side, lines); !read) {
    side.load_failed = true;
    return read;
  }
  side.load_failed = false;
  std::string text;
  std::vector<std::string> entries;
  side.unloaded.clear();
  const int room = kMaxListEntries - side.box.ListCount();
  for (std::string& line : lines) {
    if (!IsListEntry(line)) continue;
    if (static_cast<int>(entries.size()) >= room) {
      side.unloaded.push_back(std::move(line));
      continue;
    }
    text += line;
    text += kCrLf;
    entries.push_back(std::move(line));
  }
  side.box.AddItems(std::move(entries));
  side.text.Assign(std::move(text));
  return {};
}

StoreResult Module1::Save(Side& side) {
  if (auto refused = RefuseUnloaded(side); !refused) return refused;
  std::string file;
  for (int i = 0; i < side.box.ListCount(); ++i) file += side.box.List(i) + kCrLf;
  for (const std::string& line : side.unloaded) file += line + kCrLf;
  file += kCrLf;
  if (auto replaced = files_.Replace(PathOf(side), file); !replaced) return replaced;
  return {};
}

StoreResult Module1::EnsureListFiles() {
  if (auto created = files_.CreateIfAbsent(AllowedPath(), default_allowed_host_ + kCrLf); !created) return created;
  return files_.CreateIfAbsent(DisallowedPath(), kCrLf);
}

}  // namespace quellix
