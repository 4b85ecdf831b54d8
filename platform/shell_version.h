// The version of the shell's helper library (DllGetVersion of Shlwapi.dll),
// by which the program tells whether the browser can carry toolbar buttons.
#pragma once

namespace quellix::platform {

// The major version; 0 when the library or its DllGetVersion is missing or
// fails, and always 0 in a portable build, which has no such library.
unsigned ShellLibraryMajorVersion();

}  // namespace quellix::platform
