#include "adapters/win/browser_com.h"

#include <exdisp.h>
#include <exdispid.h>

#include <new>
#include <utility>

#include "platform/win/com_connection.h"
#include "platform/win/dispatch_sink.h"
#include "platform/win/scoped_com.h"
#include "platform/win/wide_string.h"

namespace quellix::win {

using Microsoft::WRL::ComPtr;

namespace {

// DWebBrowserEvents2. Only StatusTextChange and NewWindow2 are decoded; every
// other event, and every argument of these two but Cancel, is left as it came.
class BrowserEventsSink final : public DispatchSink {
 public:
  explicit BrowserEventsSink(std::weak_ptr<BrowserEvents> listener)
      : DispatchSink(DIID_DWebBrowserEvents2), listener_(std::move(listener)) {}

  // Once its subscription ends, the sink passes nothing on, even an event
  // that a browser raised to a list of sinks taken before the end.
  void Detach() { listener_.reset(); }

 private:
  void OnEvent(DISPID id, const DISPPARAMS& params) override {
    switch (id) {
      case DISPID_STATUSTEXTCHANGE: {  // (Text)
        const auto text = StringArgument(params, 0);
        if (!text) return;
        if (const auto listener = listener_.lock()) listener->OnStatusTextChange(*text);
        return;
      }
      case DISPID_NEWWINDOW2: {  // (ppDisp, Cancel); ppDisp is never touched
        VARIANT_BOOL* const cancel = BoolOutArgument(params, 1);
        if (!cancel) return;
        const auto listener = listener_.lock();
        if (!listener) return;
        const bool passed = *cancel != VARIANT_FALSE;
        bool answer = passed;
        listener->OnNewWindow2(answer);
        // Written only when changed, so an untouched flag keeps the browser's own value.
        if (answer != passed) *cancel = answer ? VARIANT_TRUE : VARIANT_FALSE;
        return;
      }
      default:
        return;
    }
  }

  std::weak_ptr<BrowserEvents> listener_;
};

// DShellWindowsEvents.
class ShellWindowsEventsSink final : public DispatchSink {
 public:
  explicit ShellWindowsEventsSink(std::weak_ptr<ShellWindowsEvents> listener)
      : DispatchSink(DIID_DShellWindowsEvents), listener_(std::move(listener)) {}

  void Detach() { listener_.reset(); }

 private:
  void OnEvent(DISPID id, const DISPPARAMS& params) override {
    if (id != DISPID_WINDOWREGISTERED && id != DISPID_WINDOWREVOKED) return;
    // (lCookie); the cookie is passed on but no one relies on it.
    const long cookie = LongArgument(params, 0).value_or(0);
    const auto listener = listener_.lock();
    if (!listener) return;
    if (id == DISPID_WINDOWREGISTERED) {
      listener->OnWindowRegistered(cookie);
    } else {
      listener->OnWindowRevoked(cookie);
    }
  }

  std::weak_ptr<ShellWindowsEvents> listener_;
};

template <typename Sink, typename Listener>
ComPtr<Sink> MakeSink(std::weak_ptr<Listener> listener) {
  return AdoptComPtr(new (std::nothrow) Sink(std::move(listener)));
}

// A sink connected to one source; ending it detaches the sink, then unadvises.
template <typename Sink>
class SinkSubscription final : public Subscription {
 public:
  SinkSubscription(ComPtr<Sink> sink, ComConnection connection)
      : sink_(std::move(sink)), connection_(std::move(connection)) {}
  ~SinkSubscription() override { sink_->Detach(); }

 private:
  ComPtr<Sink> sink_;
  ComConnection connection_;
};

template <typename Sink, typename Listener>
std::unique_ptr<Subscription> Subscribe(IUnknown* source, REFIID events, std::weak_ptr<Listener> listener) {
  try {
    ComPtr<Sink> sink = MakeSink<Sink>(std::move(listener));
    if (!sink) return nullptr;
    ComConnection connection = ComConnection::Connect(source, events, sink.Get());
    if (!connection.Connected()) return nullptr;
    return std::make_unique<SinkSubscription<Sink>>(std::move(sink), std::move(connection));
  } catch (...) {
    return nullptr;
  }
}

class ComBrowserWindow final : public BrowserWindow {
 public:
  explicit ComBrowserWindow(ComPtr<IWebBrowser2> browser) : browser_(std::move(browser)) {}

  std::optional<std::string> LocationURL() override {
    try {
      ScopedBstr url;
      if (FAILED(browser_->get_LocationURL(url.Receive()))) return std::nullopt;
      return Utf8(url.View());
    } catch (...) {
      return std::nullopt;
    }
  }

  bool Quit() override { return SUCCEEDED(browser_->Quit()); }

  std::unique_ptr<Subscription> Subscribe(std::weak_ptr<BrowserEvents> listener) override {
    return win::Subscribe<BrowserEventsSink>(browser_.Get(), DIID_DWebBrowserEvents2, std::move(listener));
  }

 private:
  ComPtr<IWebBrowser2> browser_;
};

class ComShellWindowList final : public ShellWindowList {
 public:
  explicit ComShellWindowList(ComPtr<IShellWindows> list) : list_(std::move(list)) {}

  Enumeration Windows() override {
    Enumeration result;
    try {
      LONG count = 0;
      if (FAILED(list_->get_Count(&count))) {
        result.complete = false;
        return result;
      }
      for (LONG i = 0; i < count; ++i) {
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = i;
        ComPtr<IDispatch> entry;
        if (FAILED(list_->Item(index, &entry))) {
          result.complete = false;
          return result;
        }
        ComPtr<IWebBrowser2> browser;
        if (!entry || FAILED(entry.As(&browser))) {
          result.windows.push_back(nullptr);  // not a browser: the caller stops here
          return result;
        }
        result.windows.push_back(std::make_shared<ComBrowserWindow>(std::move(browser)));
      }
    } catch (...) {
      result.complete = false;
    }
    return result;
  }

  std::unique_ptr<Subscription> Subscribe(std::weak_ptr<ShellWindowsEvents> listener) override {
    return win::Subscribe<ShellWindowsEventsSink>(list_.Get(), DIID_DShellWindowsEvents, std::move(listener));
  }

 private:
  ComPtr<IShellWindows> list_;
};

}  // namespace

std::shared_ptr<ShellWindowList> ComShellWindowsFactory::Create() {
  try {
    ComPtr<IShellWindows> list;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&list))) || !list) {
      return nullptr;
    }
    return std::make_shared<ComShellWindowList>(std::move(list));
  } catch (...) {
    return nullptr;
  }
}

ComPtr<IDispatch> MakeBrowserEventsSink(std::weak_ptr<BrowserEvents> listener) {
  return MakeSink<BrowserEventsSink>(std::move(listener));
}

ComPtr<IDispatch> MakeShellWindowsEventsSink(std::weak_ptr<ShellWindowsEvents> listener) {
  return MakeSink<ShellWindowsEventsSink>(std::move(listener));
}

}  // namespace quellix::win
