// The Win32 backend's controls: each a child window of its form, with the
// form's font, its tooltip, and its notifications passed to the portable
// control through the same entry points a test uses.
#include <windows.h>

#include <commctrl.h>
#include <oleacc.h>
#include <richedit.h>

#include <algorithm>

#include "platform/file_io.h"
#include "platform/win/scoped_handle.h"
#include "platform/win/wide_string.h"
#include "ui/controls/rich_text_box.h"
#include "ui/controls/win/list_box_accessible_win.h"
#include "ui/controls/win/web_browser_host_win.h"
#include "ui/controls/win/win32_controls.h"

namespace quellix::ui::win32 {
namespace {

constexpr wchar_t kPictureClass[] = L"Quellix.PictureBox";
constexpr wchar_t kImageClass[] = L"Quellix.Image";

// What every control's peer does alike, over the interface of its kind.
template <typename Interface>
class PeerBase : public Interface, public ControlNotifications {
 public:
  PeerBase(Control& control, ControlHost& form, HWND window) : control_(control), form_(form), window_(window) {
    if (window_ == nullptr) return;
    AttachControlWindow(window_, *this);
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(form_.Font()), FALSE);
    // Frames lie behind the controls placed on them.
    if (control.Kind() == ControlKind::kFrame) {
      SetWindowPos(window_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  ~PeerBase() override { DetachControlWindow(window_); }
  PeerBase(const PeerBase&) = delete;
  PeerBase& operator=(const PeerBase&) = delete;

  WindowHandle Handle() const override { return reinterpret_cast<WindowHandle>(window_); }
  void ShowText(const std::string& text) override { SetWindowTextW(window_, win::Wide(text).c_str()); }
  void ShowVisible(bool visible) override { ShowWindow(window_, visible ? SW_SHOWNA : SW_HIDE); }
  void ShowEnabled(bool enabled) override { EnableWindow(window_, enabled ? TRUE : FALSE); }
  void ShowToolTip(const std::string& tip) override { form_.SetToolTip(window_, tip); }
  void ShowRect(const TwipsRect&) override { Place(); }
  void ShowContainer(const Control*) override { Place(); }
  void TakeFocus() override { SetFocus(window_); }
  void ShowColors(std::optional<Color> back, std::optional<Color> fore) override {
    back_ = back;
    fore_ = fore;
    brush_.Reset(back ? CreateSolidBrush(*back) : nullptr);
    InvalidateRect(window_, nullptr, TRUE);
  }
  void ShowFont(const FontSpec& font) override {
    own_font_spec_ = font;
    own_font_.Reset(form_.CreateFontFor(font));
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(own_font_.Get()), TRUE);
  }
  void Rescale() override {
    if (own_font_spec_) own_font_.Reset(form_.CreateFontFor(*own_font_spec_));
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(own_font_ ? own_font_.Get() : form_.Font()), TRUE);
    Place();
  }

  void Command(WORD) override {}
  void WindowDestroyed() override { window_ = nullptr; }
  HBRUSH Colors(HDC dc) override {
    if (!back_ && !fore_) return nullptr;
    if (fore_) SetTextColor(dc, *fore_);
    if (back_) {
      SetBkColor(dc, *back_);
      return brush_.Get();
    }
    SetBkMode(dc, TRANSPARENT);
    return GetSysColorBrush(COLOR_BTNFACE);
  }

 protected:
  void Place() { form_.PlaceWindow(window_, control_); }

  Control& control_;
  ControlHost& form_;
  HWND window_;  // a child of the form, destroyed with it; null once gone

