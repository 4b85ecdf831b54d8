// The accessibility object of an owner-drawn list box that holds no copy of
// its entries, so that a screen reader can read them: a list whose children
// (numbered from 1) are its entries, with their texts from the box's own
// LB_GETTEXT (which its peer answers from the list), their places, and which
// is selected and focused. It holds only the window: a screen reader may
// keep it after the box has gone, and it then answers that the box is gone.
#include "ui/controls/win/list_box_accessible_win.h"

#include <windows.h>

#include <oleacc.h>

#include <string>

namespace quellix::ui::win32 {
namespace {

class ListBoxAccessible final : public IAccessible {
 public:
  explicit ListBoxAccessible(HWND box) : box_(box) {}

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
      *object = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IDispatch: clients use the interface's methods directly.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (parent == nullptr) return E_POINTER;
    *parent = nullptr;
    if (!IsWindow(box_)) return RPC_E_DISCONNECTED;
    return AccessibleObjectFromWindow(box_, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                      reinterpret_cast<void**>(parent));
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    if (count == nullptr) return E_POINTER;
    if (!IsWindow(box_)) return RPC_E_DISCONNECTED;
    *count = Count();
    return S_OK;
  }
  // The entries are simple elements, not objects of their own.
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** dispatch) override {
    if (dispatch == nullptr) return E_POINTER;
    *dispatch = nullptr;
    const HRESULT checked = Check(child);
    return checked == S_OK ? S_FALSE : checked;
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (name == nullptr) return E_POINTER;
    *name = nullptr;
    if (const HRESULT checked = Check(child); checked != S_OK) return checked;
    return child.lVal == CHILDID_SELF ? S_FALSE : EntryText(child.lVal, name);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override { return get_accName(child, value); }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override { return Nothing(child, text); }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override { return Nothing(child, help); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
    if (file != nullptr) *file = nullptr;
    if (topic != nullptr) *topic = 0;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override { return Nothing(child, keys); }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return Nothing(child, action);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (role == nullptr) return E_POINTER;
    VariantInit(role);
    if (const HRESULT checked = Check(child); checked != S_OK) return checked;
    role->vt = VT_I4;
    role->lVal = child.lVal == CHILDID_SELF ? ROLE_SYSTEM_LIST : ROLE_SYSTEM_LISTITEM;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (state == nullptr) return E_POINTER;
    VariantInit(state);
    if (const HRESULT checked = Check(child); checked != S_OK) return checked;
    const bool focused = GetFocus() == box_;
    LONG bits = STATE_SYSTEM_FOCUSABLE;
    if (child.lVal == CHILDID_SELF) {
      if (focused) bits |= STATE_SYSTEM_FOCUSED;
      if (!IsWindowVisible(box_)) bits |= STATE_SYSTEM_INVISIBLE;
    } else {
      bits |= STATE_SYSTEM_SELECTABLE;
      if (child.lVal - 1 == Selected()) bits |= STATE_SYSTEM_SELECTED;
      if (focused && child.lVal - 1 == SendMessageW(box_, LB_GETCARETINDEX, 0, 0)) bits |= STATE_SYSTEM_FOCUSED;
    }
    state->vt = VT_I4;
    state->lVal = bits;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
    if (child == nullptr) return E_POINTER;
    VariantInit(child);
    if (!IsWindow(box_)) return RPC_E_DISCONNECTED;
    if (GetFocus() != box_) return S_FALSE;
    const LRESULT caret = SendMessageW(box_, LB_GETCARETINDEX, 0, 0);
    child->vt = VT_I4;
    child->lVal = caret >= 0 && caret < Count() ? static_cast<LONG>(caret) + 1 : CHILDID_SELF;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
    if (children == nullptr) return E_POINTER;
    VariantInit(children);
    if (!IsWindow(box_)) return RPC_E_DISCONNECTED;
    const int selected = Selected();
    if (selected < 0) return S_FALSE;
    children->vt = VT_I4;
    children->lVal = selected + 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG, VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    *left = *top = *width = *height = 0;
    if (const HRESULT checked = Check(child); checked != S_OK) return checked;
    RECT place{};
    if (child.lVal == CHILDID_SELF) {
      GetWindowRect(box_, &place);
    } else {
      if (SendMessageW(box_, LB_GETITEMRECT, static_cast<WPARAM>(child.lVal - 1), reinterpret_cast<LPARAM>(&place)) ==
          LB_ERR) {
        return S_FALSE;
      }
      MapWindowPoints(box_, nullptr, reinterpret_cast<POINT*>(&place), 2);
    }
    *left = place.left;
    *top = place.top;
    *width = place.right - place.left;
    *height = place.bottom - place.top;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    if (end == nullptr) return E_POINTER;
    VariantInit(end);
    if (const HRESULT checked = Check(start); checked != S_OK) return checked;
    LONG to = 0;
    switch (direction) {
      case NAVDIR_FIRSTCHILD: to = start.lVal == CHILDID_SELF ? 1 : 0; break;
      case NAVDIR_LASTCHILD: to = start.lVal == CHILDID_SELF ? Count() : 0; break;
      case NAVDIR_NEXT:
      case NAVDIR_DOWN: to = start.lVal == CHILDID_SELF ? 0 : start.lVal + 1; break;
      case NAVDIR_PREVIOUS:
      case NAVDIR_UP: to = start.lVal == CHILDID_SELF ? 0 : start.lVal - 1; break;
      default: return E_INVALIDARG;
    }
    if (to < 1 || to > Count()) return S_FALSE;
    end->vt = VT_I4;
    end->lVal = to;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG left, LONG top, VARIANT* child) override {
    if (child == nullptr) return E_POINTER;
    VariantInit(child);
    if (!IsWindow(box_)) return RPC_E_DISCONNECTED;
    POINT point{left, top};
    RECT client{};
    GetClientRect(box_, &client);
    ScreenToClient(box_, &point);
    if (!PtInRect(&client, point)) return S_FALSE;
    const LRESULT hit = SendMessageW(box_, LB_ITEMFROMPOINT, 0, MAKELPARAM(point.x, point.y));
    child->vt = VT_I4;
    child->lVal = HIWORD(hit) == 0 ? static_cast<LONG>(LOWORD(hit)) + 1 : CHILDID_SELF;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ~ListBoxAccessible() = default;

  LONG Count() const { return static_cast<LONG>(SendMessageW(box_, LB_GETCOUNT, 0, 0)); }
  int Selected() const { return static_cast<int>(SendMessageW(box_, LB_GETCURSEL, 0, 0)); }

  // S_OK for the list itself or one of its entries.
  HRESULT Check(const VARIANT& child) const {
    if (!IsWindow(box_)) return RPC_E_DISCONNECTED;
    if (child.vt != VT_I4) return E_INVALIDARG;
    if (child.lVal == CHILDID_SELF) return S_OK;
    return child.lVal >= 1 && child.lVal <= Count() ? S_OK : E_INVALIDARG;
  }

  HRESULT Nothing(const VARIANT& child, BSTR* text) const {
    if (text == nullptr) return E_POINTER;
    *text = nullptr;
    const HRESULT checked = Check(child);
    return checked == S_OK ? S_FALSE : checked;
  }

  // Entry `child` (numbered from 1), as the box's LB_GETTEXT gives it.
  HRESULT EntryText(LONG child, BSTR* text) const {
    const WPARAM index = static_cast<WPARAM>(child - 1);
    const LRESULT length = SendMessageW(box_, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR) return E_INVALIDARG;
    std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(box_, LB_GETTEXT, index, reinterpret_cast<LPARAM>(buffer.data()));
    if (copied == LB_ERR) return E_INVALIDARG;
    *text = SysAllocStringLen(buffer.data(), static_cast<UINT>(copied));
    return *text != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  HWND box_;
  LONG references_ = 1;
};

}  // namespace

LRESULT AnswerListBoxAccessibility(HWND box, WPARAM wparam) {
  auto* accessible = new ListBoxAccessible(box);
  // The result holds its own reference, or is the error why it could not.
  // (__uuidof: the import library's IID_IAccessible is not the identifier's data.)
  const LRESULT result = LresultFromObject(__uuidof(IAccessible), wparam, accessible);
  accessible->Release();
  return result;
}

}  // namespace quellix::ui::win32
