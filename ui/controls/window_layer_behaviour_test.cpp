// What the window layer does on either backend, run against both: the headless
// backend natively and the Win32 one under Wine, so the headless backend is
// held to what real windows do. The per-backend driver acts as the user and
// the system would and reads back what the screen shows.
#include <gtest/gtest.h>

#include <memory>

#include "platform/window_order.h"
#include "ui/controls/form.h"
#include "ui/controls/notify_icon.h"
#include "ui/controls/web_browser.h"
#include "ui/controls/window_layer_test_driver.h"
#include "ui/controls/window_messages.h"

namespace quellix::ui {
namespace {

using namespace testing;  // the driver

FormStyle TestStyle() {
  FormStyle style;
  style.class_name = "Quellix.WindowLayerTest";
  style.caption = "Window layer test";
  style.client_width = 6000;  // whole pixels at 96 DPI
  style.client_height = 4500;
  return style;
}

class WindowLayer : public ::testing::Test {
 protected:
  WindowLayer() { form.StartLoad(); }
  std::unique_ptr<Toolkit> toolkit = CreateToolkit();
  Form form{*toolkit, TestStyle()};
};

TEST_F(WindowLayer, ResizeRunsOnTheFirstShowAndEachStateChangeAndDecidesWhetherTheFormShows) {
  std::vector<WindowState> seen;
  form.OnResize = [&] {
    seen.push_back(form.GetWindowState());
    form.SetVisible(form.GetWindowState() != WindowState::kMinimized);
  };
  form.SetWindowState(WindowState::kMinimized);  // before the first show
  form.Show();
  EXPECT_EQ(seen, (std::vector<WindowState>{WindowState::kMinimized, WindowState::kMinimized}));
  EXPECT_FALSE(form.Visible());
  EXPECT_FALSE(ShownOnScreen(form));

  form.SetWindowState(WindowState::kNormal);
  EXPECT_TRUE(form.Visible());
  EXPECT_TRUE(ShownOnScreen(form));
  form.Show();  // later shows and unchanged states run no OnResize
  form.SetWindowState(WindowState::kNormal);
  EXPECT_EQ(seen.size(), 3u);

  SystemSetsWindowState(form, WindowState::kMinimized);
  EXPECT_EQ(seen.back(), WindowState::kMinimized);
  EXPECT_FALSE(ShownOnScreen(form));
  SystemSetsWindowState(form, WindowState::kNormal);
  EXPECT_EQ(seen.back(), WindowState::kNormal);
  EXPECT_TRUE(ShownOnScreen(form));
  EXPECT_EQ(seen.size(), 5u);

  int unloads = 0;
  form.OnUnload = [&] { ++unloads; };
  SystemRequestsClose(form);
  form.Close();
  EXPECT_EQ(unloads, 1);
  EXPECT_TRUE(form.Closed());
  EXPECT_TRUE(WindowExists(form.hWnd()));  // until its owner destroys the form
}

TEST_F(WindowLayer, TheWindowSystemReachesTheHandlersOnlyFromTheLoadStep) {
  Form form{*toolkit, TestStyle()};  // not loaded, unlike the others'
  int unloads = 0;
  int messages = 0;
  form.OnUnload = [&] { ++unloads; };
  const unsigned message = RegisteredMessage("Quellix window layer test: load step");
  form.SetMessageHandler(message, [&](std::uintptr_t, std::intptr_t) { ++messages; });
  for (int step = 0; step < 2; ++step) {
    if (step == 1) form.StartLoad();
    SystemRequestsClose(form);
    SendToWindow(form.hWnd(), message, 0, 0);
    EXPECT_EQ(unloads, step);
    EXPECT_EQ(messages, step);
    EXPECT_EQ(form.Closed(), step == 1);
    EXPECT_TRUE(WindowExists(form.hWnd()));
  }
}

TEST_F(WindowLayer, ClientSizeByCodeKeepsTheBorderMovesStatusBarsAndRunsNoResize) {
  Frame& frame = form.Add<Frame>("Frame1", TwipsRect{60, 300, 5800, 900}, "Frame");
  StatusBar& bar = form.Add<StatusBar>("StatusBar1", TwipsRect{0, 4125, 6000, 375});
  int resizes = 0;
  form.OnResize = [&] { ++resizes; };
  const int border_width = form.OuterWidth() - form.ClientWidth();
  const int border_height = form.OuterHeight() - form.ClientHeight();
  EXPECT_GT(border_width, 0);
  EXPECT_GT(border_height, border_width);  // the title bar
  form.Show();
  EXPECT_EQ(resizes, 1);

  ASSERT_TRUE(form.SetClientSize(6000, 5250));
  PumpAWhile();
  EXPECT_EQ(form.ClientHeight(), 5250);
  EXPECT_EQ(form.OuterHeight(), 5250 + border_height);
  EXPECT_EQ(form.OuterWidth(), 6000 + border_width);
  EXPECT_EQ(bar.Rect().Top, 4875);  // along the new bottom edge
  EXPECT_EQ(frame.Rect().Top, 300);
  EXPECT_EQ(resizes, 1);
  EXPECT_FALSE(form.SetClientSize(6000, -1));
  EXPECT_EQ(form.ClientHeight(), 5250);

  // The user's size runs OnResize; a size set by code afterwards is the size.
  UserResizes(form, 7500, 7500);
  EXPECT_EQ(resizes, 2);
  EXPECT_EQ(form.OuterWidth(), 7500);
  ASSERT_TRUE(form.SetClientSize(6000, 6000));
  PumpAWhile();
  EXPECT_EQ(form.OuterWidth(), 6000 + border_width);
  EXPECT_EQ(form.OuterHeight(), 6000 + border_height);
  EXPECT_EQ(resizes, 2);
}

TEST_F(WindowLayer, CaptionsTextsAndVisibilityShowWhatCodeSetsAndKeysPassTheKeyPressHandler) {
  EXPECT_EQ(ShownText(form.hWnd()), "Window layer test");
  form.SetCaption("Renamed \xC3\xA9");
  EXPECT_EQ(ShownText(form.hWnd()), "Renamed \xC3\xA9");
  Label& label = form.Add<Label>("Label1", TwipsRect{360, 240, 3000, 255}, nullptr, "A label");
  Button& button = form.Add<Button>("Command1", TwipsRect{1000, 600, 1200, 400}, nullptr, "Press");
  label.SetCaption("Another label");
  button.SetCaption("Pressed");
  EXPECT_EQ(ShownText(label.hWnd()), "Another label");
  EXPECT_EQ(ShownText(button.hWnd()), "Pressed");
  EXPECT_TRUE(ShownVisible(label));
  label.SetVisible(false);
  EXPECT_FALSE(ShownVisible(label));
  label.SetVisible(true);
  EXPECT_TRUE(ShownVisible(label));
  int presses = 0;
  button.OnClick = [&] { ++presses; };
  label.OnClick = [&] { presses += 10; };
  UserClicks(button);
  UserClicks(label);
  EXPECT_EQ(presses, 11);

  TextBox& text = form.Add<TextBox>("Text1", TwipsRect{120, 1200, 2000, 285}, nullptr);
  std::string pressed;
  text.OnKeyPress = [&pressed](int& key) {
    pressed.push_back(static_cast<char>(key));
    if (key == 'x') key = 0;
    if (key == 'y') key = 'Y';
  };
  UserTypes(text, "axb\ry");  // Enter reaches the handler and leaves the text as it is
  EXPECT_EQ(pressed, "axb\ry");
  EXPECT_EQ(text.Text(), "abY");
  text.SetText("set by code");
  EXPECT_EQ(ShownText(text.hWnd()), "set by code");
  // What code sets is the text, not what the widget reads back (a broken
  // UTF-8 sequence would come back as U+FFFD).
  text.SetText("caf\xC3");
  EXPECT_EQ(text.Text(), "caf\xC3");
}

TEST_F(WindowLayer, CheckBoxValuesRunItsClickOnlyOnAChangeAndTheBoxShowsThem) {
  CheckBox& box = form.Add<CheckBox>("Check1", TwipsRect{120, 240, 200, 200}, nullptr);
  std::vector<int> seen;
  box.OnClick = [&] { seen.push_back(box.Value()); };
  EXPECT_TRUE(box.SetValue(0));  // already clear: no click
  UserClicks(box);
  EXPECT_EQ(ShownCheck(box), 1);
  EXPECT_TRUE(box.SetValue(1));
  EXPECT_FALSE(box.SetValue(3));  // not a check box value
  EXPECT_FALSE(box.SetValue(-1));
  EXPECT_TRUE(box.SetValue(2));
  EXPECT_EQ(ShownCheck(box), 2);  // greyed, not ticked
  UserClicks(box);  // greyed becomes ticked
  UserClicks(box);  // ticked becomes clear
  EXPECT_EQ(ShownCheck(box), 0);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 1, 0}));
}