 private:
  std::optional<Color> back_;
  std::optional<Color> fore_;
  win::ScopedBrush brush_;
  win::ScopedFont own_font_;
  std::optional<FontSpec> own_font_spec_;
};

using PlainPeer = PeerBase<ControlPeer>;

HWND MakeChild(const ControlHost& form, const Control& control, const wchar_t* window_class, DWORD style,
               DWORD ex_style = 0, const std::string& text = {}) {
  const RECT place = form.PlaceOf(control);
  const DWORD visible = control.Visible() ? WS_VISIBLE : 0;
  return CreateWindowExW(ex_style, window_class, win::Wide(text).c_str(), WS_CHILD | visible | style, place.left,
                         place.top, place.right - place.left, place.bottom - place.top, form.ParentWindowOf(control),
                         nullptr, GetModuleHandleW(nullptr), nullptr);
}

class ButtonPeer final : public PlainPeer {
 public:
  ButtonPeer(Control& control, ControlHost& form, HWND window) : PlainPeer(control, form, window) {
    if (!static_cast<Button&>(control).Picture().empty()) ShowPicture(static_cast<Button&>(control).Picture());
  }
  void Command(WORD code) override {
    if (code == BN_CLICKED) static_cast<Button&>(control_).Click();
  }
  void ShowPicture(const std::string& resource) override {
    picture_.Reset(resource.empty() ? nullptr
                                    : static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr),
                                                                      win::Wide(resource).c_str(), IMAGE_BITMAP, 0,
                                                                      0, LR_LOADMAP3DCOLORS)));
    // Without its picture the button shows its caption.
    const LONG_PTR style = GetWindowLongPtrW(window_, GWL_STYLE);
    SetWindowLongPtrW(window_, GWL_STYLE, picture_ ? style | BS_BITMAP : style & ~static_cast<LONG_PTR>(BS_BITMAP));
    SendMessageW(window_, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture_.Get()));
    InvalidateRect(window_, nullptr, TRUE);
  }

 private:
  win::ScopedBitmap picture_;  // the button shows it, and does not own it
};

class LabelPeer final : public PlainPeer {
 public:
  using PlainPeer::PlainPeer;
  void Command(WORD code) override {
    if (code == STN_CLICKED) static_cast<Label&>(control_).Click();
  }
};

class CheckBoxPeer final : public PlainPeer {
 public:
  CheckBoxPeer(Control& control, ControlHost& form, HWND window) : PlainPeer(control, form, window) {
    ShowCheck(static_cast<CheckBox&>(control).Value());
  }
  void ShowCheck(int value) override {
    SendMessageW(window_, BM_SETCHECK, value == 1 ? BST_CHECKED : value == 2 ? BST_INDETERMINATE : BST_UNCHECKED, 0);
  }
  void Command(WORD code) override {
    if (code == BN_CLICKED) static_cast<CheckBox&>(control_).UserClick();
  }
};

class TextBoxPeer final : public PlainPeer {
 public:
  using PlainPeer::PlainPeer;
  // Text set by code is the control's already; the EN_CHANGE it raises is
  // not the user's edit.
  void ShowText(const std::string& text) override {
    showing_text_ = true;
    PlainPeer::ShowText(text);
    showing_text_ = false;
  }
  void Command(WORD code) override {
    if (code != EN_CHANGE || showing_text_) return;
    const int length = GetWindowTextLengthW(window_);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(window_, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    static_cast<TextBox&>(control_).UserEdited(win::Utf8(text));
  }

  // The box's key-press handling sees every character before the box takes it.
  std::optional<LRESULT> WindowMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    auto& box = static_cast<TextBox&>(control_);
    if (message == WM_GETDLGCODE && lparam != 0) {
      // A box with key-press handling takes Enter itself, before the
      // window's dialog keys would (they press a button with it).
      const auto* key = reinterpret_cast<const MSG*>(lparam);
      if (key->message == WM_KEYDOWN && key->wParam == VK_RETURN && box.OnKeyPress) {
        return DefSubclassProc(window_, message, wparam, lparam) | DLGC_WANTMESSAGE;
      }
    }
    if (message == WM_CHAR) {
      int key = 0;
      try {
        key = box.UserKeyPress(static_cast<int>(wparam));
      } catch (...) {
        return 0;  // the key is dropped
      }
      if (key == 0) return 0;
      return DefSubclassProc(window_, message, static_cast<WPARAM>(key), lparam);
    }
    return std::nullopt;
  }

 private:
  bool showing_text_ = false;
};

