// The folder the program runs from, without a final backslash.
#pragma once

#include <string>

namespace quellix::platform {

std::string ProgramFolder();

}  // namespace quellix::platform
