#include "ui/controls/type_name.h"

namespace quellix::ui {

const char* TypeName(const Control& control) {
  switch (control.Kind()) {
    case ControlKind::kLabel: return "Label";
    case ControlKind::kCheckBox: return "CheckBox";
    case ControlKind::kTextBox: return "TextBox";
    case ControlKind::kListBox: return "ListBox";
    case ControlKind::kButton: return "CommandButton";
    case ControlKind::kFrame: return "Frame";
    case ControlKind::kStatusBar: return "StatusBar";
    case ControlKind::kPictureBox: return "PictureBox";
    case ControlKind::kImage: return "Image";
    case ControlKind::kRichText: return "RichTextBox";
    case ControlKind::kWebBrowser: return "WebBrowser";
    case ControlKind::kSkinLabel: return "SkinLabel";
  }
  return "";
}

}  // namespace quellix::ui
