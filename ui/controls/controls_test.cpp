// What only the headless backend has: its test hooks for what a test cannot
// do to a real window (pressing a hot key, a mouse click on a tray icon,
// counting context menus) and its check on timers outliving their window.
// What both backends do is in window_layer_behaviour_test.cpp.
#include <gtest/gtest.h>

#include "platform/message_pump.h"
#include "ui/controls/form.h"
#include "ui/controls/headless/headless_ui.h"

namespace quellix::ui {
namespace {

FormStyle TestStyle() {
  FormStyle style;
  style.class_name = "Quellix.Test";
  style.caption = "test";
  style.client_width = 3000;
  style.client_height = 2000;
  style.icon_resource = "APP";
  return style;
}

class Controls : public ::testing::Test {
 protected:
  void SetUp() override { headless::ResetSystem(); }
  std::unique_ptr<Toolkit> toolkit = CreateToolkit();
};

TEST(Layout, TwipsBecomePixelsByDpiRoundedToNearest) {
  EXPECT_EQ(PixelsFromTwips(7605, 96), 507);
  EXPECT_EQ(PixelsFromTwips(7605, 144), 761);  // 760.5 rounds up
  EXPECT_EQ(PixelsFromTwips(200, 96), 13);     // 13.33
  EXPECT_EQ(PixelsFromTwips(-15, 96), -1);
  EXPECT_EQ(TwipsFromPixels(507, 96), 7605);
  EXPECT_EQ(PixelsFromTwips(100, 0), 0);
}

TEST_F(Controls, TimersEndBeforeTheirWindowAlsoWhenTheFormGoesWithOneRunning) {
  // A form of its own kind, owned as the program's windows are, with its
  // timers running: its window goes before any of its parts.
  struct OwnKind : Form {
    using Form::Form;
  };
  {
    FormPtr<OwnKind> form = MakeForm<OwnKind>(*toolkit, TestStyle());
    form->AddTimer("Timer1", 10).SetEnabled(true);
    form->AddTimer("Timer2", 3000).SetEnabled(true);
  }
  EXPECT_EQ(headless::TimersOutlivingTheirWindow(), 0);
}

TEST_F(Controls, ContextMenusShownAreCountedAnsweredOrNot) {
  Form form(*toolkit, TestStyle());
  MenuItem& popup = form.AddMenu("Popup", "Popup", false);
  form.AddMenuItem(popup, "show", -1, "show");
  form.PopupMenu(popup);  // dismissed
  headless::ChooseInNextPopup(form, "show");
  form.PopupMenu(popup);
  EXPECT_EQ(headless::PopupMenusShown(form), 2);
  EXPECT_EQ(headless::LastPopupMenu(form), "Popup");
}

TEST_F(Controls, APressedHotKeyAndATrayIconClickReachTheirWindow) {
  Form form(*toolkit, TestStyle());
  form.StartLoad();
  int presses = 0;
  form.SetMessageHandler(kWmHotKey, [&](std::uintptr_t id, std::intptr_t) { presses += id == 0 ? 1 : 100; });
  ASSERT_TRUE(RegisterSystemHotKey(form.hWnd(), 0, kModWin, 'Z'));
  EXPECT_TRUE(headless::PressHotKey(kModWin | kModNoRepeat, 'Z'));
  EXPECT_EQ(presses, 0);  // posted
  platform::ProcessPendingMessagesOnce();
  EXPECT_EQ(presses, 1);
  EXPECT_TRUE(UnregisterSystemHotKey(form.hWnd(), 0));
  EXPECT_FALSE(headless::PressHotKey(kModWin, 'Z'));

  const unsigned callback = kWmApp + 1;
  std::vector<std::intptr_t> mouse;
  form.SetMessageHandler(callback, [&](std::uintptr_t, std::intptr_t l) { mouse.emplace_back(l); });
  NotifyIconRecord icon{form.hWnd(), 42, kNifMessage | kNifIcon, callback, form.IconHandle(), "tip"};
  ASSERT_TRUE(ShellNotifyIcon(NotifyIconAction::kAdd, icon));
  EXPECT_TRUE(headless::MouseOnNotifyIcon(form.hWnd(), 42, kWmRButtonUp));
  EXPECT_EQ(mouse, std::vector<std::intptr_t>{kWmRButtonUp});
  EXPECT_TRUE(ShellNotifyIcon(NotifyIconAction::kDelete, icon));
  EXPECT_FALSE(headless::MouseOnNotifyIcon(form.hWnd(), 42, kWmRButtonUp));
}

}  // namespace
}  // namespace quellix::ui
