#include "platform/win/com_connection.h"

#include <utility>

namespace quellix::win {

ComConnection ComConnection::Connect(IUnknown* source, REFIID events, IUnknown* sink) noexcept {
  ComConnection connection;
  if (!source || !sink) return connection;
  Microsoft::WRL::ComPtr<IConnectionPointContainer> container;
  if (FAILED(source->QueryInterface(IID_PPV_ARGS(&container)))) return connection;
  Microsoft::WRL::ComPtr<IConnectionPoint> point;
  if (FAILED(container->FindConnectionPoint(events, &point)) || !point) return connection;
  DWORD cookie = 0;
  if (FAILED(point->Advise(sink, &cookie))) return connection;
  connection.point_ = std::move(point);
  connection.cookie_ = cookie;
  return connection;
}

ComConnection::ComConnection(ComConnection&& other) noexcept
    : point_(std::move(other.point_)), cookie_(std::exchange(other.cookie_, 0)) {}

ComConnection& ComConnection::operator=(ComConnection&& other) noexcept {
  if (this != &other) {
    Disconnect();
    point_ = std::move(other.point_);
    cookie_ = std::exchange(other.cookie_, 0);
  }
  return *this;
}

void ComConnection::Disconnect() noexcept {
  // Taken out first: Unadvise may release the sink, whose end may come back here.
  Microsoft::WRL::ComPtr<IConnectionPoint> point = std::move(point_);
  if (point) point->Unadvise(std::exchange(cookie_, 0));
}

}  // namespace quellix::win
