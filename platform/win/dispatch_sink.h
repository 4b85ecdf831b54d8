// The receiving end of one dispinterface's events (DWebBrowserEvents2,
// DShellWindowsEvents): an IDispatch whose Invoke decodes the arguments and
// hands them to portable code.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <optional>
#include <string>

namespace quellix::win {

class DispatchSink : public IDispatch {
 public:
  DispatchSink(const DispatchSink&) = delete;
  DispatchSink& operator=(const DispatchSink&) = delete;

  // IUnknown: IUnknown, IDispatch and the events' own interface identifier.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch: no type information; events arrive by dispatch identifier.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  // Keeps the sink alive until it returns (a nested message loop in the
  // handler may end the connection that holds it) and lets nothing thrown
  // below it out. Every event is answered S_OK: a browser has no use for a
  // sink's failure.
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) final;

 protected:
  explicit DispatchSink(const IID& events);
  virtual ~DispatchSink();
  virtual void OnEvent(DISPID id, const DISPPARAMS& params) = 0;

 private:
  const IID events_;
  LONG references_ = 1;
};

// Arguments of an event, by their position in the event's declaration
// (0 = first); DISPPARAMS holds them last to first. An argument passed as a
// VARIANT by reference (VT_BYREF | VT_VARIANT) is followed to that VARIANT.
// A missing or malformed argument gives nothing.
//
// A BSTR, by value or by reference, as UTF-8; a null BSTR is the empty text.
std::optional<std::string> StringArgument(const DISPPARAMS& params, unsigned position);
// A long, by value or by reference.
std::optional<long> LongArgument(const DISPPARAMS& params, unsigned position);
// The caller's VARIANT_BOOL behind a by-reference boolean, to read and write;
// nullptr for a boolean passed by value, whose change the caller would not see.
VARIANT_BOOL* BoolOutArgument(const DISPPARAMS& params, unsigned position);

}  // namespace quellix::win
