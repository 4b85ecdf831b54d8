// The scripted browser side as an in-process COM server. A test registers
// this DLL in its Wine prefix under the real CLSID_ShellWindows, so the
// program finds it through CoCreateInstance exactly as it finds the shell on
// Windows. It serves:
// - ShellWindows objects (IShellWindows, DShellWindowsEvents) that all list
//   the same scripted windows and all raise WindowRegistered and WindowRevoked;
// - browser windows (IWebBrowser2 as far as the program uses it: LocationURL
//   and Quit) with a real connection point for DWebBrowserEvents2;
// - a control window through which a test, in this process or another, opens
//   and closes windows, raises events and reads what the program answered
//   (control_protocol.h).
//
// Everything runs on the thread that created the control window, the
// program's single-threaded apartment, as the real browser's events do.
#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/win/scoped_com.h"
#include "tests/scripted_com_browser/control_protocol.h"

namespace {

using Microsoft::WRL::ComPtr;
using quellix::win::AdoptComPtr;
using quellix::win::ScopedBstr;
namespace sc = quellix::testing::scripted_com;

HMODULE this_module = nullptr;
constexpr UINT kCloseLater = WM_APP + 1;  // wParam: the id of a window that was asked to quit

class ScriptedWebBrowser;
class ScriptedShellWindows;

// What every scripted object shares: the open windows, the live lists, the
// counters a test reads and the failures it switches on.
struct World {
  std::vector<ComPtr<ScriptedWebBrowser>> windows;  // open windows, in list order
  std::vector<ScriptedShellWindows*> shells;        // live lists; each removes itself when it ends
  std::int32_t next_id = 1;
  long live_windows = 0;
  long shells_created = 0;
  long shell_advises = 0;
  long stray_unadvises = 0;
  long over_releases = 0;
  bool fail_create = false;
  bool fail_count = false;
  bool fail_item = false;
  bool fail_shell_advise = false;
  sc::Stage raise_during{};  // 0: none
  HWND control = nullptr;
  // Every sink offered to Advise, with one reference of the world's own, so
  // that its count shows whether anything else still holds it.
  std::vector<IUnknown*> offered_sinks;
};

// Never destroyed: objects that the program still holds at its exit may end after the DLL's statics.
World& TheWorld() {
  static World* const world = new World;
  return *world;
}

void RaiseShellEvent(DISPID id, long cookie);

void KeepOfferedSink(IUnknown* sink) {
  ComPtr<IUnknown> identity;
  if (FAILED(sink->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf())))) return;
  std::vector<IUnknown*>& kept = TheWorld().offered_sinks;
  if (std::find(kept.begin(), kept.end(), identity.Get()) != kept.end()) return;
  kept.push_back(identity.Detach());
}

// Sinks held by anything besides the world: AddRef and Release answer the
// count that is left, the world's own reference included.
long HeldSinks() {
  long held = 0;
  for (IUnknown* sink : TheWorld().offered_sinks) {
    sink->AddRef();
    if (sink->Release() > 1) ++held;
  }
  return held;
}

void ReleaseOfferedSinks() {
  std::vector<IUnknown*> kept = std::move(TheWorld().offered_sinks);
  TheWorld().offered_sinks.clear();
  for (IUnknown* sink : kept) sink->Release();
}

// A window event that comes in during a call, as one does while a call to
// another process waits for its answer.
void RaiseIfDuring(sc::Stage stage) {
  World& world = TheWorld();
  if (world.raise_during != stage) return;
  world.raise_during = sc::Stage{};
  RaiseShellEvent(DISPID_WINDOWREGISTERED, 0);
}

#define QUELLIX_NOT_USED(name, ...) \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { return E_NOTIMPL; }

