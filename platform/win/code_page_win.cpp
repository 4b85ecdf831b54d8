#include <windows.h>

#include "platform/code_page.h"
#include "platform/win/wide_string.h"

namespace quellix::platform {

namespace {

// A UTF-8 system code page takes neither the flag nor the question.
bool AcpIsUtf8() { return GetACP() == CP_UTF8; }
DWORD NoBestFit() { return AcpIsUtf8() ? 0 : WC_NO_BEST_FIT_CHARS; }

}  // namespace

std::string AnsiFromUtf8(std::string_view utf8) {
  const std::wstring wide = win::Wide(utf8);
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, NoBestFit(), wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, NoBestFit(), wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

bool AnsiHoldsExactly(std::string_view utf8) {
  const std::wstring wide = win::Wide(utf8);
  if (wide.empty() || AcpIsUtf8()) return win::Utf8(wide) == utf8;
  BOOL replaced = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, &replaced);
  return n > 0 && !replaced && win::Utf8(wide) == utf8;
}

std::string Utf8FromAnsi(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), n);
  return win::Utf8(wide);
}

}  // namespace quellix::platform
