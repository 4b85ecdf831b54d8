#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "text/letter_case.h"
#include "platform/file_io.h"
#include "platform/settings_store.h"

namespace quellix::platform {
namespace {

bool NeedsEscape(char c) {
  return c == '\\' || c == '\r' || c == '\n' || c == '=' || c == '[' || c == ']' || c == '\0';
}

std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (NeedsEscape(c)) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// An escape that is not \xHH is taken as it stands.
std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && HexDigit(text[i + 2]) >= 0 &&
        HexDigit(text[i + 3]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

struct Entry {
  std::string key;
  std::string value;
};
struct Section {
  std::string app;
  std::string name;
  std::vector<Entry> entries;
};

std::vector<Section> Parse(const std::string& bytes) {
  std::vector<Section> sections;
  std::size_t begin = 0;
  while (begin < bytes.size()) {
    std::size_t end = bytes.find('\n', begin);
    if (end == std::string::npos) end = bytes.size();
    std::string_view line(bytes.data() + begin, end - begin);
    begin = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      const std::string_view inner = line.substr(1, line.size() - 2);
      const std::size_t separator = inner.find('\\');
      // Escaped backslashes read "\x5C", so the first one that is not part of
      // an escape separates application and section.
      std::size_t cut = std::string_view::npos;
      for (std::size_t i = separator; i != std::string_view::npos; i = inner.find('\\', i + 1)) {
        if (i + 1 >= inner.size() || inner[i + 1] != 'x') {
          cut = i;
          break;
        }
      }
      if (cut == std::string_view::npos) continue;
      sections.push_back({Unescape(inner.substr(0, cut)), Unescape(inner.substr(cut + 1)), {}});
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || sections.empty()) continue;
    sections.back().entries.push_back({Unescape(line.substr(0, equals)), Unescape(line.substr(equals + 1))});
  }
  return sections;
}

// The backslash between application and section is the first one that does
// not begin an escape, so a section name's leading "x" is escaped as well.
std::string EscapeSectionName(const std::string& name) {
  std::string out = Escape(name);
  if (!out.empty() && out.front() == 'x') out.replace(0, 1, "\\x78");
  return out;
}

std::string Format(const std::vector<Section>& sections) {
  std::string out;
  for (const Section& section : sections) {
    out += "[" + Escape(section.app) + "\\" + EscapeSectionName(section.name) + "]\n";
    for (const Entry& entry : section.entries) out += Escape(entry.key) + "=" + Escape(entry.value) + "\n";
  }
  return out;
}

bool SameName(const std::string& a, const std::string& b) { return FoldCase(a) == FoldCase(b); }

}  // namespace

std::string FileSettingsStore::GetSetting(const std::string& app, const std::string& section,
                                          const std::string& key, const std::string& default_value) {
  std::string bytes;
  if (!ReadWholeFile(path_, bytes).ok) return default_value;
  for (const Section& s : Parse(bytes)) {
    if (!SameName(s.app, app) || !SameName(s.name, section)) continue;
    for (const Entry& entry : s.entries) {
      if (SameName(entry.key, key)) return entry.value;
    }
  }
  return default_value;
}

bool FileSettingsStore::SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                                    const std::string& value) {
  std::string bytes;
  // A missing file is an empty store; one that exists but cannot be read is
  // not overwritten, so nothing in it is lost.
  if (auto read = ReadWholeFile(path_, bytes); !read.ok) {
    if (CreateFileIfAbsent(path_, "").ok && ReadWholeFile(path_, bytes).ok) {
      bytes.clear();
    } else {
      return false;
    }
  }
  std::vector<Section> sections = Parse(bytes);
  // A file edited by hand may hold the section more than once; every copy of
  // the key takes the value, so the next read finds it whichever copy it meets.
  Section* first = nullptr;
  bool replaced = false;
  for (Section& s : sections) {
    if (!SameName(s.app, app) || !SameName(s.name, section)) continue;
    if (first == nullptr) first = &s;
    for (Entry& entry : s.entries) {
      if (SameName(entry.key, key)) {
        entry.value = value;
        replaced = true;
      }
    }
  }
  if (!replaced) {
    if (first == nullptr) {
      sections.push_back({app, section, {}});
      first = &sections.back();
    }
    first->entries.push_back({key, value});
  }
  return ReplaceWholeFile(path_, Format(sections)).ok;
}

}  // namespace quellix::platform
