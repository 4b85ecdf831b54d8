// Module1: the allowed and disallowed site lists, each kept in three forms
// that every operation keeps in step: a file in the program's folder, a list
// box, and the list text the popup decision matches against.
//
// Damaged files: lines end at CR, CR LF or LF; NUL bytes are dropped; a line
// may be of any length. Entries past the 32767th are not loaded, shown or
// matched; they stay in the file, and whole-file writes keep them at the end,
// so nothing the file held is lost, a delete included.
//
// A list whose file failed to load shows less than the file holds: until a
// load succeeds, every change to it is refused, so its file is never
// rewritten from what little the list box shows.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/list_box.h"
#include "core/list_files.h"
#include "core/program_state.h"

namespace quellix {

class Module1 {
 public:
  // `program_folder` without a final backslash; the files are
  // program_folder + "\allowed.txt" and program_folder + "\disallowed.txt".
  Module1(ListFiles& files, std::string program_folder, std::string default_allowed_host, ProgramState& state,
          ListBox& List1, ListBox& List2);

  StoreResult AddAllowed(const std::string& entry);
  StoreResult AddDisallowed(const std::string& entry);
  StoreResult RemoveAllowed(const std::string& entry);
  StoreResult RemoveDisallowed(const std::string& entry);
  StoreResult LoadAllowed();
  StoreResult LoadDisallowed();
  StoreResult SaveAllowed();
  StoreResult SaveDisallowed();
  StoreResult EnsureListFiles();

  // Called after every change that reaches a list text (an entry added or
  // deleted, a list loaded), whoever made it.
  void SetChangeListener(std::function<void()> listener) { on_change_ = std::move(listener); }

  std::string AllowedPath() const { return folder_ + "\\allowed.txt"; }
  std::string DisallowedPath() const { return folder_ + "\\disallowed.txt"; }

 private:
  struct Side {
    const char* file_literal;  // "\allowed.txt"
    const char* name;          // for messages
    ListBox& box;
    SiteListText& text;
    std::vector<std::string> unloaded;  // lines past the entry limit, as read
    bool load_failed = false;           // the last load did not read the file
  };

  // Refuses a change to a list whose file could not be loaded.
  StoreResult RefuseUnloaded(const Side& side) const;

  std::string PathOf(const Side& side) const { return folder_ + side.file_literal; }
  StoreResult Changed(StoreResult result) const {
    if (result && on_change_) on_change_();
    return result;
  }
  StoreResult Add(Side& side, const std::string& entry);
  StoreResult Remove(Side& side, const std::string& entry);
  StoreResult Load(Side& side);
  StoreResult Save(Side& side);
  StoreResult ReadLines(const Side& side, std::vector<std::string>& lines) const;

  ListFiles& files_;
  std::string folder_;
  std::string default_allowed_host_;
  std::function<void()> on_change_;
  Side allowed_;
  Side disallowed_;
};

// Splits a list file's bytes (already in UTF-8) into lines: a line ends at CR,
// CR LF or LF; a last line without an ending counts; NUL bytes are dropped.
std::vector<std::string> SplitListLines(const std::string& text);

// A line that is empty or a single space is not an entry.
inline bool IsListEntry(const std::string& line) { return !line.empty() && line != " "; }

}  // namespace quellix
