#include "platform/registry_portable.h"

namespace quellix::platform {

Registry& SystemRegistry() {
  // A portable build runs as an ordinary user with nothing kept between runs.
  static PortableRegistry registry;
  return registry;
}

}  // namespace quellix::platform
