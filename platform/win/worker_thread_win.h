// A worker thread and a lock made from the system's own primitives. The C++
// library's std::thread and std::mutex would do the same, but on mingw-w64
// they come with a POSIX threads layer and the library's system_error
// machinery (some 50 KB of the exe) for what CreateThread and a slim
// reader/writer lock do directly.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <utility>

#include "platform/win/scoped_handle.h"

namespace quellix::win {

// Runs `body` on a thread of its own; Join (or the destructor) waits for it
// to end. Running() is false when the thread could not be started.
class WorkerThread {
 public:
  WorkerThread() = default;
  explicit WorkerThread(std::function<void()> body) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    handle_.Reset(CreateThread(nullptr, 0, &WorkerThread::Run, owned.get(), 0, nullptr));
    if (handle_) owned.release();  // the thread owns it now
  }
  ~WorkerThread() { Join(); }
  WorkerThread(WorkerThread&&) noexcept = default;
  WorkerThread& operator=(WorkerThread&& other) noexcept {
    Join();
    handle_ = std::move(other.handle_);
    return *this;
  }

  bool Running() const { return static_cast<bool>(handle_); }
  void Join() {
    if (!handle_) return;
    WaitForSingleObject(handle_.Get(), INFINITE);
    handle_.Reset();
  }

 private:
  static DWORD WINAPI Run(void* parameter) {
    const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
    try {
      (*body)();
    } catch (...) {
      // Nothing may leave a thread's start routine; the worker just ends.
    }
    return 0;
  }

  ScopedHandle handle_;
};

// A lock for std::lock_guard: a slim reader/writer lock, taken exclusively.
class SlimLock {
 public:
  SlimLock() = default;
  SlimLock(const SlimLock&) = delete;
  SlimLock& operator=(const SlimLock&) = delete;
  void lock() { AcquireSRWLockExclusive(&lock_); }
  void unlock() { ReleaseSRWLockExclusive(&lock_); }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
};

}  // namespace quellix::win
