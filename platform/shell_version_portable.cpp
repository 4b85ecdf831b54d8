#include "platform/shell_version.h"

namespace quellix::platform {

unsigned ShellLibraryMajorVersion() { return 0; }

}  // namespace quellix::platform
