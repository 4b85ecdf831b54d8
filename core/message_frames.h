// Native messaging's framing: every message is a 32-bit length in little-endian
// byte order (the byte order of every Windows machine the browsers run on)
// followed by that many bytes of UTF-8 JSON. The host and the program speak
// the same framing over their pipe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quellix {

// What the browsers allow: a message to a host may be up to 64 MiB
// (Chromium's limit; Firefox allows more), a message from a host 1 MiB.
inline constexpr std::size_t kMaxMessageToHost = 64u << 20;
inline constexpr std::size_t kMaxMessageFromHost = 1u << 20;
// Between the host and the program: enough for any address a browser keeps
// (Chromium's is 2 MiB), escaped.
inline constexpr std::size_t kMaxPipeMessage = 8u << 20;

// The frame of one message.
std::string FrameMessage(std::string_view payload);

// Splits a byte stream into messages, whatever pieces it arrives in. A
// message longer than the limit is skipped as it streams past (never held
// in memory) and reported once as too long.
class MessageFrameReader {
 public:
  struct Frame {
    bool too_long = false;
    std::string payload;  // empty when too long
  };
  explicit MessageFrameReader(std::size_t max_payload) : max_payload_(max_payload) {}

  // Calls `on_frame` for every message completed by these bytes.
  void Feed(std::string_view bytes, const std::function<void(Frame)>& on_frame);
  // True between messages: the stream may end here without losing a part.
  bool AtBoundary() const { return header_bytes_ == 0 && !in_payload_; }

 private:
  std::size_t max_payload_;
  unsigned char header_[4] = {};
  std::size_t header_bytes_ = 0;
  bool in_payload_ = false;
  std::uint64_t remaining_ = 0;  // bytes of the current payload still to come
  bool skipping_ = false;
  std::string payload_;
};

}  // namespace quellix
