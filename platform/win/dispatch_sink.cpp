#include "platform/win/dispatch_sink.h"

#include <string_view>

#include "platform/win/wide_string.h"

namespace quellix::win {
namespace {

// The VARIANT an argument stands for: the argument itself, or the caller's
// VARIANT when it was passed by reference. `by_reference` tells which.
VARIANT* Argument(const DISPPARAMS& params, unsigned position, bool* by_reference) {
  if (!params.rgvarg || params.cArgs < params.cNamedArgs) return nullptr;
  const unsigned positional = params.cArgs - params.cNamedArgs;
  if (position >= positional) return nullptr;
  VARIANT* argument = &params.rgvarg[params.cArgs - 1 - position];
  *by_reference = false;
  if (argument->vt == (VT_VARIANT | VT_BYREF)) {
    argument = argument->pvarVal;
    *by_reference = true;
  }
  return argument;
}

}  // namespace

DispatchSink::DispatchSink(const IID& events) : events_(events) {}

DispatchSink::~DispatchSink() = default;

HRESULT STDMETHODCALLTYPE DispatchSink::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == events_) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE DispatchSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG STDMETHODCALLTYPE DispatchSink::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE DispatchSink::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE DispatchSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DispatchSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DispatchSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                               EXCEPINFO*, UINT*) {
  if (result) VariantInit(result);
  if (!params) return S_OK;
  AddRef();
  try {
    OnEvent(id, *params);
  } catch (...) {
    // A failing handler leaves the event's arguments as they were.
  }
  Release();
  return S_OK;
}

std::optional<std::string> StringArgument(const DISPPARAMS& params, unsigned position) {
  bool by_reference = false;
  const VARIANT* argument = Argument(params, position, &by_reference);
  if (!argument) return std::nullopt;
  BSTR text = nullptr;
  if (argument->vt == VT_BSTR) {
    text = argument->bstrVal;
  } else if (argument->vt == (VT_BSTR | VT_BYREF) && argument->pbstrVal) {
    text = *argument->pbstrVal;
  } else {
    return std::nullopt;
  }
  return Utf8(std::wstring_view(text ? text : L"", SysStringLen(text)));
}

std::optional<long> LongArgument(const DISPPARAMS& params, unsigned position) {
  bool by_reference = false;
  const VARIANT* argument = Argument(params, position, &by_reference);
  if (!argument) return std::nullopt;
  if (argument->vt == VT_I4) return argument->lVal;
  if (argument->vt == (VT_I4 | VT_BYREF) && argument->plVal) return *argument->plVal;
  return std::nullopt;
}

VARIANT_BOOL* BoolOutArgument(const DISPPARAMS& params, unsigned position) {
  bool by_reference = false;
  VARIANT* argument = Argument(params, position, &by_reference);
  if (!argument) return nullptr;
  if (argument->vt == (VT_BOOL | VT_BYREF)) return argument->pboolVal;
  // A boolean inside the caller's own VARIANT is the caller's to see.
  if (argument->vt == VT_BOOL && by_reference) return &argument->boolVal;
  return nullptr;
}

}  // namespace quellix::win
