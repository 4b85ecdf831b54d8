// A timer of a window: while enabled, OnTimer runs every Interval milliseconds
// (as often as the platform's timer allows) on the user-interface thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace quellix::ui {

class TimerPeer {
 public:
  virtual ~TimerPeer() = default;
  virtual void Start(int interval_ms) = 0;
  virtual void Stop() = 0;
};

class Timer {
 public:
  Timer(std::string name, int interval_ms) : name_(std::move(name)), interval_(interval_ms) {}
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  ~Timer() {
    if (peer_ && enabled_) peer_->Stop();
  }

  const std::string& Name() const { return name_; }
  int Interval() const { return interval_; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (!peer_) return;
    if (enabled_) {
      peer_->Start(interval_);
    } else {
      peer_->Stop();
    }
  }
  // One tick; a disabled timer ignores a tick that was already on its way.
  void Tick() {
    if (enabled_ && OnTimer) OnTimer();
  }
  void AttachPeer(std::unique_ptr<TimerPeer> peer) { peer_ = std::move(peer); }

  std::function<void()> OnTimer;

 private:
  std::string name_;
  int interval_;
  bool enabled_ = false;
  std::unique_ptr<TimerPeer> peer_;
};

}  // namespace quellix::ui