TEST_F(WindowLayer, ListBoxSelectionFollowsItsEntryAndGoesWithIt) {
  ListBoxControl& list = form.Add<ListBoxControl>("List1", TwipsRect{120, 1400, 2500, 2000}, nullptr);
  for (const char* item : {"a", "b", "c", "b"}) list.AddItem(item);
  EXPECT_EQ(ShownListCount(list), 4);
  UserSelects(list, 2);
  EXPECT_EQ(list.ListIndex(), 2);
  list.RemoveItem(0);
  EXPECT_EQ(list.ListIndex(), 1);
  EXPECT_EQ(ShownListSelection(list), 1);
  EXPECT_TRUE(list.Selected(1));
  EXPECT_EQ(list.List(1), "c");
  list.RemoveItem(1);
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(ShownListSelection(list), -1);
  EXPECT_EQ(ShownListCount(list), 2);
  list.SetListIndex(7);  // outside: ignored
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(list.List(5), "");
  list.AddItems({"d", "e"});
  list.SetListIndex(3);
  EXPECT_EQ(ShownListCount(list), 4);
  EXPECT_EQ(ShownListSelection(list), 3);
  EXPECT_EQ(list.List(3), "e");
  list.Clear();
  EXPECT_EQ(ShownListCount(list), 0);
  EXPECT_EQ(ShownListSelection(list), -1);
  EXPECT_EQ(list.ListIndex(), -1);
  list.AddItem("f");
  EXPECT_EQ(ShownListCount(list), 1);
}

