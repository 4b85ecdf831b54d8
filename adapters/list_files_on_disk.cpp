#include "adapters/list_files_on_disk.h"

#include "platform/code_page.h"
#include "platform/file_io.h"

namespace quellix {
namespace {

StoreResult From(const platform::IoResult& io) { return {io.ok, io.error}; }

}  // namespace

StoreResult ListFilesOnDisk::Read(const std::string& path, std::string& text) {
  std::string bytes;
  const platform::IoResult io = platform::ReadWholeFile(path, bytes);
  if (io.ok) text = platform::Utf8FromAnsi(bytes);
  return From(io);
}

StoreResult ListFilesOnDisk::Append(const std::string& path, const std::string& text) {
  return From(platform::AppendToFile(path, platform::AnsiFromUtf8(text)));
}

StoreResult ListFilesOnDisk::Replace(const std::string& path, const std::string& text) {
  return From(platform::ReplaceWholeFile(path, platform::AnsiFromUtf8(text)));
}

StoreResult ListFilesOnDisk::CreateIfAbsent(const std::string& path, const std::string& text) {
  return From(platform::CreateFileIfAbsent(path, platform::AnsiFromUtf8(text)));
}

}  // namespace quellix
