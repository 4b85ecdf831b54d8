// Owners for the COM values that cross the browser interfaces: a BSTR and a
// VARIANT, each freed with the function COM requires for it; and the adoption
// of a new COM object's first reference.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string_view>
#include <utility>

namespace quellix::win {

// Takes over the reference that a new object starts with. Not
// ComPtr::Attach: mingw-w64's adds a reference where Microsoft's does not,
// so the same code would leak in one build or over-release in the other.
template <typename T>
Microsoft::WRL::ComPtr<T> AdoptComPtr(T* object) {
  Microsoft::WRL::ComPtr<T> owner;
  *owner.ReleaseAndGetAddressOf() = object;
  return owner;
}

class ScopedBstr {
 public:
  ScopedBstr() = default;
  explicit ScopedBstr(std::wstring_view text)
      : bstr_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~ScopedBstr() { SysFreeString(bstr_); }
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  ScopedBstr(ScopedBstr&& other) noexcept : bstr_(other.Release()) {}
  ScopedBstr& operator=(ScopedBstr&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  BSTR Get() const { return bstr_; }
  // The text with its recorded length: a BSTR may hold NULs, and a null BSTR is empty.
  std::wstring_view View() const { return {bstr_ ? bstr_ : L"", SysStringLen(bstr_)}; }
  BSTR Release() { return std::exchange(bstr_, nullptr); }
  void Reset(BSTR bstr = nullptr) { SysFreeString(std::exchange(bstr_, bstr)); }
  // For out-parameters; frees what was held.
  BSTR* Receive() {
    Reset();
    return &bstr_;
  }

 private:
  BSTR bstr_ = nullptr;
};

class ScopedVariant {
 public:
  ScopedVariant() { VariantInit(&variant_); }
  ~ScopedVariant() { VariantClear(&variant_); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;

  const VARIANT& Get() const { return variant_; }
  VARIANT* Ptr() { return &variant_; }
  // For out-parameters; clears what was held.
  VARIANT* Receive() {
    VariantClear(&variant_);
    return &variant_;
  }
  // Takes ownership of `bstr`.
  void SetBstr(BSTR bstr) {
    VariantClear(&variant_);
    variant_.vt = VT_BSTR;
    variant_.bstrVal = bstr;
  }

 private:
  VARIANT variant_;
};

}  // namespace quellix::win
