// UTF-8 <-> UTF-16 at Win32 calls.
#pragma once

#include <string>
#include <string_view>

namespace quellix::win {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

}  // namespace quellix::win
