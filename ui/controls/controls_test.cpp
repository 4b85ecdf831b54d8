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

TEST_F(Controls, AssigningACheckBoxValueRunsItsClickOnlyOnAChange) {
  Form form(*toolkit, TestStyle());
  CheckBox& box = form.Add<CheckBox>("Check1", TwipsRect{120, 240, 200, 200}, nullptr);
  std::vector<int> seen;
  box.OnClick = [&] { seen.push_back(box.Value()); };

  EXPECT_TRUE(box.SetValue(0));  // already clear: no click
  EXPECT_TRUE(box.SetValue(1));
  EXPECT_TRUE(box.SetValue(1));
  EXPECT_FALSE(box.SetValue(3));  // not a check box value
  EXPECT_FALSE(box.SetValue(-1));
  EXPECT_TRUE(box.SetValue(2));
  box.UserClick();  // greyed becomes ticked
  box.UserClick();  // ticked becomes clear
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 1, 0}));
}

TEST_F(Controls, ListBoxSelectionFollowsItsEntryAndGoesWithIt) {
  Form form(*toolkit, TestStyle());
  ListBoxControl& list = form.Add<ListBoxControl>("List1", TwipsRect{}, nullptr);
  for (const char* item : {"a", "b", "c", "b"}) list.AddItem(item);
  list.UserSelected(2);
  list.RemoveItem(0);
  EXPECT_EQ(list.ListIndex(), 1);
  EXPECT_TRUE(list.Selected(1));
  EXPECT_EQ(list.List(1), "c");
  list.RemoveItem(1);
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(list.ListCount(), 2);
  list.SetListIndex(7);  // outside: ignored
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(list.List(5), "");
}

TEST_F(Controls, StatusBarStartsWithOnePanelAndDropsTextForMissingPanels) {
  Form form(*toolkit, TestStyle());
  StatusBar& bar = form.Add<StatusBar>("StatusBar1", TwipsRect{});
  EXPECT_EQ(bar.PanelCount(), 1);
  EXPECT_FALSE(bar.SetPanelText(2, "lost"));
  bar.AddPanel();
  EXPECT_TRUE(bar.SetPanelText(2, "kept"));
  EXPECT_EQ(bar.PanelText(2), "kept");
  EXPECT_FALSE(bar.SetPanelText(0, "x"));
  EXPECT_EQ(bar.PanelText(3), "");
}

TEST_F(Controls, TimersEndBeforeTheirWindowAlsoWhenTheFormGoesWithOneRunning) {
  // A form that destroys its window first in its destructor, as the
  // program's windows do, with its timers running.
  struct WindowFirst : Form {
    using Form::Form;
    ~WindowFirst() override { DestroyWindow(); }
  };
  {
    WindowFirst form(*toolkit, TestStyle());
    form.AddTimer("Timer1", 10).SetEnabled(true);
    form.AddTimer("Timer2", 3000).SetEnabled(true);
  }
  EXPECT_EQ(headless::TimersOutlivingTheirWindow(), 0);
}

TEST_F(Controls, FirstShowRunsResizeWhichMayKeepTheFormHidden) {
  Form form(*toolkit, TestStyle());
  int resizes = 0;
  form.OnResize = [&] {
    ++resizes;
    form.SetVisible(form.GetWindowState() == WindowState::kNormal);
  };
  form.SetWindowState(WindowState::kMinimized);  // before the first show
  EXPECT_EQ(resizes, 1);
  form.Show();
  EXPECT_EQ(resizes, 2);
  EXPECT_FALSE(form.Visible());
  EXPECT_FALSE(headless::ShownOnScreen(form));

  form.SetWindowState(WindowState::kNormal);
  EXPECT_EQ(resizes, 3);
  EXPECT_TRUE(form.Visible());
  EXPECT_TRUE(headless::ShownOnScreen(form));
  form.Show();  // later shows run no OnResize
  form.SetWindowState(WindowState::kNormal);
  EXPECT_EQ(resizes, 3);
  form.SystemChangedWindowState(WindowState::kMinimized);
  EXPECT_EQ(resizes, 4);
  EXPECT_FALSE(headless::ShownOnScreen(form));
}

