// One connection from an event sink to a COM object's outgoing interface. It
// owns the connection point and the cookie that Advise gave, and unadvises
// when it ends, so a sink is never left connected and never unadvised twice.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <wrl/client.h>

namespace quellix::win {

class ComConnection {
 public:
  // Connects `sink` to the connection point of `source` for `events`. The
  // result is not Connected() when the source has no such point or Advise fails.
  static ComConnection Connect(IUnknown* source, REFIID events, IUnknown* sink) noexcept;

  ComConnection() = default;
  ~ComConnection() { Disconnect(); }
  ComConnection(const ComConnection&) = delete;
  ComConnection& operator=(const ComConnection&) = delete;
  ComConnection(ComConnection&& other) noexcept;
  ComConnection& operator=(ComConnection&& other) noexcept;

  bool Connected() const { return point_ != nullptr; }
  // Unadvises (its result is of no use to anyone) and lets the point go.
  void Disconnect() noexcept;

 private:
  Microsoft::WRL::ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

}  // namespace quellix::win
