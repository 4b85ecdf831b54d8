// The folder the program runs from, without a final backslash.
#pragma once

#include <string>

namespace quellix::platform {

std::string ProgramFolder();

// The program's executable file name without folder and extension
// ("QuellixPopUpBlocker" for ...\QuellixPopUpBlocker.exe).
std::string ProgramExeName();

}  // namespace quellix::platform
