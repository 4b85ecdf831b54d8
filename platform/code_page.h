// The system's ANSI code page at the boundary of list files and registry
// texts. Windows: CP_ACP. Portable build: Windows-1252. Characters the code
// page cannot hold become its replacement character ("?"), never a "best
// fit" look-alike: a file name or host written with a look-alike names
// something else.
#pragma once

#include <string>
#include <string_view>

namespace quellix::platform {

std::string AnsiFromUtf8(std::string_view utf8);
std::string Utf8FromAnsi(std::string_view ansi);
// True when the code page holds every character of the text, so that
// AnsiFromUtf8 writes it exactly.
bool AnsiHoldsExactly(std::string_view utf8);

}  // namespace quellix::platform
