#include <windows.h>

#include <cstdint>

#include "platform/shell_version.h"
#include "platform/win/scoped_handle.h"

namespace quellix::platform {
namespace {

// The 20-byte version record DllGetVersion fills: its own size first.
struct DllVersionRecord {
  std::uint32_t size;
  std::uint32_t major;
  std::uint32_t minor;
  std::uint32_t build;
  std::uint32_t platform_id;
};
static_assert(sizeof(DllVersionRecord) == 20);

using DllGetVersionFunction = HRESULT(CALLBACK*)(DllVersionRecord*);

}  // namespace

unsigned ShellLibraryMajorVersion() {
  const win::ScopedModule library(LoadLibraryW(L"Shlwapi.dll"));
  if (!library) return 0;
  const auto get_version =
      reinterpret_cast<DllGetVersionFunction>(reinterpret_cast<void*>(GetProcAddress(library.Get(), "DllGetVersion")));
  if (get_version == nullptr) return 0;
  DllVersionRecord record{sizeof(DllVersionRecord), 0, 0, 0, 0};
  return SUCCEEDED(get_version(&record)) ? record.major : 0;
}

}  // namespace quellix::platform
