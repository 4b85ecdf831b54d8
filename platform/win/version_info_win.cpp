#include <windows.h>

#include <cwchar>
#include <vector>

#include "platform/version_info.h"
#include "platform/win/wide_string.h"

namespace quellix::platform {
namespace {

std::string QueryString(const std::vector<BYTE>& block, const wchar_t* language, const wchar_t* field) {
  std::wstring query = std::wstring(L"\\StringFileInfo\\") + language + L"\\" + field;
  void* value = nullptr;
  UINT chars = 0;
  if (!VerQueryValueW(block.data(), query.c_str(), &value, &chars) || !value || chars == 0) return {};
  const auto* text = static_cast<const wchar_t*>(value);
  return win::Utf8(std::wstring_view(text, wcsnlen(text, chars)));
}

}  // namespace

VersionInfo ReadOwnVersionInfo() {
  VersionInfo info;
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return info;
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return info;
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return info;

  wchar_t language[16] = L"040904B0";
  struct Translation {
    WORD language;
    WORD code_page;
  };
  void* value = nullptr;
  UINT bytes = 0;
  if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &bytes) && bytes >= sizeof(Translation)) {
    const auto* t = static_cast<const Translation*>(value);
    // Eight hex digits, language then code page (no printf: it would bring
    // the C library's whole formatter into the exe).
    const unsigned both = (static_cast<unsigned>(t->language) << 16) | t->code_page;
    for (int i = 0; i < 8; ++i) language[i] = L"0123456789abcdef"[(both >> (28 - 4 * i)) & 0xF];
    language[8] = L'\0';
  }
  info.ProductName = QueryString(block, language, L"ProductName");
  info.CompanyName = QueryString(block, language, L"CompanyName");
  info.Comments = QueryString(block, language, L"Comments");

  if (VerQueryValueW(block.data(), L"\\", &value, &bytes) && bytes >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    info.major = HIWORD(fixed->dwFileVersionMS);
    info.minor = LOWORD(fixed->dwFileVersionMS);
  }
  return info;
}

}  // namespace quellix::platform