// One outgoing interface of a scripted object, living inside it: its
// references are its owner's, so a client that keeps the point keeps the
// object, as with the real browser.
class ConnectionPoint final : public IConnectionPoint {
 public:
  ConnectionPoint(IUnknown& owner, IConnectionPointContainer& container, const IID& events, const bool& fail_advise,
                  long* advise_count)
      : owner_(owner), container_(container), events_(events), fail_advise_(fail_advise),
        advise_count_(advise_count) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
      *object = static_cast<IConnectionPoint*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    if (!iid) return E_POINTER;
    *iid = events_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override {
    if (!container) return E_POINTER;
    *container = &container_;
    container_.AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    KeepOfferedSink(sink);
    if (fail_advise_) return CONNECT_E_ADVISELIMIT;
    // As the browser does: the sink must answer the events' own interface.
    ComPtr<IDispatch> dispatch;
    if (FAILED(sink->QueryInterface(events_, reinterpret_cast<void**>(dispatch.GetAddressOf()))) || !dispatch) {
      return CONNECT_E_CANNOTCONNECT;
    }
    connections_.push_back({next_cookie_, std::move(dispatch)});
    *cookie = next_cookie_++;
    if (advise_count_) ++*advise_count_;
    if (events_ == DIID_DWebBrowserEvents2) RaiseIfDuring(sc::Stage::kWindowAdvise);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    const auto found = std::find_if(connections_.begin(), connections_.end(),
                                    [cookie](const Connection& c) { return c.cookie == cookie; });
    if (found == connections_.end()) {
      ++TheWorld().stray_unadvises;
      return CONNECT_E_NOCONNECTION;
    }
    // Released after the list is consistent again: the sink's end may call back.
    ComPtr<IDispatch> sink = std::move(found->sink);
    connections_.erase(found);
    if (events_ == DIID_DWebBrowserEvents2) RaiseIfDuring(sc::Stage::kWindowUnadvise);
    return S_OK;
  }
  QUELLIX_NOT_USED(EnumConnections, IEnumConnections**)

  long Connections() const { return static_cast<long>(connections_.size()); }

  // Raises one event to the sinks connected when it starts, each held for the
  // length of its call; sinks may unadvise, or the object may leave the
  // list, from inside the call.
  void Raise(DISPID id, DISPPARAMS& params) {
    std::vector<ComPtr<IDispatch>> sinks;
    for (const auto& connection : connections_) sinks.push_back(connection.sink);
    for (const auto& sink : sinks) {
      sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }
  }

 private:
  struct Connection {
    DWORD cookie;
    ComPtr<IDispatch> sink;
  };
  IUnknown& owner_;
  IConnectionPointContainer& container_;
  const IID events_;
  const bool& fail_advise_;
  long* const advise_count_;
  std::vector<Connection> connections_;
  DWORD next_cookie_ = 1;
};

class ScriptedWebBrowser final : public IWebBrowser2, public IConnectionPointContainer {
 public:
  ScriptedWebBrowser(std::int32_t id, std::wstring url) : id_(id), url_(std::move(url)) { ++TheWorld().live_windows; }
  ~ScriptedWebBrowser() { --TheWorld().live_windows; }

