#include "ui/windows/form8.h"

#include <charconv>

#include "platform/file_exists.h"
#include "platform/window_order.h"

namespace quellix {
namespace {

ui::FormStyle HelpStyle() {
  ui::FormStyle style;
  style.class_name = "Quellix.Form8";
  style.caption = "Readme/Help";
  style.client_width = 10290;
  style.client_height = 7920;
  style.in_taskbar = false;
  style.dialog_frame = true;
  style.icon_resource = ui::kProgramIconResource;
  return style;
}

constexpr const char* kSection = "Settings";
constexpr const char* kShowHelp = "showHelp";

}  // namespace

Form8::Form8(Form8Environment environment)
    : ui::Form(environment.toolkit, HelpStyle()),
      rtf1(Add<ui::RichTextBox>("rtf1", ui::TwipsRect{0, 0, 10275, 7515}, nullptr, kNoHelpText)),
      Check1(Add<ui::CheckBox>("Check1", ui::TwipsRect{120, 7590, 2415, 255}, nullptr)),
      env_(std::move(environment)) {
  Check1.SetCaption("Show at Startup");
  Check1.SetValue(1);
  Check1.OnClick = [this] { Check1_Click(); };
  OnUnload = [this] { Hide(); };
  Form_Load();
}

void Form8::Form_Load() {
  StartLoad();
  // Every step may fail; the window then shows what it has.
  if (env_.branding.boolSkin) (void)env_.skin.SkinForm(*this);
  const std::string path = env_.program_folder + "\\Help.rtf";
  if (!xfileExists::fileExists(path)) {
    // The opener shows the window next, with its placeholder text and
    // without placing it above other windows.
    SetVisible(false);
    return;
  }
  (void)rtf1.LoadFile(path);
  modOnTop(hWnd(), true);
  const std::string stored = env_.settings.GetSetting(env_.settings_app, kSection, kShowHelp, "1");
  int value = 0;
  const auto [end, error] = std::from_chars(stored.data(), stored.data() + stored.size(), value);
  // Not a number: the box stays ticked.
  if (error == std::errc() && end == stored.data() + stored.size()) (void)Check1.SetValue(value);
}

void Form8::Check1_Click() {
  (void)env_.settings.SaveSetting(env_.settings_app, kSection, kShowHelp, std::to_string(Check1.Value()));
}

}  // namespace quellix
