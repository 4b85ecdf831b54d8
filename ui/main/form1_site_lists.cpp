// The site list panel: Add and Delete beside each list.
#include <algorithm>

#include "ui/main/form1.h"

namespace quellix {

void Form1::Command1_Click() { AddSite(Text1, true); }
void Form1::Command4_Click() { AddSite(Text2, false); }
void Form1::Command2_Click() { DeleteSite(List1, true); }
void Form1::Command3_Click() { DeleteSite(List2, false); }

void Form1::AddSite(ui::TextBox& text, bool allowed) {
  // A line break would make two entries of one in the file.
  std::string entry = text.Text();
  std::erase_if(entry, [](char c) { return c == '\r' || c == '\n'; });
  if (entry.empty() || entry == " ") return;
  StoreResult added = allowed ? lists_.AddAllowed(entry) : lists_.AddDisallowed(entry);
  // A failed append changed nothing; after a failed rewrite the file still
  // holds the appended entry, like the list box and the list text.
  if (added) added = allowed ? lists_.SaveAllowed() : lists_.SaveDisallowed();
  if (!added) ReportStoreFailure(added);
}

void Form1::DeleteSite(ui::ListBoxControl& list, bool allowed) {
  int selected = -1;
  for (int i = 0; i < list.ListCount(); ++i) {
    if (list.Selected(i)) {
      selected = i;
      break;
    }
  }
  if (selected < 0) return;
  const std::string entry = list.List(selected);
  StoreResult removed = allowed ? lists_.RemoveAllowed(entry) : lists_.RemoveDisallowed(entry);
  if (!removed) {
    // Nothing was changed: the list box, the file and the list text still agree.
    ReportStoreFailure(removed);
    return;
  }
  list.RemoveItem(selected);
  if (StoreResult saved = allowed ? lists_.SaveAllowed() : lists_.SaveDisallowed(); !saved) {
    // The file holds what the removal left; show exactly that again.
    while (list.ListCount() > 0) list.RemoveItem(list.ListCount() - 1);
    if (StoreResult reloaded = allowed ? lists_.LoadAllowed() : lists_.LoadDisallowed(); !reloaded) {
      saved.message += "\n" + reloaded.message;
    }
    ReportStoreFailure(saved);
  }
}

}  // namespace quellix