TEST_F(WindowLayer, StatusBarPanelsAndMenuCommands) {
  StatusBar& bar = form.Add<StatusBar>("StatusBar1", TwipsRect{});
  EXPECT_EQ(bar.PanelCount(), 1);
  EXPECT_EQ(ShownPanels(bar).size(), 1u);
  EXPECT_FALSE(bar.SetPanelText(2, "lost"));
  bar.AddPanel();
  EXPECT_TRUE(bar.SetPanelWidth(1, 3000));
  EXPECT_TRUE(bar.SetPanelText(2, "kept"));
  EXPECT_FALSE(bar.SetPanelText(0, "x"));
  EXPECT_EQ(ShownPanels(bar), (std::vector<std::string>{"", "kept"}));
  EXPECT_EQ(bar.PanelText(3), "");

  MenuItem& file = form.AddMenu("mnuFile", "File");
  MenuItem& exit = form.AddMenuItem(file, "mnuFileItem", 1, "Exit");
  MenuItem& shared = form.AddMenuItem(file, "mnuShared", -1, "Shared", 2001);
  MenuItem& popup = form.AddMenu("Popup", "Popup", false);
  MenuItem& show = form.AddMenuItem(popup, "show", -1, "Show program");
  std::vector<std::string> chosen;
  for (MenuItem* item : {&exit, &shared, &show}) item->OnClick = [&chosen, item] { chosen.push_back(item->Name()); };
  form.ShowMenuBar();
  EXPECT_EQ(MenuBarEntries(form), 1);  // the hidden context menu is not in the bar
  UserChooses(form, exit);
  UserChooses(form, shared);
  EXPECT_EQ(chosen, (std::vector<std::string>{"mnuFileItem", "mnuShared"}));
  EXPECT_EQ(shared.CommandId(), 2001);
  EXPECT_NE(exit.CommandId(), show.CommandId());
  EXPECT_EQ(form.MenuByCommand(show.CommandId()), &show);
  EXPECT_EQ(form.MenuByCommand(99999), nullptr);
}