  std::int32_t Id() const { return id_; }
  long References() const { return references_; }
  long Connections() const { return events_.Connections(); }
  long QuitRequests() const { return quit_requests_; }
  void Navigate(std::wstring url) { url_ = std::move(url); }
  void SetOpen(bool open) { open_ = open; }
  bool fail_advise = false;
  bool fail_location = false;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IWebBrowser || riid == IID_IWebBrowserApp ||
        riid == IID_IWebBrowser2) {
      *object = static_cast<IWebBrowser2*>(this);
    } else if (riid == IID_IConnectionPointContainer) {
      *object = static_cast<IConnectionPointContainer*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    if (--references_ == 0) {
      if (open_) {
        // The list still holds the window: someone released a reference it did not own.
        ++TheWorld().over_releases;
        references_ = 1;
        return 0;
      }
      delete this;
      return 0;
    }
    return static_cast<ULONG>(references_);
  }

  // IConnectionPointContainer
  QUELLIX_NOT_USED(EnumConnectionPoints, IEnumConnectionPoints**)
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (riid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
    *point = &events_;
    events_.AddRef();
    return S_OK;
  }

  // IDispatch: the program calls the browser through its vtable.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  QUELLIX_NOT_USED(GetTypeInfo, UINT, LCID, ITypeInfo**)
  QUELLIX_NOT_USED(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)
  QUELLIX_NOT_USED(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)

  // What the program uses.
  HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* url) override {
    if (!url) return E_POINTER;
    *url = nullptr;
    if (fail_location) return E_FAIL;
    *url = SysAllocStringLen(url_.data(), static_cast<UINT>(url_.size()));
    return *url ? S_OK : E_OUTOFMEMORY;
  }
  // As the browser does, the window closes after the call has returned.
  HRESULT STDMETHODCALLTYPE Quit() override {
    ++quit_requests_;
    PostMessageW(TheWorld().control, kCloseLater, static_cast<WPARAM>(id_), 0);
    return S_OK;
  }

  // The rest of IWebBrowser, IWebBrowserApp and IWebBrowser2.
  QUELLIX_NOT_USED(GoBack)
  QUELLIX_NOT_USED(GoForward)
  QUELLIX_NOT_USED(GoHome)
  QUELLIX_NOT_USED(GoSearch)
  QUELLIX_NOT_USED(Navigate, BSTR, VARIANT*, VARIANT*, VARIANT*, VARIANT*)
  QUELLIX_NOT_USED(Refresh)
  QUELLIX_NOT_USED(Refresh2, VARIANT*)
  QUELLIX_NOT_USED(Stop)
  QUELLIX_NOT_USED(get_Application, IDispatch**)
  QUELLIX_NOT_USED(get_Parent, IDispatch**)
  QUELLIX_NOT_USED(get_Container, IDispatch**)
  QUELLIX_NOT_USED(get_Document, IDispatch**)
  QUELLIX_NOT_USED(get_TopLevelContainer, VARIANT_BOOL*)
  QUELLIX_NOT_USED(get_Type, BSTR*)
  QUELLIX_NOT_USED(get_Left, LONG*)
  QUELLIX_NOT_USED(put_Left, LONG)
  QUELLIX_NOT_USED(get_Top, LONG*)
  QUELLIX_NOT_USED(put_Top, LONG)
  QUELLIX_NOT_USED(get_Width, LONG*)
  QUELLIX_NOT_USED(put_Width, LONG)
  QUELLIX_NOT_USED(get_Height, LONG*)
  QUELLIX_NOT_USED(put_Height, LONG)
  QUELLIX_NOT_USED(get_LocationName, BSTR*)
  QUELLIX_NOT_USED(get_Busy, VARIANT_BOOL*)
  QUELLIX_NOT_USED(ClientToWindow, int*, int*)
  QUELLIX_NOT_USED(PutProperty, BSTR, VARIANT)
  QUELLIX_NOT_USED(GetProperty, BSTR, VARIANT*)
  QUELLIX_NOT_USED(get_Name, BSTR*)
  QUELLIX_NOT_USED(get_HWND, SHANDLE_PTR*)
  QUELLIX_NOT_USED(get_FullName, BSTR*)
  QUELLIX_NOT_USED(get_Path, BSTR*)
  QUELLIX_NOT_USED(get_Visible, VARIANT_BOOL*)
  QUELLIX_NOT_USED(put_Visible, VARIANT_BOOL)
  QUELLIX_NOT_USED(get_StatusBar, VARIANT_BOOL*)
  QUELLIX_NOT_USED(put_StatusBar, VARIANT_BOOL)
  QUELLIX_NOT_USED(get_StatusText, BSTR*)
  QUELLIX_NOT_USED(put_StatusText, BSTR)
  QUELLIX_NOT_USED(get_ToolBar, int*)
  QUELLIX_NOT_USED(put_ToolBar, int)
  QUELLIX_NOT_USED(get_MenuBar, VARIANT_BOOL*)
  QUELLIX_NOT_USED(put_MenuBar, VARIANT_BOOL)
  QUELLIX_NOT_USED(get_FullScreen, VARIANT_BOOL*)
  QUELLIX_NOT_USED(put_FullScreen, VARIANT_BOOL)
  QUELLIX_NOT_USED(Navigate2, VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*)
  QUELLIX_NOT_USED(QueryStatusWB, OLECMDID, OLECMDF*)
  QUELLIX_NOT_USED(ExecWB, OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*)
  QUELLIX_NOT_USED(ShowBrowserBar, VARIANT*, VARIANT*, VARIANT*)
  QUELLIX_NOT_USED(get_ReadyState, READYSTATE*)
  QUELLIX_NOT_USED(get_Offline, VARIANT_BOOL*)
  QUELLIX_NOT_USED(put_Offline, VARIANT_BOOL)
  QUELLIX_NOT_USED(get_Silent, VARIANT_BOOL*)
  QUELLIX_NOT_USED(put_Silent, VARIANT_BOOL)
  QUELLIX_NOT_USED(get_RegisterAsBrowser, VARIANT_BOOL*)
  QUELLIX_NOT_USED(put_RegisterAsBrowser, VARIANT_BOOL)
  QUELLIX_NOT_USED(get_RegisterAsDropTarget, VARIANT_BOOL*)
  QUELLIX_NOT_USED(put_RegisterAsDropTarget, VARIANT_BOOL)
  QUELLIX_NOT_USED(get_TheaterMode, VARIANT_BOOL*)
  QUELLIX_NOT_USED(put_TheaterMode, VARIANT_BOOL)
  QUELLIX_NOT_USED(get_AddressBar, VARIANT_BOOL*)
  QUELLIX_NOT_USED(put_AddressBar, VARIANT_BOOL)
  QUELLIX_NOT_USED(get_Resizable, VARIANT_BOOL*)
  QUELLIX_NOT_USED(put_Resizable, VARIANT_BOOL)

  // Events, with their arguments as the browser passes them: last argument
  // first. The caller holds the window while they run, since it may be
  // closed from inside one.
  void RaiseStatusTextChange(const std::wstring& text) {
    quellix::win::ScopedVariant argument;
    argument.SetBstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    DISPPARAMS params{argument.Ptr(), nullptr, 1, 0};
    events_.Raise(DISPID_STATUSTEXTCHANGE, params);
  }

  LRESULT RaiseNewWindow2(VARIANT_BOOL cancel_in) {
    VARIANT_BOOL cancel = cancel_in;
    IDispatch* new_window = nullptr;
    VARIANT arguments[2];
    arguments[0].vt = VT_BOOL | VT_BYREF;  // Cancel
    arguments[0].pboolVal = &cancel;
    arguments[1].vt = VT_DISPATCH | VT_BYREF;  // ppDisp
    arguments[1].ppdispVal = &new_window;
    DISPPARAMS params{arguments, nullptr, 2, 0};
    events_.Raise(DISPID_NEWWINDOW2, params);
    const bool touched = new_window != nullptr || arguments[1].vt != (VT_DISPATCH | VT_BYREF) ||
                         arguments[1].ppdispVal != &new_window || arguments[0].vt != (VT_BOOL | VT_BYREF) ||
                         arguments[0].pboolVal != &cancel;
    if (new_window) new_window->Release();  // a window offered by a sink is the browser's to release
    return static_cast<LRESULT>(static_cast<std::uint16_t>(cancel)) | (touched ? sc::kPpDispTouched : 0);
  }

  // Any other event, with the kinds of arguments such events carry (a Cancel
  // flag by reference, a VARIANT by reference, a BSTR, an object slot); true
  // when every one came back as it was passed.
  bool RaiseOtherEvent(DISPID id) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT flags;
    VariantInit(&flags);
    flags.vt = VT_BOOL;
    flags.boolVal = VARIANT_FALSE;
    ScopedBstr url(L"http://other.example/");
    IDispatch* object = nullptr;
    VARIANT arguments[4];
    arguments[0].vt = VT_BOOL | VT_BYREF;
    arguments[0].pboolVal = &cancel;
    arguments[1].vt = VT_VARIANT | VT_BYREF;
    arguments[1].pvarVal = &flags;
    arguments[2].vt = VT_BSTR;
    arguments[2].bstrVal = url.Get();
    arguments[3].vt = VT_DISPATCH | VT_BYREF;
    arguments[3].ppdispVal = &object;
    DISPPARAMS params{arguments, nullptr, 4, 0};
    events_.Raise(id, params);
    return cancel == VARIANT_FALSE && flags.vt == VT_BOOL && flags.boolVal == VARIANT_FALSE &&
           arguments[0].vt == (VT_BOOL | VT_BYREF) && arguments[1].vt == (VT_VARIANT | VT_BYREF) &&
           arguments[2].vt == VT_BSTR && arguments[2].bstrVal == url.Get() &&
           url.View() == L"http://other.example/" && arguments[3].vt == (VT_DISPATCH | VT_BYREF) &&
           object == nullptr;
  }

 private:
  const std::int32_t id_;
  std::wstring url_;
  long references_ = 1;
  bool open_ = false;
  long quit_requests_ = 0;
  ConnectionPoint events_{*static_cast<IWebBrowser2*>(this), *this, DIID_DWebBrowserEvents2, fail_advise, nullptr};
};