TEST_F(Controls, GrowingByCodeKeepsTheBorderMovesStatusBarsAndRunsNoResize) {
  Form form(*toolkit, TestStyle());
  Frame& frame = form.Add<Frame>("Frame1", TwipsRect{60, 300, 2800, 900}, "Frame");
  StatusBar& bar = form.Add<StatusBar>("StatusBar1", TwipsRect{0, 1625, 3000, 375});
  int resizes = 0;
  form.OnResize = [&] { ++resizes; };
  const int border_width = form.OuterWidth() - form.ClientWidth();
  const int border_height = form.OuterHeight() - form.ClientHeight();

  EXPECT_TRUE(form.SetClientSize(3000, 3000));
  EXPECT_EQ(form.ClientHeight(), 3000);
  EXPECT_EQ(form.OuterHeight(), 3000 + border_height);
  EXPECT_EQ(form.OuterWidth(), 3000 + border_width);
  EXPECT_EQ(bar.Rect().Top, 2625);  // along the new bottom edge
  EXPECT_EQ(frame.Rect().Top, 300);
  EXPECT_EQ(resizes, 0);
  EXPECT_FALSE(headless::ShownOnScreen(form));

  EXPECT_FALSE(form.SetClientSize(3000, -1));
  EXPECT_EQ(form.ClientHeight(), 3000);

  // After the user sized the window, code grows it from that size.
  headless::UserResized(form, 4000, 4000);
  EXPECT_EQ(resizes, 1);
  EXPECT_TRUE(form.SetClientSize(3000, 3500));
  EXPECT_EQ(form.OuterHeight(), 4500);
  EXPECT_EQ(form.OuterWidth(), 4000);
  EXPECT_EQ(resizes, 1);
}

TEST_F(Controls, CloseRunsUnloadOnce) {
  Form form(*toolkit, TestStyle());
  int unloads = 0;
  form.OnUnload = [&] { ++unloads; };
  form.SystemRequestedClose();
  form.Close();
  EXPECT_EQ(unloads, 1);
  EXPECT_TRUE(form.Closed());
}

TEST_F(Controls, ContextMenuRunsTheChosenEntryAfterClosing) {
  Form form(*toolkit, TestStyle());
  MenuItem& popup = form.AddMenu("Popup", "Popup", false);
  std::vector<std::string> clicked;
  for (const char* name : {"close", "show"}) {
    form.AddMenuItem(popup, name, -1, name).OnClick = [&clicked, name] { clicked.emplace_back(name); };
  }
  form.ShowMenuBar();
  form.PopupMenu(popup);  // dismissed
  headless::ChooseInNextPopup(form, "show");
  form.PopupMenu(popup);
  EXPECT_EQ(clicked, std::vector<std::string>{"show"});
  EXPECT_EQ(headless::PopupMenusShown(form), 2);
  EXPECT_EQ(headless::LastPopupMenu(form), "Popup");
  ASSERT_NE(popup.Find("close"), nullptr);
  EXPECT_EQ(form.MenuByCommand(popup.Find("close")->CommandId()), popup.Find("close"));
  EXPECT_EQ(form.MenuByCommand(99999), nullptr);
}

// The subclassing chain: a replacement sees every message first, passes it on,
// and the destroyed window's last message reaches it too.
std::vector<unsigned> g_hooked;
ProcedureToken g_previous = 0;
MessageResult Hook(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
  g_hooked.push_back(message);
  return CallPreviousProcedure(g_previous, window, message, wparam, lparam);
}

