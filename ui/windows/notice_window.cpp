#include "ui/windows/notice_window.h"

#include "platform/window_order.h"

namespace quellix {
namespace {

ui::FormStyle NoticeStyle(const std::string& caption) {
  ui::FormStyle style;
  style.class_name = "Quellix.Notice";
  style.caption = caption;
  style.client_width = 5400;
  style.client_height = 1800;
  style.font = {"Verdana", 8, false};
  style.icon_resource = ui::kProgramIconResource;
  return style;
}

}  // namespace

NoticeWindow::NoticeWindow(ui::Toolkit& toolkit, const std::string& caption)
    : ui::Form(toolkit, NoticeStyle(caption)),
      Label1(Add<ui::Label>("Label1", ui::TwipsRect{120, 120, 5160, 1035}, nullptr, "")),
      Command1(Add<ui::Button>("Command1", ui::TwipsRect{4080, 1260, 1200, 420}, nullptr, "OK")) {
  Command1.OnClick = [this] { Hide(); };
  OnUnload = [this] { Hide(); };
}

void NoticeWindow::ShowNotice(const std::string& text) {
  Label1.SetCaption(text);
  Show();
  modOnTop(hWnd(), true);
}

}  // namespace quellix
