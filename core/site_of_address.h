// The site a pop-up request comes from, and whether a status text is a link.
#pragma once

#include <string>
#include <string_view>

namespace quellix {

// The site of a page address: every "http://" and then every "https://" is
// removed (any case, anywhere), the rest is cut just after its first "/" and
// the slash dropped. Keeps the address's letter case.
std::string SiteOfAddress(std::string_view address);

// A status text is a link when it has at least 8 characters and begins with
// "http://" or "https://", ignoring case.
bool IsLinkStatusText(std::string_view status_text);

}  // namespace quellix
