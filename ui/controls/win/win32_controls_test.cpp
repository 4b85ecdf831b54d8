// The Win32 backend against Wine's window manager, controls and shell: real
// child windows placed from twips, notifications reaching the portable
// controls, menus, timers, subclassing and the notification area.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "platform/win/wide_string.h"
#include "ui/controls/form.h"
#include "ui/controls/notify_icon.h"
#include "ui/controls/rich_text_box.h"
#include "ui/controls/web_browser.h"
#include "ui/controls/window_messages.h"

namespace quellix::ui {
namespace {

HWND H(WindowHandle handle) { return reinterpret_cast<HWND>(handle); }

// Handles what is queued for up to `ms` milliseconds, or until `done`.
template <typename Done>
bool PumpUntil(Done done, int ms = 2000) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
  while (!done()) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done()) return true;
    if (GetTickCount64() > end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return true;
}

FormStyle TestStyle() {
  FormStyle style;
  style.class_name = "Quellix.Win32Test";
  style.caption = "Win32 test";
  style.client_width = 6000;
  style.client_height = 4500;
  return style;
}

RECT ClientRectOf(HWND child) {
  RECT rect{};
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string TextOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return win::Utf8(text);
}

class Win32Backend : public ::testing::Test {
 protected:
  std::unique_ptr<Toolkit> toolkit = CreateToolkit();
};

TEST_F(Win32Backend, FormAndControlsArePlacedFromTwipsByTheWindowsDpi) {
  Form form(*toolkit, TestStyle());
  Frame& frame = form.Add<Frame>("Frame1", TwipsRect{60, 1080, 5000, 1755}, "Options");
  Label& label = form.Add<Label>("Label1", TwipsRect{360, 240, 3000, 255}, &frame, "A label");
  form.AddMenu("mnuFile", "File");
  form.ShowMenuBar();
  const UINT dpi = GetDpiForWindow(H(form.hWnd()));
  RECT client{};
  GetClientRect(H(form.hWnd()), &client);
  EXPECT_EQ(client.right, PixelsFromTwips(6000, static_cast<int>(dpi)));
  EXPECT_EQ(client.bottom, PixelsFromTwips(4500, static_cast<int>(dpi)));  // the menu bar is added outside
  const RECT place = ClientRectOf(H(label.hWnd()));
  EXPECT_EQ(place.left, PixelsFromTwips(60 + 360, static_cast<int>(dpi)));
  EXPECT_EQ(place.top, PixelsFromTwips(1080 + 240, static_cast<int>(dpi)));
  EXPECT_EQ(TextOf(H(label.hWnd())), "A label");
  EXPECT_EQ(TextOf(H(form.hWnd())), "Win32 test");
  form.SetCaption("Renamed \xC3\xA9");
  EXPECT_EQ(TextOf(H(form.hWnd())), "Renamed \xC3\xA9");
  EXPECT_GT(form.OuterWidth(), 6000);
}

TEST_F(Win32Backend, AChangeOfDpiPlacesEveryControlAnewTheBrowserToo) {
  Form form(*toolkit, TestStyle());
  Label& label = form.Add<Label>("Label1", TwipsRect{360, 240, 3000, 255}, nullptr, "A label");
  WebBrowser& browser = form.Add<WebBrowser>("wbBrowser", TwipsRect{120, 900, 4500, 3000}, nullptr);
  constexpr int kNewDpi = 192;
  RECT suggested{};
  GetWindowRect(H(form.hWnd()), &suggested);
  suggested.right = suggested.left + 2 * (suggested.right - suggested.left);
  suggested.bottom = suggested.top + 2 * (suggested.bottom - suggested.top);
  SendMessageW(H(form.hWnd()), WM_DPICHANGED, MAKEWPARAM(kNewDpi, kNewDpi), reinterpret_cast<LPARAM>(&suggested));
  const RECT label_place = ClientRectOf(H(label.hWnd()));
  EXPECT_EQ(label_place.left, PixelsFromTwips(360, kNewDpi));
  EXPECT_EQ(label_place.top, PixelsFromTwips(240, kNewDpi));
  const RECT browser_place = ClientRectOf(H(browser.hWnd()));
  EXPECT_EQ(browser_place.left, PixelsFromTwips(120, kNewDpi));
  EXPECT_EQ(browser_place.top, PixelsFromTwips(900, kNewDpi));
  EXPECT_EQ(browser_place.right - browser_place.left, PixelsFromTwips(4500, kNewDpi));
  EXPECT_EQ(browser_place.bottom - browser_place.top, PixelsFromTwips(3000, kNewDpi));
}

TEST_F(Win32Backend, EveryWindowOfTheProgramCarriesTheProgramsIcon) {
  FormStyle style = TestStyle();
  style.icon_resource = kProgramIconResource;
  Form form(*toolkit, style);
  EXPECT_NE(SendMessageW(H(form.hWnd()), WM_GETICON, ICON_SMALL, 0), 0);
  EXPECT_NE(SendMessageW(H(form.hWnd()), WM_GETICON, ICON_BIG, 0), 0);
}

TEST_F(Win32Backend, ADialogFrameAndARichTextViewShowingItsTextBeforeAnyFile) {
  FormStyle style = TestStyle();
  style.dialog_frame = true;
  Form form(*toolkit, style);
  EXPECT_TRUE(GetWindowLongPtrW(H(form.hWnd()), GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
  EXPECT_FALSE(GetWindowLongPtrW(H(form.hWnd()), GWL_STYLE) & WS_THICKFRAME);
  auto& view = form.Add<RichTextBox>("rtf1", TwipsRect{0, 0, 3000, 1500}, nullptr, "No help file was found.");
  wchar_t shown[64] = {};
  GetWindowTextW(H(view.hWnd()), shown, 64);
  EXPECT_STREQ(shown, L"No help file was found.");
  EXPECT_FALSE(view.LoadFile("C:\\nowhere\\Help.rtf"));
  GetWindowTextW(H(view.hWnd()), shown, 64);
  EXPECT_STREQ(shown, L"No help file was found.");
}

TEST_F(Win32Backend, UserActionsReachTheControls) {
  Form form(*toolkit, TestStyle());
  form.Show();
  CheckBox& box = form.Add<CheckBox>("Check1", TwipsRect{120, 240, 200, 200}, nullptr);
  Button& button = form.Add<Button>("Command1", TwipsRect{1000, 240, 1200, 400}, nullptr, "Press");
  TextBox& text = form.Add<TextBox>("Text1", TwipsRect{120, 900, 2000, 285}, nullptr);
  ListBoxControl& list = form.Add<ListBoxControl>("List1", TwipsRect{120, 1400, 2500, 2000}, nullptr);
  int clicks = 0;
  int presses = 0;
  box.OnClick = [&] { ++clicks; };
  button.OnClick = [&] { ++presses; };
  text.OnKeyPress = [](int& key) {
    if (key == 'x') key = 0;
  };

  SendMessageW(H(box.hWnd()), BM_CLICK, 0, 0);
  EXPECT_EQ(box.Value(), 1);
  EXPECT_EQ(SendMessageW(H(box.hWnd()), BM_GETCHECK, 0, 0), BST_CHECKED);
  box.SetValue(0);  // from code: the box shows it and the click runs
  EXPECT_EQ(SendMessageW(H(box.hWnd()), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(clicks, 2);

  SendMessageW(H(button.hWnd()), BM_CLICK, 0, 0);
  EXPECT_EQ(presses, 1);

  for (wchar_t key : std::wstring(L"axb")) SendMessageW(H(text.hWnd()), WM_CHAR, key, 0);
  EXPECT_EQ(text.Text(), "ab");  // the key-press handling swallowed the x
  text.SetText("set by code");
  EXPECT_EQ(TextOf(H(text.hWnd())), "set by code");
  // What code sets is the text, not what the box's EN_CHANGE reads back (a
  // broken UTF-8 sequence comes back as U+FFFD).
  text.SetText("caf\xC3");
  EXPECT_EQ(text.Text(), "caf\xC3");

  for (const char* item : {"one", "two", "three"}) list.AddItem(item);
  EXPECT_EQ(SendMessageW(H(list.hWnd()), LB_GETCOUNT, 0, 0), 3);
  // What the list box tells its form when the user selects an entry.
  SendMessageW(H(list.hWnd()), LB_SETCURSEL, 1, 0);
  SendMessageW(H(form.hWnd()), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(H(list.hWnd())), LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(H(list.hWnd())));
  EXPECT_EQ(list.ListIndex(), 1);
  list.RemoveItem(1);
  EXPECT_EQ(SendMessageW(H(list.hWnd()), LB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(H(list.hWnd()), LB_GETCURSEL, 0, 0), LB_ERR);
  // A whole list at once; the box keeps no copy, it draws the list's own
  // entries, and a typed letter selects the next entry that begins with it.
  std::vector<std::string> many;
  many.reserve(32765);
  for (int i = 0; i < 32765; ++i) many.push_back("site" + std::to_string(i) + ".example");
  list.AddItems(std::move(many));
  EXPECT_EQ(SendMessageW(H(list.hWnd()), LB_GETCOUNT, 0, 0), 32767);
  EXPECT_EQ(list.List(32766), "site32764.example");
  SendMessageW(H(list.hWnd()), WM_CHAR, L'T', 0);
  EXPECT_EQ(SendMessageW(H(list.hWnd()), LB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(list.ListIndex(), 1);
  SendMessageW(H(list.hWnd()), WM_CHAR, L's', 0);
  EXPECT_EQ(list.ListIndex(), 2);
  EXPECT_GT(SendMessageW(H(list.hWnd()), LB_GETITEMHEIGHT, 0, 0), 8);
}

TEST_F(Win32Backend, StatusBarPanelsAndMenusAreRealOnes) {
  Form form(*toolkit, TestStyle());
  StatusBar& bar = form.Add<StatusBar>("StatusBar1", TwipsRect{});
  bar.AddPanel();
  bar.AddPanel();
  bar.SetPanelWidth(1, 3000);
  bar.SetPanelText(1, "0 Popups blocked to date");
  bar.SetPanelText(2, "Sounds Enabled");
  EXPECT_EQ(SendMessageW(H(bar.hWnd()), SB_GETPARTS, 0, 0), 3);
  wchar_t text[64] = {};
  SendMessageW(H(bar.hWnd()), SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, L"Sounds Enabled");

  MenuItem& file = form.AddMenu("mnuFile", "File");
  MenuItem& exit = form.AddMenuItem(file, "mnuFileItem", 1, "Exit");
  MenuItem& popup = form.AddMenu("Popup", "Popup", false);
  form.AddMenuItem(popup, "show", -1, "Show program");
  int exits = 0;
  exit.OnClick = [&] { ++exits; };
  form.ShowMenuBar();
  HMENU bar_menu = GetMenu(H(form.hWnd()));
  ASSERT_NE(bar_menu, nullptr);
  EXPECT_EQ(GetMenuItemCount(bar_menu), 1);  // the hidden context menu is not in the bar
  SendMessageW(H(form.hWnd()), WM_COMMAND, MAKEWPARAM(exit.CommandId(), 0), 0);
  EXPECT_EQ(exits, 1);
}

TEST_F(Win32Backend, MinimisingRunsResizeAndTimersTick) {
  Form form(*toolkit, TestStyle());
  std::vector<WindowState> seen;
  form.OnResize = [&] {
    seen.push_back(form.GetWindowState());
    form.SetVisible(form.GetWindowState() != WindowState::kMinimized);
  };
  form.Show();
  EXPECT_TRUE(IsWindowVisible(H(form.hWnd())));
  ShowWindow(H(form.hWnd()), SW_MINIMIZE);  // as the system would
  PumpUntil([&] { return !IsWindowVisible(H(form.hWnd())); });
  EXPECT_FALSE(IsWindowVisible(H(form.hWnd())));
  form.SetWindowState(WindowState::kNormal);
  EXPECT_TRUE(IsWindowVisible(H(form.hWnd())));
  EXPECT_FALSE(IsIconic(H(form.hWnd())));
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen[1], WindowState::kMinimized);
  EXPECT_EQ(seen.back(), WindowState::kNormal);

  Timer& timer = form.AddTimer("Timer1", 2);
  int ticks = 0;
  timer.OnTimer = [&] {
    if (++ticks == 5) timer.SetEnabled(false);
  };
  timer.SetEnabled(true);
  EXPECT_TRUE(PumpUntil([&] { return ticks >= 5; }));
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(ticks, 5);
}

TEST_F(Win32Backend, GrowingByCodeKeepsThePlaceAndTheTwipsAtTheWindowsDpi) {
  Form form(*toolkit, TestStyle());
  form.AddMenu("mnuFile", "File");
  form.ShowMenuBar();
  StatusBar& bar = form.Add<StatusBar>("StatusBar1", TwipsRect{});
  int resizes = 0;
  form.OnResize = [&] { ++resizes; };
  form.Show();
  HWND window = H(form.hWnd());
  const int dpi = static_cast<int>(GetDpiForWindow(window));
  RECT before{};
  GetWindowRect(window, &before);

  ASSERT_TRUE(form.SetClientSize(6000, 5500));
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, PixelsFromTwips(6000, dpi));
  EXPECT_EQ(client.bottom, PixelsFromTwips(5500, dpi));
  RECT after{};
  GetWindowRect(window, &after);
  EXPECT_EQ(after.left, before.left);  // a shown window stays where it is
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ((after.bottom - after.top) - (before.bottom - before.top),
            PixelsFromTwips(5500, dpi) - PixelsFromTwips(4500, dpi));
  RECT status{};
  GetWindowRect(H(bar.hWnd()), &status);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&status), 2);
  EXPECT_EQ(status.bottom, client.bottom);
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(resizes, 1);  // the first showing's only

  // A minimised window takes its new size when it comes back.
  ShowWindow(window, SW_MINIMIZE);
  ASSERT_TRUE(PumpUntil([&] { return IsIconic(window) != FALSE; }));
  ASSERT_TRUE(form.SetClientSize(6000, 3000));
  ShowWindow(window, SW_RESTORE);
  PumpUntil([&] { return IsIconic(window) == FALSE; });
  GetClientRect(window, &client);
  EXPECT_EQ(client.bottom, PixelsFromTwips(3000, dpi));
}

TEST_F(Win32Backend, AControlInAPictureBoxIsClippedByTheBoxAndStillReportsToTheForm) {
  Form form(*toolkit, TestStyle());
  form.Show();
  PictureBox& box = form.Add<PictureBox>("picBox", TwipsRect{600, 900, 3000, 900}, nullptr);
  Button& button = form.Add<Button>("Command1", TwipsRect{600, 900, 3600, 900}, nullptr, "Wider than its box");
  int presses = 0;
  button.OnClick = [&] { ++presses; };
  const int dpi = static_cast<int>(GetDpiForWindow(H(form.hWnd())));

  button.SetContainer(&box);
  button.SetRect(TwipsRect{0, 0, 3600, 900});
  EXPECT_EQ(GetParent(H(button.hWnd())), H(box.hWnd()));
  const RECT place = ClientRectOf(H(button.hWnd()));
  EXPECT_EQ(place.left, 0);
  EXPECT_EQ(place.right, PixelsFromTwips(3600, dpi));
  RECT shown{};
  GetClientRect(H(box.hWnd()), &shown);
  EXPECT_EQ(shown.right, PixelsFromTwips(3000, dpi));  // the button's right strip lies outside
  SendMessageW(H(button.hWnd()), BM_CLICK, 0, 0);
  EXPECT_EQ(presses, 1);

  button.SetContainer(nullptr);
  button.SetRect(TwipsRect{600, 2000, 1200, 400});
  EXPECT_EQ(GetParent(H(button.hWnd())), H(form.hWnd()));
  EXPECT_EQ(ClientRectOf(H(button.hWnd())).top, PixelsFromTwips(2000, dpi));
  SendMessageW(H(button.hWnd()), BM_CLICK, 0, 0);
  EXPECT_EQ(presses, 2);
}

std::vector<unsigned> g_seen;
ProcedureToken g_previous = 0;
MessageResult Recording(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
  if (message == kWmHotKey || message == kWmNcDestroy || message >= kWmApp) g_seen.push_back(message);
  return CallPreviousProcedure(g_previous, window, message, wparam, lparam);
}

TEST_F(Win32Backend, SubclassedWindowSeesPostedMessagesFirstAndItsDestruction) {
  g_seen.clear();
  auto form = std::make_unique<Form>(*toolkit, TestStyle());
  std::vector<std::intptr_t> handled;
  form->SetMessageHandler(kWmApp + 7, [&](std::uintptr_t, std::intptr_t l) { handled.push_back(l); });
  const WindowHandle window = form->hWnd();
  g_previous = ReplaceWindowProcedure(window, &Recording);
  ASSERT_NE(g_previous, 0u);
  ASSERT_TRUE(PostWindowMessage(window, kWmHotKey, 0, 0));
  ASSERT_TRUE(PostWindowMessage(window, kWmApp + 7, 0, 42));
  PumpUntil([&] { return !handled.empty(); });
  EXPECT_EQ(handled, std::vector<std::intptr_t>{42});
  EXPECT_EQ(g_seen, (std::vector<unsigned>{kWmHotKey, kWmApp + 7}));
  form.reset();
  EXPECT_EQ(g_seen.back(), kWmNcDestroy);
  EXPECT_FALSE(IsWindow(H(window)));
}

TEST_F(Win32Backend, HotKeyAndTrayIconAreRegisteredWithTheSystem) {
  Form form(*toolkit, TestStyle());
  // A key nobody else uses in the test session.
  ASSERT_TRUE(RegisterSystemHotKey(form.hWnd(), 3, kModWin | kModNoRepeat, VK_F13));
  Form other(*toolkit, TestStyle());
  EXPECT_FALSE(RegisterSystemHotKey(other.hWnd(), 3, kModWin, VK_F13));
  EXPECT_TRUE(UnregisterSystemHotKey(form.hWnd(), 3));

  NotifyIconRecord icon{form.hWnd(), 7, kNifMessage | kNifTip, kWmApp + 9, 0, "Quellix test"};
  EXPECT_TRUE(ShellNotifyIcon(NotifyIconAction::kAdd, icon));
  EXPECT_TRUE(ShellNotifyIcon(NotifyIconAction::kDelete, icon));
  EXPECT_FALSE(ShellNotifyIcon(NotifyIconAction::kDelete, icon));
  EXPECT_EQ(RegisteredMessage("TaskbarCreated"), RegisterWindowMessageW(L"TaskbarCreated"));
}

}  // namespace
}  // namespace quellix::ui