TEST_F(WindowLayer, DisabledControlsAndMenuEntriesTakeNoInputAndSettingChangesReachTheForm) {
  CheckBox& box = form.Add<CheckBox>("Check1", TwipsRect{120, 240, 200, 200}, nullptr);
  Button& button = form.Add<Button>("Command1", TwipsRect{120, 600, 1500, 400}, nullptr, "Press");
  MenuItem& tools = form.AddMenu("mnuTools", "Tools");
  MenuItem& greyed = form.AddMenuItem(tools, "greyed", -1, "Greyed");
  MenuItem& hidden = form.AddMenuItem(tools, "hidden", -1, "Hidden");
  MenuItem& plain = form.AddMenuItem(tools, "plain", -1, "Plain");
  std::vector<std::string> seen;
  box.OnClick = [&] { seen.push_back("box " + std::to_string(box.Value())); };
  button.OnClick = [&] { seen.emplace_back("button"); };
  for (MenuItem* item : {&greyed, &hidden, &plain}) item->OnClick = [&seen, item] { seen.push_back(item->Name()); };
  form.OnSettingChange = [&](const std::string& area) { seen.push_back("setting " + area); };
  form.Show();

  box.SetValue(1);
  box.SetEnabled(false);
  button.SetEnabled(false);
  EXPECT_FALSE(ShownEnabled(box));
  EXPECT_FALSE(ShownEnabled(button));
  UserClicks(box);
  UserClicks(button);
  EXPECT_EQ(ShownCheck(box), 1);
  box.SetValue(0);  // code still sets it
  box.SetEnabled(true);
  EXPECT_TRUE(ShownEnabled(box));
  UserClicks(box);

  greyed.SetEnabled(false);
  hidden.SetVisible(false);
  form.ShowMenuBar();
  EXPECT_EQ(ShownMenuEntry(form, greyed), ShownEntry::kGreyed);
  EXPECT_EQ(ShownMenuEntry(form, hidden), ShownEntry::kAbsent);
  EXPECT_EQ(ShownMenuEntry(form, plain), ShownEntry::kChoosable);
  for (MenuItem* item : {&greyed, &hidden, &plain}) UserChooses(form, *item);
  hidden.SetVisible(true);
  form.ShowMenuBar();
  EXPECT_EQ(ShownMenuEntry(form, hidden), ShownEntry::kChoosable);

  SystemReportsSettingChange(form, "Policy");
  EXPECT_EQ(seen, (std::vector<std::string>{"box 1", "box 0", "box 1", "plain", "setting Policy"}));
}

TEST_F(WindowLayer, AContextMenuRunsTheChosenEntryAfterItClosed) {
  MenuItem& popup = form.AddMenu("Popup", "Popup", false);
  std::vector<std::string> clicked;
  for (const char* name : {"close", "show", "exit"}) {
    form.AddMenuItem(popup, name, -1, name).OnClick = [&clicked, name] { clicked.emplace_back(name); };
  }
  form.ShowMenuBar();  // the tray's menu, of a window that is not shown
  UserWillAnswerContextMenu(form, popup, nullptr);
  form.PopupMenu(popup);
  EXPECT_TRUE(clicked.empty());
  UserWillAnswerContextMenu(form, popup, popup.Find("show"));
  form.PopupMenu(popup);
  EXPECT_EQ(clicked, std::vector<std::string>{"show"});
}