// The list box holds no copy of its entries (a no-data list box): it knows
// their number and asks for each entry it shows, which this peer draws from
// the list's own entries. A whole list (32767 entries) is one message, not
// one per entry with a redraw each, and the window system keeps no second
// copy of every entry.
class ListBoxPeer final : public PlainPeer {
 public:
  ListBoxPeer(Control& control, ControlHost& form, HWND window) : PlainPeer(control, form, window) {
    const auto& list = static_cast<ListBoxControl&>(control);
    UpdateItemHeight();
    SendMessageW(window_, LB_SETCOUNT, static_cast<WPARAM>(list.ListCount()), 0);
    ListSelect(list.ListIndex());
  }
  void ListAdd(const std::string&) override { SendMessageW(window_, LB_ADDSTRING, 0, 0); }
  void ListAddMany(const std::string*, std::size_t count) override {
    const LRESULT shown = SendMessageW(window_, LB_GETCOUNT, 0, 0);
    SendMessageW(window_, LB_SETCOUNT, static_cast<WPARAM>(shown) + count, 0);
  }
  void ListRemove(int index) override { SendMessageW(window_, LB_DELETESTRING, static_cast<WPARAM>(index), 0); }
  void ListClear() override { SendMessageW(window_, LB_RESETCONTENT, 0, 0); }
  void ListSelect(int index) override { SendMessageW(window_, LB_SETCURSEL, static_cast<WPARAM>(index), 0); }
  void Command(WORD code) override {
    if (code == LBN_SELCHANGE) {
      static_cast<ListBoxControl&>(control_).UserSelected(static_cast<int>(SendMessageW(window_, LB_GETCURSEL, 0, 0)));
    }
  }
  void ShowFont(const FontSpec& font) override {
    PlainPeer::ShowFont(font);
    UpdateItemHeight();
  }
  void Rescale() override {
    PlainPeer::Rescale();
    UpdateItemHeight();
  }

  bool DrawItem(const DRAWITEMSTRUCT& item) override {
    HDC dc = item.hDC;
    const RECT& box = item.rcItem;
    // Only the focus moved: the focus rectangle is drawn inverted, so drawing it again takes it away.
    if (item.itemID == static_cast<UINT>(-1) || !(item.itemAction & (ODA_DRAWENTIRE | ODA_SELECT))) {
      if (item.itemAction & ODA_FOCUS) DrawFocusRect(dc, &box);
      return true;
    }
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    HBRUSH back = selected ? GetSysColorBrush(COLOR_HIGHLIGHT) : Colors(dc);  // the control's own colours, if any
    if (back == nullptr) {
      back = GetSysColorBrush(COLOR_WINDOW);
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    }
    if (selected) SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    FillRect(dc, &box, back);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old_font = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0)));
    const std::wstring text = win::Wide(static_cast<ListBoxControl&>(control_).List(static_cast<int>(item.itemID)));
    RECT place = box;
    place.left += 2;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &place, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, old_font);
    if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &box);
    return true;
  }

  // The entries' texts for whoever asks the box itself (in this process:
  // the box's accessibility object, which a screen reader reads).
  std::optional<LRESULT> WindowMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    const auto& list = static_cast<ListBoxControl&>(control_);
    switch (message) {
      case WM_GETOBJECT:
        if (static_cast<LONG>(lparam) != OBJID_CLIENT) return std::nullopt;
        if (const LRESULT answer = AnswerListBoxAccessibility(window_, wparam)) return answer;
        return std::nullopt;
      case LB_GETTEXTLEN:
      case LB_GETTEXT: {
        const int index = static_cast<int>(wparam);
        if (index < 0 || index >= list.ListCount()) return LB_ERR;
        const std::wstring text = win::Wide(list.List(index));
        if (message == LB_GETTEXT) {
          if (lparam == 0) return LB_ERR;
          std::copy_n(text.c_str(), text.size() + 1, reinterpret_cast<wchar_t*>(lparam));
        }
        return static_cast<LRESULT>(text.size());
      }
      default:
        return std::nullopt;
    }
  }

  // Typing selects the next entry that begins with what was typed:
  // characters typed in quick succession make one prefix, and one letter
  // typed again and again steps through the entries beginning with it.
  LRESULT CharToItem(wchar_t character, int caret) override {
    const auto& list = static_cast<ListBoxControl&>(control_);
    const ULONGLONG now = GetTickCount64();
    const bool continues = !typed_.empty() && now - last_typed_ < kTypeAheadMilliseconds && typed_.size() < 64;
    last_typed_ = now;
    typed_ = continues ? typed_ + character : std::wstring(1, character);
    const bool one_letter = typed_.find_first_not_of(typed_[0]) == std::wstring::npos;
    const std::wstring wanted = one_letter ? typed_.substr(0, 1) : typed_;
    const int count = list.ListCount();
    const int from = caret < 0 ? 0 : caret;
    // A longer prefix may still fit the entry it selected; otherwise the search starts after it.
    const int first = one_letter ? 1 : 0;
    for (int step = first; step < count + first; ++step) {
      const int index = (from + step) % count;
      const std::wstring text = win::Wide(list.List(index).substr(0, 4 * wanted.size()));
      if (text.size() >= wanted.size() &&
          CompareStringOrdinal(text.data(), static_cast<int>(wanted.size()), wanted.data(),
                               static_cast<int>(wanted.size()), TRUE) == CSTR_EQUAL) {
        return index;
      }
    }
    return -2;
  }

 private:
  static constexpr ULONGLONG kTypeAheadMilliseconds = 1000;  // a pause longer than this starts a new prefix

  void UpdateItemHeight() {
    SendMessageW(window_, LB_SETITEMHEIGHT, 0,
                 LineHeightOf(reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0))));
  }

  std::wstring typed_;       // what was typed in quick succession
  ULONGLONG last_typed_ = 0;
};