class ScriptedShellWindows final : public IShellWindows, public IConnectionPointContainer {
 public:
  ScriptedShellWindows() {
    TheWorld().shells.push_back(this);
    ++TheWorld().shells_created;
  }
  ~ScriptedShellWindows() { std::erase(TheWorld().shells, this); }

  long Connections() const { return events_.Connections(); }
  void Raise(DISPID id, DISPPARAMS& params) { events_.Raise(id, params); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IShellWindows) {
      *object = static_cast<IShellWindows*>(this);
    } else if (riid == IID_IConnectionPointContainer) {
      *object = static_cast<IConnectionPointContainer*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  QUELLIX_NOT_USED(EnumConnectionPoints, IEnumConnectionPoints**)
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (riid != DIID_DShellWindowsEvents) return CONNECT_E_NOCONNECTION;
    *point = &events_;
    events_.AddRef();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  QUELLIX_NOT_USED(GetTypeInfo, UINT, LCID, ITypeInfo**)
  QUELLIX_NOT_USED(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)
  QUELLIX_NOT_USED(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)

  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    if (TheWorld().fail_count) return E_FAIL;
    *count = static_cast<LONG>(TheWorld().windows.size());
    return S_OK;
  }
  // As the shell does: an index past the end gives S_FALSE and no window.
  HRESULT STDMETHODCALLTYPE Item(VARIANT index, IDispatch** window) override {
    if (!window) return E_POINTER;
    *window = nullptr;
    if (TheWorld().fail_item) return E_FAIL;
    VARIANT position;
    VariantInit(&position);
    if (FAILED(VariantChangeType(&position, &index, 0, VT_I4))) return E_INVALIDARG;
    const auto& windows = TheWorld().windows;
    if (position.lVal < 0 || static_cast<std::size_t>(position.lVal) >= windows.size()) return S_FALSE;
    // Held: the event raised meanwhile may close windows.
    const ComPtr<ScriptedWebBrowser> found = windows[static_cast<std::size_t>(position.lVal)];
    RaiseIfDuring(sc::Stage::kItem);
    return found->QueryInterface(IID_IDispatch,
                                                                             reinterpret_cast<void**>(window));
  }
  QUELLIX_NOT_USED(_NewEnum, IUnknown**)
  QUELLIX_NOT_USED(Register, IDispatch*, LONG, int, LONG*)
  QUELLIX_NOT_USED(RegisterPending, LONG, VARIANT*, VARIANT*, int, LONG*)
  QUELLIX_NOT_USED(Revoke, LONG)
  QUELLIX_NOT_USED(OnNavigate, LONG, VARIANT*)
  QUELLIX_NOT_USED(OnActivated, LONG, VARIANT_BOOL)
  QUELLIX_NOT_USED(FindWindowSW, VARIANT*, VARIANT*, int, LONG*, int, IDispatch**)
  QUELLIX_NOT_USED(OnCreated, LONG, IUnknown*)
  QUELLIX_NOT_USED(ProcessAttachDetach, VARIANT_BOOL)

