#include "ui/main/options.h"

#include <charconv>
#include <limits>

#include "platform/version_info.h"
#include "product_identity.h"

namespace quellix::options {
namespace {

// A decimal number, blanks around it allowed, as the stored forms are read.
bool ParseDecimal(std::string_view text, long long& value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string ApplicationName() {
  std::string name = platform::ReadOwnVersionInfo().ProductName;
  return name.empty() ? std::string(build::kProductName) : name;
}

std::string DefaultAllowedText(const std::string& default_allowed_host) {
  return default_allowed_host + "/programclicks.asp\r\n";
}

int Options::ReadSwitch(const char* key, int default_value) const {
  long long value = 0;
  if (!ParseDecimal(store_.GetSetting(app_, kSection, key, std::to_string(default_value)), value)) {
    return default_value;
  }
  return value == 0 || value == 1 ? static_cast<int>(value) : default_value;
}

std::int32_t Options::ReadCount(const char* key) const {
  long long value = 0;
  if (!ParseDecimal(store_.GetSetting(app_, kSection, key, "0"), value)) return 0;
  if (value < 0 || value > std::numeric_limits<std::int32_t>::max()) return 0;
  return static_cast<std::int32_t>(value);
}

std::string Options::ReadState() const {
  std::string state = store_.GetSetting(app_, kSection, kState, kStateUp);
  return state.empty() ? std::string(kStateUp) : state;
}

std::string Options::ReadText(const char* key, const std::string& default_value) const {
  return store_.GetSetting(app_, kSection, key, default_value);
}

bool Options::Write(const char* key, const std::string& value) const {
  return store_.SaveSetting(app_, kSection, key, value);
}

}  // namespace quellix::options
