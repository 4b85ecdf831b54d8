#include "core/message_frames.h"

#include <algorithm>

namespace quellix {

std::string FrameMessage(std::string_view payload) {
  const auto length = static_cast<std::uint32_t>(payload.size());
  std::string frame;
  frame.reserve(payload.size() + 4);
  for (int shift = 0; shift < 32; shift += 8) frame.push_back(static_cast<char>((length >> shift) & 0xFF));
  frame.append(payload);
  return frame;
}

void MessageFrameReader::Feed(std::string_view bytes, const std::function<void(Frame)>& on_frame) {
  while (!bytes.empty()) {
    if (!in_payload_) {
      header_[header_bytes_++] = static_cast<unsigned char>(bytes.front());
      bytes.remove_prefix(1);
      if (header_bytes_ < 4) continue;
      header_bytes_ = 0;
      remaining_ = std::uint64_t{header_[0]} | std::uint64_t{header_[1]} << 8 | std::uint64_t{header_[2]} << 16 |
                   std::uint64_t{header_[3]} << 24;
      skipping_ = remaining_ > max_payload_;
      payload_.clear();
      if (!skipping_) payload_.reserve(static_cast<std::size_t>(remaining_));
      in_payload_ = true;
    }
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, bytes.size()));
    if (!skipping_) payload_.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    remaining_ -= take;
    if (remaining_ == 0) {
      in_payload_ = false;
      Frame frame;
      frame.too_long = skipping_;
      if (!skipping_) frame.payload.swap(payload_);
      on_frame(std::move(frame));
    }
  }
}

}  // namespace quellix
