// An OLE container of our own for the browser control: a client site that
// lets it activate in place in a host window, a frame that refuses menus and
// borders, and an event sink. Keys reach the active browser through the
// program's message step. The browser is taken down when the host window
// is destroyed, before its in-place window goes with it.
#include "ui/controls/win/web_browser_host_win.h"

#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <ole2.h>
#include <wrl/client.h>

#include <utility>

#include "platform/win/com_connection.h"
#include "platform/win/dispatch_sink.h"
#include "platform/win/message_step_win.h"
#include "platform/win/scoped_com.h"
#include "platform/win/wide_string.h"

namespace quellix::ui::win32 {
namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kHostClass[] = L"Quellix.WebBrowserHost";

class BrowserPeer;

// DWebBrowserEvents2, for as long as the peer lets it through.
class BrowserEvents final : public win::DispatchSink {
 public:
  explicit BrowserEvents(WebBrowser* control) : DispatchSink(DIID_DWebBrowserEvents2), control_(control) {}
  void Detach() { control_ = nullptr; }

 protected:
  void OnEvent(DISPID id, const DISPPARAMS& params) override {
    if (control_ == nullptr) return;
    switch (id) {
      case DISPID_STATUSTEXTCHANGE:
        control_->RaiseStatusTextChange(win::StringArgument(params, 0).value_or(""));
        break;
      case DISPID_PROGRESSCHANGE:
        control_->RaiseProgressChange(win::LongArgument(params, 0).value_or(0), win::LongArgument(params, 1).value_or(0));
        break;
      case DISPID_DOWNLOADBEGIN:
        control_->RaiseDownloadBegin();
        break;
      case DISPID_DOWNLOADCOMPLETE:
        control_->RaiseDownloadComplete();
        break;
      default:
        break;
    }
  }

 private:
  ~BrowserEvents() override = default;
  WebBrowser* control_;
};

// The container's side: client site, in-place site and in-place frame in one
// object. It only answers while its host window exists.
class BrowserSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
 public:
  explicit BrowserSite(HWND host) : host_(host) {}
  void Detach() { host_ = nullptr; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) {
      *object = static_cast<IOleInPlaceSite*>(this);
    } else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame) {
      *object = static_cast<IOleInPlaceFrame*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the in-place site and the frame)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = host_;
    return host_ ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return host_ ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, RECT* position,
                                             RECT* clip, OLEINPLACEFRAMEINFO* info) override {
    if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr || info == nullptr) {
      return E_POINTER;
    }
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *document = nullptr;
    GetClientRect(host_, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = host_ ? GetAncestor(host_, GA_ROOT) : nullptr;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }

  // IOleInPlaceFrame
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  ~BrowserSite() = default;
  HWND host_;
  LONG references_ = 1;
};

