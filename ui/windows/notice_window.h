// A short notice to the user in a small window of its own, shown without
// blocking: the code that reports stays free to go on (a popup decision
// waiting for its answer is not held up by an unanswered message box).
#pragma once

#include <string>

#include "ui/controls/form.h"

namespace quellix {

class NoticeWindow final : public ui::Form {
 public:
  NoticeWindow(ui::Toolkit& toolkit, const std::string& caption);

  // Shows the text in front of every other window; a notice still open is
  // replaced by the new one.
  void ShowNotice(const std::string& text);

  ui::Label& Label1;
  ui::Button& Command1;  // OK
};

}  // namespace quellix