 private:
  long references_ = 1;
  ConnectionPoint events_{*static_cast<IShellWindows*>(this), *this, DIID_DShellWindowsEvents,
                          TheWorld().fail_shell_advise, &TheWorld().shell_advises};
};

// Raises a window-list event on every live list, each held while it runs.
void RaiseShellEvent(DISPID id, long cookie) {
  std::vector<ComPtr<ScriptedShellWindows>> shells(TheWorld().shells.begin(), TheWorld().shells.end());
  for (const auto& shell : shells) {
    VARIANT argument;
    argument.vt = VT_I4;
    argument.lVal = cookie;
    DISPPARAMS params{&argument, nullptr, 1, 0};
    shell->Raise(id, params);
  }
}

ScriptedWebBrowser* FindWindowById(std::int32_t id) {
  for (const auto& window : TheWorld().windows) {
    if (window->Id() == id) return window.Get();
  }
  return nullptr;
}

LRESULT CloseWindowById(std::int32_t id, bool announce) {
  auto& windows = TheWorld().windows;
  const auto found = std::find_if(windows.begin(), windows.end(), [id](const auto& w) { return w->Id() == id; });
  if (found == windows.end()) return sc::kNoSuchWindow;
  ComPtr<ScriptedWebBrowser> closing = std::move(*found);
  windows.erase(found);
  closing->SetOpen(false);
  if (announce) RaiseShellEvent(DISPID_WINDOWREVOKED, id);
  return 1;
}

