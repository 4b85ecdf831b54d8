#include "platform/version_info.h"
#include "product_identity.h"

namespace quellix::platform {

VersionInfo ReadOwnVersionInfo() {
  return {build::kProductName, build::kCompanyName, build::kComments, build::kVersionMajor,
          build::kVersionMinor};
}

}  // namespace quellix::platform