class BrowserPeer final : public WebBrowserPeer, public ControlNotifications {
 public:
  BrowserPeer(WebBrowser& control, ControlHost& form) : control_(control), form_(form) {
    EnsureWindowClass(kHostClass, &DefWindowProcW, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    const RECT place = form_.PlaceOf(control_);
    host_ = CreateWindowExW(0, kHostClass, L"", WS_CHILD | WS_CLIPCHILDREN | (control_.Visible() ? WS_VISIBLE : 0),
                            place.left, place.top, place.right - place.left, place.bottom - place.top,
                            form_.ParentWindowOf(control_), nullptr, GetModuleHandleW(nullptr), nullptr);
    if (host_ == nullptr) return;
    AttachControlWindow(host_, *this);
    Embed();
  }
  ~BrowserPeer() override {
    TakeDown();
    if (host_ != nullptr) {
      DetachControlWindow(host_);
      DestroyWindow(host_);
    }
  }
  BrowserPeer(const BrowserPeer&) = delete;
  BrowserPeer& operator=(const BrowserPeer&) = delete;

  WindowHandle Handle() const override { return reinterpret_cast<WindowHandle>(host_); }
  void ShowText(const std::string&) override {}
  void ShowVisible(bool visible) override { ShowWindow(host_, visible ? SW_SHOWNA : SW_HIDE); }
  void ShowToolTip(const std::string& tip) override { form_.SetToolTip(host_, tip); }
  void ShowRect(const TwipsRect&) override { Place(); }
  void ShowContainer(const Control*) override { Place(); }

  // ControlNotifications: the browser sends no commands and paints itself.
  void Command(WORD) override {}
  HBRUSH Colors(HDC) override { return nullptr; }
  void Rescale() override { Place(); }
  std::optional<LRESULT> WindowMessage(UINT message, WPARAM, LPARAM lparam) override {
    // The browser goes before its in-place window goes with the host.
    if (message == WM_DESTROY) TakeDown();
    if (message == platform::TranslateAcceleratorMessage()) {
      return TranslateAccelerator(reinterpret_cast<MSG*>(lparam)) ? TRUE : FALSE;
    }
    return std::nullopt;
  }
  void WindowDestroyed() override { host_ = nullptr; }

  bool Navigate(const std::string& url) override {
    if (!browser_) return false;
    win::ScopedBstr address(win::Wide(url));
    return SUCCEEDED(browser_->Navigate(address.Get(), nullptr, nullptr, nullptr, nullptr));
  }
  bool GoBack() override { return browser_ && SUCCEEDED(browser_->GoBack()); }
  bool GoForward() override { return browser_ && SUCCEEDED(browser_->GoForward()); }
  bool Stop() override { return browser_ && SUCCEEDED(browser_->Stop()); }
  bool Refresh() override { return browser_ && SUCCEEDED(browser_->Refresh()); }
  std::string LocationURL() const override {
    win::ScopedBstr text;
    if (!browser_ || FAILED(browser_->get_LocationURL(text.Receive()))) return {};
    return win::Utf8(text.View());
  }
  std::string LocationName() const override {
    win::ScopedBstr text;
    if (!browser_ || FAILED(browser_->get_LocationName(text.Receive()))) return {};
    return win::Utf8(text.View());
  }

 private:
  void Embed() {
    site_ = win::AdoptComPtr(new BrowserSite(host_));
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(object_.ReleaseAndGetAddressOf())))) {
      object_.Reset();
      return;
    }
    IOleClientSite* client = site_.Get();
    if (FAILED(object_->SetClientSite(client))) {
      TakeDown();
      return;
    }
    OleSetContainedObject(object_.Get(), TRUE);
    RECT area{};
    GetClientRect(host_, &area);
    if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, client, 0, host_, &area)) ||
        FAILED(object_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(browser_.ReleaseAndGetAddressOf())))) {
      TakeDown();
      return;
    }
    // Script errors and the like are the page's affair, never a dialog of ours.
    browser_->put_Silent(VARIANT_TRUE);
    events_ = win::AdoptComPtr(new BrowserEvents(&control_));
    connection_ = win::ComConnection::Connect(browser_.Get(), DIID_DWebBrowserEvents2, events_.Get());
  }

  // Idempotent: on the host's WM_DESTROY and in the destructor.
  void TakeDown() noexcept {
    connection_.Disconnect();
    if (events_) {
      events_->Detach();
      events_.Reset();
    }
    browser_.Reset();
    if (object_) {
      if (ComPtr<IOleInPlaceObject> in_place = InPlaceObject()) in_place->InPlaceDeactivate();
      object_->Close(OLECLOSE_NOSAVE);
      object_->SetClientSite(nullptr);
      object_.Reset();
    }
    if (site_) {
      site_->Detach();
      site_.Reset();
    }
  }

  ComPtr<IOleInPlaceObject> InPlaceObject() const {
    ComPtr<IOleInPlaceObject> in_place;
    if (object_) {
      object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(in_place.ReleaseAndGetAddressOf()));
    }
    return in_place;
  }

  void Place() {
    form_.PlaceWindow(host_, control_);
    if (!object_) return;
    ComPtr<IOleInPlaceObject> in_place = InPlaceObject();
    if (!in_place) return;
    RECT area{};
    GetClientRect(host_, &area);
    in_place->SetObjectRects(&area, &area);
  }

  // The page's own keys (its accelerators, Tab between its links, keys
  // typed into its fields) go to the active browser first.
  bool TranslateAccelerator(MSG* message) const {
    if (!object_ || message == nullptr) return false;
    ComPtr<IOleInPlaceActiveObject> active;
    if (FAILED(object_->QueryInterface(IID_IOleInPlaceActiveObject,
                                       reinterpret_cast<void**>(active.ReleaseAndGetAddressOf())))) {
      return false;
    }
    return active->TranslateAccelerator(message) == S_OK;
  }

  WebBrowser& control_;
  ControlHost& form_;
  HWND host_ = nullptr;  // null once gone
  ComPtr<BrowserSite> site_;
  ComPtr<IOleObject> object_;
  ComPtr<IWebBrowser2> browser_;
  ComPtr<BrowserEvents> events_;
  win::ComConnection connection_;
};

}  // namespace

std::unique_ptr<ControlPeer> CreateWebBrowserPeer(WebBrowser& control, ControlHost& form) {
  return std::make_unique<BrowserPeer>(control, form);
}

}  // namespace quellix::ui::win32