long Query(sc::Query what, std::int32_t id) {
  const World& world = TheWorld();
  switch (what) {
    case sc::Query::kOpenWindows:
      return static_cast<long>(world.windows.size());
    case sc::Query::kLiveShells:
      return static_cast<long>(world.shells.size());
    case sc::Query::kShellsCreated:
      return world.shells_created;
    case sc::Query::kShellConnections: {
      long connections = 0;
      for (const auto* shell : world.shells) connections += shell->Connections();
      return connections;
    }
    case sc::Query::kShellAdvises:
      return world.shell_advises;
    case sc::Query::kStrayUnadvises:
      return world.stray_unadvises;
    case sc::Query::kOverReleases:
      return world.over_releases;
    case sc::Query::kLiveWindows:
      return world.live_windows;
    case sc::Query::kHeldSinks:
      return HeldSinks();
    case sc::Query::kHeldReferences: {
      long held = 0;
      for (const auto& window : world.windows) held += window->References() - 1;
      return held;
    }
    case sc::Query::kReferences:
    case sc::Query::kConnections:
    case sc::Query::kQuitRequests: {
      const ScriptedWebBrowser* window = FindWindowById(id);
      if (!window) return sc::kNoSuchWindow;
      if (what == sc::Query::kReferences) return window->References();
      if (what == sc::Query::kConnections) return window->Connections();
      return window->QuitRequests();
    }
  }
  return sc::kBadRequest;
}

