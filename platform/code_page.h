// The system's ANSI code page at the boundary of list files and registry
// texts. Windows: CP_ACP. Portable build: Windows-1252. Characters the code
// page cannot hold become its replacement character ("?").
#pragma once

#include <string>
#include <string_view>

namespace quellix::platform {

std::string AnsiFromUtf8(std::string_view utf8);
std::string Utf8FromAnsi(std::string_view ansi);

}  // namespace quellix::platform