class StatusBarPeer final : public PlainPeer {
 public:
  StatusBarPeer(Control& control, ControlHost& form, HWND window) : PlainPeer(control, form, window) {
    // The status bar places itself along the bottom of the form.
    SendMessageW(window_, WM_SIZE, 0, 0);
  }
  void Rescale() override {
    PlainPeer::Rescale();
    SendMessageW(window_, WM_SIZE, 0, 0);
    ShowPanels(panels_);
  }
  void ShowPanels(const std::vector<StatusPanel>& panels) override {
    panels_ = panels;
    std::vector<int> edges;
    int right = 0;
    for (std::size_t i = 0; i < panels.size(); ++i) {
      right += form_.Px(panels[i].width);
      edges.push_back(i + 1 == panels.size() ? -1 : right);
    }
    SendMessageW(window_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    for (std::size_t i = 0; i < panels.size(); ++i) {
      SendMessageW(window_, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(win::Wide(panels[i].text).c_str()));
    }
  }
  void ShowRect(const TwipsRect&) override {}
  void ShowContainer(const Control*) override {}

 private:
  std::vector<StatusPanel> panels_;
};

class RichTextWin32Peer final : public PeerBase<RichTextPeer> {
 public:
  using PeerBase<RichTextPeer>::PeerBase;
  bool LoadRichTextFile(const std::string& path) override {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes).ok || bytes.rfind("{\\rtf", 0) != 0) return false;
    struct Source {
      const std::string* bytes;
      std::size_t offset;
    } source{&bytes, 0};
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = [](DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) -> DWORD {
      auto* from = reinterpret_cast<Source*>(cookie);
      const std::size_t left = from->bytes->size() - from->offset;
      const std::size_t n = left < static_cast<std::size_t>(wanted) ? left : static_cast<std::size_t>(wanted);
      std::copy_n(from->bytes->data() + from->offset, n, buffer);
      from->offset += n;
      *given = static_cast<LONG>(n);
      return 0;
    };
    SendMessageW(window_, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    return stream.dwError == 0;
  }
};

class PictureBoxPeer final : public PlainPeer {
 public:
  using PlainPeer::PlainPeer;
  std::optional<LRESULT> WindowMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    switch (message) {
      case WM_MOUSEMOVE:
        static_cast<PictureBox&>(control_).MouseMove();
        return 0;
      // The controls placed in the box report to the form, as they would beside it.
      case WM_COMMAND:
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORLISTBOX:
      case WM_DRAWITEM:
      case WM_MEASUREITEM:
      case WM_CHARTOITEM:
        return SendMessageW(GetAncestor(window_, GA_ROOT), message, wparam, lparam);
      default:
        return std::nullopt;
    }
  }
};