LRESULT SetFailure(sc::Failure failure, std::int32_t id, bool on) {
  World& world = TheWorld();
  switch (failure) {
    case sc::Failure::kCreate:
      world.fail_create = on;
      return 1;
    case sc::Failure::kCount:
      world.fail_count = on;
      return 1;
    case sc::Failure::kItem:
      world.fail_item = on;
      return 1;
    case sc::Failure::kShellAdvise:
      world.fail_shell_advise = on;
      return 1;
    case sc::Failure::kAdvise:
    case sc::Failure::kLocationURL: {
      ScriptedWebBrowser* window = FindWindowById(id);
      if (!window) return sc::kNoSuchWindow;
      (failure == sc::Failure::kAdvise ? window->fail_advise : window->fail_location) = on;
      return 1;
    }
  }
  return sc::kBadRequest;
}

LRESULT Run(sc::Command command, const sc::Request& request, const std::wstring& text) {
  World& world = TheWorld();
  if (command == sc::Command::kReset) {
    while (!world.windows.empty()) CloseWindowById(world.windows.front()->Id(), false);
    world.shells_created = world.shell_advises = world.stray_unadvises = world.over_releases = 0;
    world.fail_create = world.fail_count = world.fail_item = world.fail_shell_advise = false;
    world.raise_during = sc::Stage{};
    ReleaseOfferedSinks();
    return 1;
  }
  if (command == sc::Command::kOpenWindow) {
    const ComPtr<ScriptedWebBrowser> window = AdoptComPtr(new ScriptedWebBrowser(world.next_id++, text));
    window->SetOpen(true);
    world.windows.push_back(window);
    if (request.number) RaiseShellEvent(DISPID_WINDOWREGISTERED, window->Id());
    return window->Id();
  }
  if (command == sc::Command::kCloseWindow) return CloseWindowById(request.window, request.number != 0);
  if (command == sc::Command::kWindowRegistered || command == sc::Command::kWindowRevoked) {
    RaiseShellEvent(command == sc::Command::kWindowRegistered ? DISPID_WINDOWREGISTERED : DISPID_WINDOWREVOKED,
                    request.window);
    return 1;
  }
  if (command == sc::Command::kQuery) return Query(static_cast<sc::Query>(request.number), request.window);
  if (command == sc::Command::kRaiseDuringNextCall) {
    world.raise_during = static_cast<sc::Stage>(request.number);
    return 1;
  }
  if (command == sc::Command::kSetFailure) {
    return SetFailure(static_cast<sc::Failure>(request.number), request.window, text == L"1");
  }

  // Commands on one window, held for the length of the command.
  ComPtr<ScriptedWebBrowser> window(FindWindowById(request.window));
  if (!window) return sc::kNoSuchWindow;
  switch (command) {
    case sc::Command::kNavigate:
      window->Navigate(text);
      return 1;
    case sc::Command::kStatusTextChange:
      window->RaiseStatusTextChange(text);
      return 1;
    case sc::Command::kNewWindow2:
      return window->RaiseNewWindow2(static_cast<VARIANT_BOOL>(request.number));
    case sc::Command::kOtherEvent:
      return window->RaiseOtherEvent(request.number) ? 1 : 0;
    default:
      return sc::kBadRequest;
  }
}

LRESULT CALLBACK ControlWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kCloseLater) {
    CloseWindowById(static_cast<std::int32_t>(wparam), true);
    return 0;
  }
  if (message != WM_COPYDATA) return DefWindowProcW(window, message, wparam, lparam);
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
  if (!data || !data->lpData || data->cbData < sizeof(sc::Request)) return sc::kBadRequest;
  try {
    sc::Request request;
    std::memcpy(&request, data->lpData, sizeof request);
    std::wstring text((data->cbData - sizeof request) / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), static_cast<const char*>(data->lpData) + sizeof request, text.size() * sizeof(wchar_t));
    return Run(static_cast<sc::Command>(data->dwData), request, text);
  } catch (...) {
    return sc::kBadRequest;
  }
}

