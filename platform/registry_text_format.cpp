#include "platform/registry_text_format.h"

#include <array>
#include <charconv>
#include <utility>

namespace quellix::platform {
namespace {

constexpr std::string_view kHeader = "QUELLIX REGISTRY 1";

constexpr std::array<std::pair<RegistryRoot, std::string_view>, 5> kRoots = {{
    {RegistryRoot::ClassesRoot, "HKEY_CLASSES_ROOT"},
    {RegistryRoot::CurrentUser, "HKEY_CURRENT_USER"},
    {RegistryRoot::LocalMachine, "HKEY_LOCAL_MACHINE"},
    {RegistryRoot::Users, "HKEY_USERS"},
    {RegistryRoot::CurrentConfig, "HKEY_CURRENT_CONFIG"},
}};

constexpr char kHexDigits[] = "0123456789abcdef";

bool NeedsEscape(unsigned char c) {
  return c < 0x20 || c > 0x7E || c == '%' || c == '"' || c == '[' || c == ']' || c == '\\' || c == '=';
}

void AppendEscaped(std::string& out, std::string_view name) {
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (NeedsEscape(c)) {
      out += '%';
      out += kHexDigits[c >> 4];
      out += kHexDigits[c & 0xF];
    } else {
      out += ch;
    }
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c != '%') {
      if (NeedsEscape(c)) return std::nullopt;
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int hi = HexValue(text[i + 1]);
    const int lo = HexValue(text[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> DecodeHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = HexValue(text[i]);
    const int lo = HexValue(text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return bytes;
}

std::optional<RegistryTextKey> ParseKeyLine(std::string_view line) {
  if (line.size() < 2 || line.back() != ']') return std::nullopt;
  std::string_view inner = line.substr(1, line.size() - 2);
  RegistryTextKey key;
  const std::size_t cut = inner.find('\\');
  const std::string_view root_name = inner.substr(0, cut);
  bool known = false;
  for (const auto& [root, name] : kRoots) {
    if (name == root_name) {
      key.root = root;
      known = true;
    }
  }
  if (!known) return std::nullopt;
  if (cut == std::string_view::npos) return key;
  inner.remove_prefix(cut + 1);
  for (;;) {
    const std::size_t next = inner.find('\\');
    auto part = Unescape(inner.substr(0, next));
    if (!part || part->empty()) return std::nullopt;
    key.path.push_back(std::move(*part));
    if (next == std::string_view::npos) break;
    inner.remove_prefix(next + 1);
  }
  return key;
}

std::optional<RegistryTextValue> ParseValueLine(std::string_view line) {
  RegistryTextValue value;
  std::size_t rest = 0;
  if (line.starts_with("@=")) {
    rest = 2;
  } else if (line.starts_with('"')) {
    const std::size_t close = line.find('"', 1);
    if (close == std::string_view::npos || close + 1 >= line.size() || line[close + 1] != '=') return std::nullopt;
    auto name = Unescape(line.substr(1, close - 1));
    if (!name || name->empty()) return std::nullopt;
    value.name = std::move(*name);
    rest = close + 2;
  } else {
    return std::nullopt;
  }
  const std::string_view typed = line.substr(rest);
  const std::size_t colon = typed.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  const auto [end, ec] = std::from_chars(typed.data(), typed.data() + colon, value.type);
  if (ec != std::errc() || end != typed.data() + colon) return std::nullopt;
  auto data = DecodeHex(typed.substr(colon + 1));
  if (!data) return std::nullopt;
  value.data = std::move(*data);
  return value;
}

}  // namespace

std::string_view RootName(RegistryRoot root) {
  for (const auto& [known, name] : kRoots) {
    if (known == root) return name;
  }
  return {};
}

std::string WriteRegistryText(const std::vector<RegistryTextKey>& keys) {
  std::string out(kHeader);
  out += '\n';
  for (const RegistryTextKey& key : keys) {
    out += '[';
    out += RootName(key.root);
    for (const std::string& part : key.path) {
      out += '\\';
      AppendEscaped(out, part);
    }
    out += "]\n";
    for (const RegistryTextValue& value : key.values) {
      if (value.name.empty()) {
        out += '@';
      } else {
        out += '"';
        AppendEscaped(out, value.name);
        out += '"';
      }
      out += '=';
      out += std::to_string(value.type);
      out += ':';
      for (const std::uint8_t b : value.data) {
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 0xF];
      }
      out += '\n';
    }
  }
  return out;
}

std::optional<std::vector<RegistryTextKey>> ReadRegistryText(std::string_view text, std::string& error) {
  std::vector<RegistryTextKey> keys;
  std::size_t line_number = 0;
  bool header_seen = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++line_number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!header_seen) {
      if (line != kHeader) {
        error = "not a registry file (line 1)";
        return std::nullopt;
      }
      header_seen = true;
      continue;
    }
    if (line.empty()) continue;
    if (line.front() == '[') {
      auto key = ParseKeyLine(line);
      if (!key) {
        error = "malformed key at line " + std::to_string(line_number);
        return std::nullopt;
      }
      keys.push_back(std::move(*key));
      continue;
    }
    auto value = ParseValueLine(line);
    if (!value || keys.empty()) {
      error = "malformed value at line " + std::to_string(line_number);
      return std::nullopt;
    }
    keys.back().values.push_back(std::move(*value));
  }
  if (!header_seen) {
    error = "not a registry file (empty)";
    return std::nullopt;
  }
  return keys;
}

}  // namespace quellix::platform