void PaintImage(HWND window, const Image& image, HDC dc) {
  RECT client{};
  GetClientRect(window, &client);
  // A bitmap of the display's own kind: the system unpacks run-length
  // compressed pictures for it (a DIB section would take only plain ones).
  win::ScopedBitmap bitmap(static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), win::Wide(image.Resource()).c_str(),
                                                           IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
  if (bitmap) {
    BITMAP info{};
    GetObjectW(bitmap.Get(), sizeof info, &info);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap.Get());
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    return;
  }
  FillRect(dc, &client, GetSysColorBrush(COLOR_HIGHLIGHT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
  const std::wstring text = win::Wide(image.FallbackText());
  DrawTextW(dc, text.c_str(), -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

class ImagePeer final : public PlainPeer {
 public:
  using PlainPeer::PlainPeer;
  std::optional<LRESULT> WindowMessage(UINT message, WPARAM, LPARAM) override {
    if (message == WM_ERASEBKGND) return 1;
    if (message != WM_PAINT) return std::nullopt;
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window_, &paint);
    PaintImage(window_, static_cast<Image&>(control_), dc);
    EndPaint(window_, &paint);
    return 0;
  }
};

HMODULE RichEditLibrary() {
  // Loaded once for the program's life: its window class must outlive every view.
  static HMODULE library = LoadLibraryW(L"Msftedit.dll");
  return library;
}

}  // namespace

std::unique_ptr<ControlPeer> CreateControlPeerFor(Control& control, ControlHost& form) {
  switch (control.Kind()) {
    case ControlKind::kLabel:
      return std::make_unique<LabelPeer>(control, form,
                                         MakeChild(form, control, L"STATIC", SS_LEFT | SS_NOTIFY, 0,
                                                   static_cast<Label&>(control).Caption()));
    case ControlKind::kSkinLabel:
      return std::make_unique<PlainPeer>(control, form, MakeChild(form, control, L"STATIC", SS_LEFT | SS_NOTIFY));
    case ControlKind::kFrame:
      return std::make_unique<PlainPeer>(control, form,
                                         MakeChild(form, control, L"BUTTON", BS_GROUPBOX, 0,
                                                   static_cast<Frame&>(control).Caption()));
    case ControlKind::kCheckBox:
      return std::make_unique<CheckBoxPeer>(control, form,
                                            MakeChild(form, control, L"BUTTON", BS_3STATE | WS_TABSTOP, 0,
                                                      static_cast<CheckBox&>(control).Caption()));
    case ControlKind::kButton:
      return std::make_unique<ButtonPeer>(control, form,
                                          MakeChild(form, control, L"BUTTON", BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP,
                                                    0, static_cast<Button&>(control).Caption()));
    case ControlKind::kTextBox:
      return std::make_unique<TextBoxPeer>(control, form,
                                           MakeChild(form, control, L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP,
                                                     WS_EX_CLIENTEDGE, static_cast<TextBox&>(control).Text()));
    case ControlKind::kListBox:
      return std::make_unique<ListBoxPeer>(
          control, form,
          MakeChild(form, control, L"LISTBOX",
                    LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_NODATA | LBS_OWNERDRAWFIXED | LBS_WANTKEYBOARDINPUT |
                        WS_VSCROLL | WS_TABSTOP,
                    WS_EX_CLIENTEDGE));
    case ControlKind::kStatusBar:
      return std::make_unique<StatusBarPeer>(control, form, MakeChild(form, control, STATUSCLASSNAMEW, CCS_BOTTOM));
    case ControlKind::kPictureBox:
      EnsureWindowClass(kPictureClass, &DefWindowProcW, nullptr);
      return std::make_unique<PictureBoxPeer>(control, form, MakeChild(form, control, kPictureClass, 0));
    case ControlKind::kImage:
      EnsureWindowClass(kImageClass, &DefWindowProcW, nullptr);
      return std::make_unique<ImagePeer>(control, form, MakeChild(form, control, kImageClass, 0));
    case ControlKind::kRichText:
      RichEditLibrary();
      return std::make_unique<RichTextWin32Peer>(
          control, form,
          MakeChild(form, control, MSFTEDIT_CLASS, ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL,
                    WS_EX_CLIENTEDGE, static_cast<RichTextBox&>(control).InitialText()));
    case ControlKind::kWebBrowser:
      return CreateWebBrowserPeer(static_cast<WebBrowser&>(control), form);
  }
  return std::make_unique<PlainPeer>(control, form, MakeChild(form, control, L"STATIC", 0));
}

}  // namespace quellix::ui::win32
