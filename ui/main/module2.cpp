#include "ui/main/module2.h"

#include "ui/controls/notify_icon.h"

namespace quellix::Module2 {
namespace {

// The one record the module keeps: filled when the icon is added, reused
// (with the identifier put in again) when it is removed.
ui::NotifyIconRecord& TrayRecord() {
  static ui::NotifyIconRecord record;
  return record;
}

}  // namespace

bool AddTrayIcon(const ui::Form& window, std::uint32_t identifier, std::uintptr_t icon, const std::string& tip) {
  ui::NotifyIconRecord& record = TrayRecord();
  record.hWnd = window.hWnd();
  record.uID = identifier;
  record.uFlags = ui::kNifMessage | ui::kNifIcon | ui::kNifTip;
  record.uCallbackMessage = kTrayCallbackMessage;
  record.hIcon = icon;
  record.szTip = tip;
  return ui::ShellNotifyIcon(ui::NotifyIconAction::kAdd, record);
}

void RemoveTrayIcon(std::uint32_t identifier) {
  ui::NotifyIconRecord& record = TrayRecord();
  record.uID = identifier;
  ui::ShellNotifyIcon(ui::NotifyIconAction::kDelete, record);
}

}  // namespace quellix::Module2