TEST_F(WindowLayer, TimersTickWhileEnabledAndNotAfter) {
  Timer& timer = form.AddTimer("Timer1", 2);
  Timer& stopped = form.AddTimer("Timer2", 2);
  int ticks = 0;
  int stopped_ticks = 0;
  timer.OnTimer = [&] {
    if (++ticks == 5) timer.SetEnabled(false);
  };
  stopped.OnTimer = [&] { ++stopped_ticks; };
  timer.SetEnabled(true);
  stopped.SetEnabled(true);
  stopped.SetEnabled(false);
  EXPECT_TRUE(PumpUntil([&] { return ticks >= 5; }));
  PumpAWhile();
  EXPECT_EQ(ticks, 5);
  EXPECT_EQ(stopped_ticks, 0);
}

// The subclassing chain: a replacement sees the window's messages first and
// passes them on, and the destroyed window's last message reaches it too.
std::vector<unsigned> g_seen;
ProcedureToken g_previous = 0;
MessageResult Recording(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
  if (message == kWmHotKey || message == kWmNcDestroy || message >= kWmApp) g_seen.push_back(message);
  return CallPreviousProcedure(g_previous, window, message, wparam, lparam);
}

TEST_F(WindowLayer, MessagesReachHandlersThroughAReplacedProcedureAndPostedOnesWaitForTheLoop) {
  g_seen.clear();
  auto subclassed = MakeForm<Form>(*toolkit, TestStyle());
  subclassed->StartLoad();
  const unsigned private_message = kWmApp + 5;
  std::vector<std::intptr_t> handled;
  subclassed->SetMessageHandler(private_message, [&](std::uintptr_t, std::intptr_t l) { handled.push_back(l); });
  const WindowHandle window = subclassed->hWnd();
  g_previous = ReplaceWindowProcedure(window, &Recording);
  ASSERT_NE(g_previous, 0u);
  ASSERT_TRUE(PostWindowMessage(window, kWmHotKey, 0, 0));
  ASSERT_TRUE(PostWindowMessage(window, private_message, 0, 7));
  EXPECT_TRUE(handled.empty());  // posted: waits for the message loop
  EXPECT_TRUE(PumpUntil([&] { return !handled.empty(); }));
  EXPECT_EQ(handled, std::vector<std::intptr_t>{7});
  EXPECT_EQ(g_seen, (std::vector<unsigned>{kWmHotKey, private_message}));

  RestoreWindowProcedure(window, g_previous);
  SendToWindow(window, private_message, 0, 8);
  EXPECT_EQ(g_seen.size(), 2u);
  EXPECT_EQ(handled, (std::vector<std::intptr_t>{7, 8}));

  PictureBox& picture = subclassed->Add<PictureBox>("pctHotkey", TwipsRect{4000, 0, 15, 15}, nullptr);
  int moves = 0;
  picture.OnMouseMove = [&] { ++moves; };
  ASSERT_TRUE(PostWindowMessage(picture.hWnd(), kWmMouseMove, 0, 0));
  EXPECT_TRUE(PumpUntil([&] { return moves > 0; }));
  EXPECT_EQ(subclassed->ControlByHandle(picture.hWnd()), &picture);

  g_previous = ReplaceWindowProcedure(window, &Recording);
  subclassed.reset();
  EXPECT_EQ(g_seen.back(), kWmNcDestroy);
  EXPECT_FALSE(WindowExists(window));
  EXPECT_FALSE(PostWindowMessage(window, private_message, 0, 0));
}

