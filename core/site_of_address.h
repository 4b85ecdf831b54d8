// The site a pop-up request comes from, and whether a status text is a link.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quellix {

// The site of a page address: every "http://" and then every "https://" is
// removed (any case, anywhere), the rest is cut just after its first "/" and
// the slash dropped. Keeps the address's letter case.
std::string SiteOfAddress(std::string_view address);

// The same site worked out in a buffer of its own, without touching the heap
// when the site and what its removals read past it fit kFixedSize bytes,
// however long the rest of the address (the decision's way).
class SiteOfAddressBuffer {
 public:
  static constexpr std::size_t kFixedSize = 512;
  explicit SiteOfAddressBuffer(std::string_view address);
  SiteOfAddressBuffer(const SiteOfAddressBuffer&) = delete;
  SiteOfAddressBuffer& operator=(const SiteOfAddressBuffer&) = delete;
  std::string_view View() const { return view_; }

 private:
  char fixed_[kFixedSize];
  std::string spill_;  // only for longer addresses
  std::string_view view_;
};

// A status text is a link when it has at least 8 characters and begins with
// "http://" or "https://", ignoring case.
bool IsLinkStatusText(std::string_view status_text);

}  // namespace quellix
