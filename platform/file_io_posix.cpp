#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <string>

#include "platform/file_io.h"
#include "platform/native_path.h"

namespace quellix::platform {
namespace {

IoResult Errno(const std::string& what, const std::string& path) {
  return IoResult::Failure(what + " \"" + path + "\": " + std::strerror(errno));
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// A file without any write permission is read-only, as Windows' attribute of
// that name: it is neither appended to nor replaced, even for a user (root)
// whom the permissions would not stop.
bool IsReadOnlyFile(const std::string& native) {
  struct stat st {};
  return ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
}

IoResult ReadOnly(const std::string& path) {
  return IoResult::Failure("Cannot write \"" + path + "\": the file is read-only");
}

}  // namespace

IoResult ReadWholeFile(const std::string& path, std::string& bytes) {
  const std::string native = NativePath(path);
  Fd fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return Errno("Cannot open", path);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return Errno("Cannot read", path);
  if (!S_ISREG(st.st_mode)) return IoResult::Failure("Not a file: \"" + path + "\"");
  if (static_cast<std::uint64_t>(st.st_size) > kMaxReadableFileSize) {
    return IoResult::Failure("The file \"" + path + "\" is too large to read");
  }
  bytes.clear();
  bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Errno("Cannot read", path);
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<std::size_t>(n) > kMaxReadableFileSize) {
      return IoResult::Failure("The file \"" + path + "\" is too large to read");
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return {};
}

IoResult AppendToFile(const std::string& path, std::string_view bytes) {
  const std::string native = NativePath(path);
  if (IsReadOnlyFile(native)) return ReadOnly(path);
  Fd fd(::open(native.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  if (fd.get() < 0) return Errno("Cannot open", path);
  const off_t old_size = ::lseek(fd.get(), 0, SEEK_END);
  if (old_size < 0) return Errno("Cannot write", path);
  if (!WriteAll(fd.get(), bytes) || ::fsync(fd.get()) != 0) {
    IoResult failure = Errno("Cannot write", path);
    if (::ftruncate(fd.get(), old_size) != 0) { /* nothing more can be done */ }
    return failure;
  }
  if (::close(fd.release()) != 0) return Errno("Cannot write", path);
  return {};
}

IoResult ReplaceWholeFile(const std::string& path, std::string_view bytes) {
  const std::string native = NativePath(path);
  if (IsReadOnlyFile(native)) return ReadOnly(path);
  std::string temp = native + ".XXXXXX";
  Fd fd(::mkstemp(temp.data()));
  if (fd.get() < 0) return Errno("Cannot write", path);
  // Keep the old file's permissions; a new file gets the usual ones.
  struct stat st {};
  ::fchmod(fd.get(), ::stat(native.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
  if (!WriteAll(fd.get(), bytes) || ::fsync(fd.get()) != 0 || ::close(fd.release()) != 0 ||
      ::rename(temp.c_str(), native.c_str()) != 0) {
    IoResult failure = Errno("Cannot write", path);
    ::unlink(temp.c_str());
    return failure;
  }
  return {};
}

IoResult CreateFileIfAbsent(const std::string& path, std::string_view bytes) {
  const std::string native = NativePath(path);
  Fd fd(::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (fd.get() < 0) {
    if (errno == EEXIST) return {};
    return Errno("Cannot create", path);
  }
  if (!WriteAll(fd.get(), bytes) || ::fsync(fd.get()) != 0) {
    IoResult failure = Errno("Cannot write", path);
    ::unlink(native.c_str());
    return failure;
  }
  return {};
}

}  // namespace quellix::platform