TEST_F(WindowLayer, HotKeysTrayIconsAndRegisteredMessagesBelongToTheSystem) {
  constexpr unsigned kF13 = 0x7C;  // a key nobody else uses in a test session
  Form other(*toolkit, TestStyle());
  ASSERT_TRUE(RegisterSystemHotKey(form.hWnd(), 3, kModWin | kModNoRepeat, kF13));
  EXPECT_FALSE(RegisterSystemHotKey(other.hWnd(), 3, kModWin, kF13));
  EXPECT_TRUE(UnregisterSystemHotKey(form.hWnd(), 3));
  EXPECT_FALSE(UnregisterSystemHotKey(form.hWnd(), 3));
  EXPECT_TRUE(RegisterSystemHotKey(other.hWnd(), 3, kModWin, kF13));
  EXPECT_TRUE(UnregisterSystemHotKey(other.hWnd(), 3));

  NotifyIconRecord icon{form.hWnd(), 7, kNifMessage | kNifTip, kWmApp + 9, 0, "Quellix test"};
  EXPECT_TRUE(ShellNotifyIcon(NotifyIconAction::kAdd, icon));
  EXPECT_FALSE(ShellNotifyIcon(NotifyIconAction::kAdd, icon));  // already there
  EXPECT_TRUE(ShellNotifyIcon(NotifyIconAction::kDelete, icon));
  EXPECT_FALSE(ShellNotifyIcon(NotifyIconAction::kDelete, icon));
  EXPECT_EQ(RegisteredMessage("TaskbarCreated"), RegisteredMessage("TaskbarCreated"));
  EXPECT_NE(RegisteredMessage("TaskbarCreated"), RegisteredMessage("Quellix.Other"));
}

TEST_F(WindowLayer, TopmostFollowsEachRequestPerWindowUntilTheWindowGoes) {
  auto other = MakeForm<Form>(*toolkit, TestStyle());
  const WindowHandle gone = other->hWnd();
  clsOnTop on_top;
  on_top.MakeTopMost(form.hWnd());
  EXPECT_TRUE(platform::IsTopmost(form.hWnd()));
  EXPECT_FALSE(platform::IsTopmost(gone));
  modOnTop(gone, true);
  EXPECT_TRUE(platform::IsTopmost(gone));
  on_top.MakeNormal(form.hWnd());
  EXPECT_FALSE(platform::IsTopmost(form.hWnd()));
  EXPECT_TRUE(platform::IsTopmost(gone));
  modOnTop(form.hWnd(), true);
  modOnTop(form.hWnd(), false);
  EXPECT_FALSE(platform::IsTopmost(form.hWnd()));
  other.reset();
  EXPECT_FALSE(platform::IsTopmost(gone));
  EXPECT_FALSE(platform::SetWindowPosition(gone, platform::kHwndTopmost, 0, 0, 0, 0,
                                           platform::kSwpNoMove | platform::kSwpNoSize));
}

TEST_F(WindowLayer, ABrowserWithoutAPageEngineFailsEveryNavigationAndStaysAWindow) {
  WebBrowser& browser = form.Add<WebBrowser>("wbBrowser", TwipsRect{120, 900, 4500, 3000}, nullptr);
  int downloads = 0;
  browser.OnDownloadBegin = [&] { ++downloads; };
  EXPECT_NE(browser.hWnd(), 0u);
  EXPECT_FALSE(browser.Navigate("http://www.quellix.example/"));
  EXPECT_FALSE(browser.GoBack());
  EXPECT_FALSE(browser.GoForward());
  EXPECT_FALSE(browser.Refresh());
  EXPECT_FALSE(browser.Stop());
  PumpAWhile();
  EXPECT_EQ(browser.LocationURL(), "");
  EXPECT_EQ(browser.LocationName(), "");
  EXPECT_EQ(downloads, 0);
  browser.SetVisible(false);
  EXPECT_FALSE(ShownVisible(browser));
  browser.Release();
  EXPECT_FALSE(browser.Navigate("http://www.quellix.example/"));
}

}  // namespace
}  // namespace quellix::ui
