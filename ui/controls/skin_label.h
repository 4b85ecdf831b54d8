// A skin label: a label that the skin draws in its own colours, one element
// of a control array (the array's name is the control's name). Element 0 is
// placed at design time as the template for a container; further elements
// are copies of that container's plain labels.
#pragma once

#include <string>

#include "ui/controls/control.h"

namespace quellix::ui {

class SkinLabel : public Control {
 public:
  SkinLabel(std::string array_name, int index, TwipsRect rect, Control* container)
      : Control(ControlKind::kSkinLabel, std::move(array_name), rect, container, {}), index_(index) {}
  int Index() const { return index_; }
  const std::string& Caption() const { return text_; }
  void SetCaption(std::string caption) {
    text_ = std::move(caption);
    if (Peer()) Peer()->ShowText(text_);
  }

 private:
  int index_;
};

}  // namespace quellix::ui