// Made on the first thread that asks, which is the program's user-interface
// thread. The module is pinned then: the window procedure and the scripted
// windows live in it, so COM must never unload it.
HWND EnsureControlWindow() {
  World& world = TheWorld();
  if (world.control && IsWindow(world.control)) return world.control;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = ControlWindowProc;
  window_class.hInstance = this_module;
  window_class.lpszClassName = sc::kControlWindowClass;
  RegisterClassExW(&window_class);  // fails harmlessly when the class exists
  world.control = CreateWindowExW(0, sc::kControlWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  this_module, nullptr);
  HMODULE pinned = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&EnsureControlWindow), &pinned);
  return world.control;
}

class ShellWindowsClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // One static factory for the life of the process.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (TheWorld().fail_create) return E_OUTOFMEMORY;
    const ComPtr<ScriptedShellWindows> shell = AdoptComPtr(new (std::nothrow) ScriptedShellWindows);
    if (!shell) return E_OUTOFMEMORY;
    RaiseIfDuring(sc::Stage::kShellCreate);
    return shell->QueryInterface(riid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

ShellWindowsClassFactory class_factory;

// The registration this DLL replaces while a test runs: Wine's own server for
// CLSID_ShellWindows, kept beside it and put back by DllUnregisterServer.
constexpr wchar_t kServerKey[] = L"Software\\Classes\\CLSID\\{9BA05972-F6A8-11CF-A442-00A0C90A8F39}\\InprocServer32";
constexpr wchar_t kSavedServer[] = L"QuellixSavedServer";
constexpr wchar_t kSavedThreadingModel[] = L"QuellixSavedThreadingModel";

std::optional<std::wstring> ReadString(HKEY key, const wchar_t* name) {
  DWORD bytes = 0;
  if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS) return std::nullopt;
  std::wstring value(bytes / sizeof(wchar_t), L'\0');
  if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, value.data(), &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.resize(wcsnlen(value.c_str(), value.size()));
  return value;
}

bool WriteString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// Puts `saved` back as `name`, or removes `name` when nothing was there ("").
void Restore(HKEY key, const wchar_t* name, const wchar_t* saved_name) {
  const std::wstring saved = ReadString(key, saved_name).value_or(L"");
  if (saved.empty()) {
    RegDeleteValueW(key, name);
  } else {
    WriteString(key, name, saved);
  }
  RegDeleteValueW(key, saved_name);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    this_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_ShellWindows) return CLASS_E_CLASSNOTAVAILABLE;
  EnsureControlWindow();
  return class_factory.QueryInterface(riid, object);
}

// Never: see EnsureControlWindow.
STDAPI DllCanUnloadNow() { return S_FALSE; }

// Registers this DLL as the in-process server of CLSID_ShellWindows (in Wine,
// COM reads the machine's classes) and keeps the registration it replaces.
STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(this_module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kServerKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return SELFREG_E_CLASS;
  }
  bool ok = true;
  if (!ReadString(key, kSavedServer)) {  // not registered already: keep what is there
    ok = WriteString(key, kSavedServer, ReadString(key, nullptr).value_or(L"")) &&
         WriteString(key, kSavedThreadingModel, ReadString(key, L"ThreadingModel").value_or(L""));
  }
  ok = ok && WriteString(key, nullptr, path) && WriteString(key, L"ThreadingModel", L"Apartment");
  RegCloseKey(key);
  return ok ? S_OK : SELFREG_E_CLASS;
}

// Puts back the registration that DllRegisterServer replaced.
STDAPI DllUnregisterServer() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServerKey, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) return S_OK;
  if (ReadString(key, kSavedServer)) {
    Restore(key, nullptr, kSavedServer);
    Restore(key, L"ThreadingModel", kSavedThreadingModel);
  }
  RegCloseKey(key);
  return S_OK;
}

// The control window of this process, made on the calling thread if there is
// none yet: a test that drives the scripted side in its own process calls it
// before the program creates its first ShellWindows.
HWND WINAPI ScriptedComBrowser_ControlWindow() { return EnsureControlWindow(); }

}  // extern "C"
