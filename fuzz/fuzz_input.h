// Splits one fuzzer input into the pieces a target needs: a few flag bytes,
// then texts separated by a 0xFF byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quellix::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  // The next text up to a 0xFF byte (or the end).
  std::string Text() {
    std::string text;
    while (pos_ < size_ && data_[pos_] != 0xFF) text.push_back(static_cast<char>(data_[pos_++]));
    if (pos_ < size_) ++pos_;
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace quellix::fuzz
