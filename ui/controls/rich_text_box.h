// A rich-text view: shows a formatted document loaded from a rich-text file.
#pragma once

#include <string>

#include "ui/controls/control.h"

namespace quellix::ui {

class RichTextPeer : public ControlPeer {
 public:
  // False, and the view keeps what it showed, when the file cannot be read
  // or is not rich text.
  virtual bool LoadRichTextFile(const std::string& path) = 0;
};

class RichTextBox : public Control {
 public:
  // `initial_text`: plain text shown until a file is loaded.
  RichTextBox(std::string name, TwipsRect rect, Control* container, std::string initial_text)
      : Control(ControlKind::kRichText, std::move(name), rect, container, std::move(initial_text)) {}

  // The plain text shown before any file was loaded.
  const std::string& InitialText() const { return text_; }
  bool LoadFile(const std::string& path) {
    auto* peer = dynamic_cast<RichTextPeer*>(Peer());
    if (peer == nullptr || !peer->LoadRichTextFile(path)) return false;
    file_name_ = path;
    return true;
  }
  // The file the view shows; empty while it shows its initial text.
  const std::string& FileName() const { return file_name_; }

 private:
  std::string file_name_;
};

}  // namespace quellix::ui
