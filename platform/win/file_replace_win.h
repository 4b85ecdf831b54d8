// The last step of a whole-file write on Windows: the complete temporary file
// takes the old file's place. The call that replaces a file is a parameter,
// so that tests can bring the rare answers of ReplaceFileW that a test
// machine does not give when asked.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/file_io.h"

namespace quellix::platform {

// ReplaceFileW's signature.
using ReplaceFileCall = BOOL(WINAPI*)(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags,
                                      LPVOID exclude, LPVOID reserved);

// ReplaceWholeFile, replacing through `replace`.
IoResult ReplaceWholeFileWith(const std::string& path, std::string_view bytes, ReplaceFileCall replace);

}  // namespace quellix::platform