TEST_F(Controls, ReplacedProcedureSeesMessagesFirstAndPassesThemOn) {
  g_hooked.clear();
  auto form = std::make_unique<Form>(*toolkit, TestStyle());
  const unsigned private_message = kWmApp + 5;
  std::vector<std::intptr_t> handled;
  form->SetMessageHandler(private_message, [&](std::uintptr_t, std::intptr_t l) { handled.push_back(l); });
  const WindowHandle window = form->hWnd();

  g_previous = ReplaceWindowProcedure(window, &Hook);
  ASSERT_NE(g_previous, 0u);
  ASSERT_TRUE(PostWindowMessage(window, private_message, 0, 7));
  EXPECT_TRUE(handled.empty());  // posted: waits for the message loop
  platform::ProcessPendingMessagesOnce();
  EXPECT_EQ(handled, std::vector<std::intptr_t>{7});
  EXPECT_EQ(g_hooked, std::vector<unsigned>{private_message});

  RestoreWindowProcedure(window, g_previous);
  headless::SendWindowMessage(window, private_message, 0, 8);
  EXPECT_EQ(g_hooked.size(), 1u);
  EXPECT_EQ(handled.size(), 2u);

  g_previous = ReplaceWindowProcedure(window, &Hook);
  form.reset();
  EXPECT_EQ(g_hooked.back(), kWmNcDestroy);
  EXPECT_FALSE(headless::WindowExists(window));
  EXPECT_FALSE(PostWindowMessage(window, private_message, 0, 0));
}

TEST_F(Controls, HotKeyBelongsToOneWindowAndArrivesAsAPostedMessage) {
  Form first(*toolkit, TestStyle());
  Form second(*toolkit, TestStyle());
  int presses = 0;
  first.SetMessageHandler(kWmHotKey, [&](std::uintptr_t id, std::intptr_t) { presses += id == 0 ? 1 : 100; });
  ASSERT_TRUE(RegisterSystemHotKey(first.hWnd(), 0, kModWin, 'Z'));
  EXPECT_FALSE(RegisterSystemHotKey(second.hWnd(), 0, kModWin | kModNoRepeat, 'Z'));
  EXPECT_TRUE(headless::PressHotKey(kModWin, 'Z'));
  EXPECT_EQ(presses, 0);
  platform::ProcessPendingMessagesOnce();
  EXPECT_EQ(presses, 1);
  EXPECT_TRUE(UnregisterSystemHotKey(first.hWnd(), 0));
  EXPECT_FALSE(UnregisterSystemHotKey(first.hWnd(), 0));
  EXPECT_FALSE(headless::PressHotKey(kModWin, 'Z'));
}

TEST_F(Controls, PictureBoxReceivesPostedMouseMoves) {
  Form form(*toolkit, TestStyle());
  PictureBox& picture = form.Add<PictureBox>("pctHotkey", TwipsRect{7700, 0, 15, 15}, nullptr);
  int moves = 0;
  picture.OnMouseMove = [&] { ++moves; };
  ASSERT_TRUE(PostWindowMessage(picture.hWnd(), kWmMouseMove, 0, 0));
  platform::ProcessPendingMessagesOnce();
  EXPECT_EQ(moves, 1);
  EXPECT_EQ(form.ControlByHandle(picture.hWnd()), &picture);
}

TEST_F(Controls, TrayIconCallbackReachesItsWindow) {
  Form form(*toolkit, TestStyle());
  const unsigned callback = kWmApp + 1;
  std::vector<std::intptr_t> mouse;
  form.SetMessageHandler(callback, [&](std::uintptr_t, std::intptr_t l) { mouse.emplace_back(l); });
  NotifyIconRecord icon{form.hWnd(), 42, kNifMessage | kNifIcon, callback, form.IconHandle(), "tip"};
  ASSERT_TRUE(ShellNotifyIcon(NotifyIconAction::kAdd, icon));
  EXPECT_FALSE(ShellNotifyIcon(NotifyIconAction::kAdd, icon));  // already there
  EXPECT_TRUE(headless::MouseOnNotifyIcon(form.hWnd(), 42, kWmRButtonUp));
  EXPECT_EQ(mouse, std::vector<std::intptr_t>{kWmRButtonUp});
  EXPECT_TRUE(ShellNotifyIcon(NotifyIconAction::kDelete, icon));
  EXPECT_FALSE(headless::MouseOnNotifyIcon(form.hWnd(), 42, kWmRButtonUp));
  EXPECT_EQ(RegisteredMessage("TaskbarCreated"), RegisteredMessage("TaskbarCreated"));
  EXPECT_NE(RegisteredMessage("TaskbarCreated"), RegisteredMessage("Other"));
}

}  // namespace
}  // namespace quellix::ui
