// What only the Win32 backend shows, against Wine's window manager and
// controls: real child windows placed from twips at the window's DPI, icons,
// frames, the rich-text view and the owner-drawn list box. What both
// backends do is in window_layer_behaviour_test.cpp.
#include <windows.h>

#include <oleacc.h>

#include <gtest/gtest.h>

#include "platform/win/wide_string.h"
#include "ui/controls/form.h"
#include "ui/controls/rich_text_box.h"
#include "ui/controls/web_browser.h"
#include "ui/controls/window_layer_test_driver.h"
#include "ui/controls/window_messages.h"

namespace quellix::ui {
namespace {

HWND H(WindowHandle handle) { return reinterpret_cast<HWND>(handle); }

using testing::PumpUntil;

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
  EXPECT_GT(form.OuterWidth(), 6000);
}

// Messages another program or the system could send a window while it is
// being made: each is answered by the form's own window procedure, none runs
// anything of a form not yet loaded (a close request used to destroy it).
HWND creating_window = nullptr;
LRESULT CALLBACK SendWhileCreating(int code, WPARAM wparam, LPARAM lparam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lparam);
  wchar_t name[64] = {};
  if (code == HC_ACTION && sent->message == WM_CREATE && GetClassNameW(sent->hwnd, name, 64) &&
      lstrcmpW(name, L"Quellix.Win32Test") == 0) {
    creating_window = sent->hwnd;
    SendMessageW(sent->hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
    SendMessageW(sent->hwnd, WM_CLOSE, 0, 0);
    SendMessageW(sent->hwnd, WM_ENDSESSION, TRUE, 0);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

TEST_F(Win32Backend, MessagesSentWhileTheFormIsMadeRunNothingBeforeItsLoadStep) {
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, &SendWhileCreating, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  Form form(*toolkit, TestStyle());
  UnhookWindowsHookEx(hook);
  ASSERT_NE(creating_window, nullptr);
  EXPECT_EQ(H(form.hWnd()), creating_window);
  EXPECT_TRUE(IsWindow(creating_window));
  EXPECT_FALSE(form.Closed());
  EXPECT_EQ(form.GetWindowState(), WindowState::kNormal);
  int resizes = 0;
  form.OnResize = [&] { ++resizes; };
  form.Show();
  EXPECT_EQ(resizes, 1);
  EXPECT_TRUE(testing::ShownOnScreen(form));
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
  EXPECT_EQ(RegisteredMessage("TaskbarCreated"), RegisterWindowMessageW(L"TaskbarCreated"));
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

TEST_F(Win32Backend, AListBoxDrawsAWholeListFindsWhatIsTypedAndIsReadByScreenReaders) {
  Form form(*toolkit, TestStyle());
  form.Show();
  ListBoxControl& list = form.Add<ListBoxControl>("List1", TwipsRect{120, 1400, 2500, 2000}, nullptr);
  for (const char* item : {"one", "three"}) list.AddItem(item);
  // A whole list at once; the box keeps no copy, it draws the list's own
  // entries, and what is typed selects the next entry that begins with it.
  std::vector<std::string> many;
  many.reserve(32765);
  for (int i = 0; i < 32765; ++i) many.push_back("site" + std::to_string(i) + ".example");
  list.AddItems(std::move(many));
  EXPECT_EQ(SendMessageW(H(list.hWnd()), LB_GETCOUNT, 0, 0), 32767);
  EXPECT_EQ(list.List(32766), "site32764.example");
  auto type = [&](const wchar_t* keys) {
    for (const wchar_t* key = keys; *key != 0; ++key) SendMessageW(H(list.hWnd()), WM_CHAR, *key, 0);
  };
  type(L"T");
  EXPECT_EQ(SendMessageW(H(list.hWnd()), LB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(list.ListIndex(), 1);
  Sleep(1100);  // a pause: what is typed next is a new prefix
  type(L"Site100");
  EXPECT_EQ(list.List(list.ListIndex()), "site100.example");
  Sleep(1100);
  type(L"ss");  // one letter again and again: the next entries that begin with it
  EXPECT_EQ(list.List(list.ListIndex()), "site102.example");
  EXPECT_GT(SendMessageW(H(list.hWnd()), LB_GETITEMHEIGHT, 0, 0), 8);

  // What a screen reader reads: the entries' texts, from the list itself.
  wchar_t text[32] = {};
  EXPECT_EQ(SendMessageW(H(list.hWnd()), LB_GETTEXTLEN, 32766, 0), 17);
  EXPECT_EQ(SendMessageW(H(list.hWnd()), LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text)), 5);
  EXPECT_STREQ(text, L"three");
  EXPECT_EQ(SendMessageW(H(list.hWnd()), LB_GETTEXTLEN, 32767, 0), LB_ERR);
  // The program runs in a COM apartment (its browser controls need one).
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  IAccessible* accessible = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(H(list.hWnd()), static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                       reinterpret_cast<void**>(&accessible)),
            S_OK);
  LONG count = 0;
  EXPECT_EQ(accessible->get_accChildCount(&count), S_OK);
  EXPECT_EQ(count, 32767);
  VARIANT entry{};
  entry.vt = VT_I4;
  entry.lVal = list.ListIndex() + 1;  // children are numbered from 1: the entry selected above
  VARIANT answer{};
  EXPECT_EQ(accessible->get_accRole(entry, &answer), S_OK);
  EXPECT_EQ(answer.lVal, ROLE_SYSTEM_LISTITEM);
  EXPECT_EQ(accessible->get_accState(entry, &answer), S_OK);
  EXPECT_NE(answer.lVal & STATE_SYSTEM_SELECTED, 0);
  entry.lVal = 32767;
  BSTR name = nullptr;
  EXPECT_EQ(accessible->get_accName(entry, &name), S_OK);
  EXPECT_EQ(std::wstring(name ? name : L""), L"site32764.example");
  SysFreeString(name);
  entry.lVal = 32768;
  name = nullptr;
  EXPECT_NE(accessible->get_accName(entry, &name), S_OK);
  accessible->Release();
  CoUninitialize();
}

TEST_F(Win32Backend, GrowingByCodeKeepsThePlaceAndTheTwipsAtTheWindowsDpi) {
  Form form(*toolkit, TestStyle());
  form.AddMenu("mnuFile", "File");
  form.ShowMenuBar();
  StatusBar& bar = form.Add<StatusBar>("StatusBar1", TwipsRect{});
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

}  // namespace
}  // namespace quellix::ui
