// Every stored option converted from arbitrary text, checked against the
// stored forms written out plainly.
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>

#include "fuzz/fuzz_input.h"
#include "platform/settings_store.h"
#include "ui/main/options.h"

namespace {

using quellix::platform::SettingsStore;

constexpr const char* kApp = "Quellix Pop-Up Blocker";
constexpr const char* kKeys[] = {"chkLinks",   "chkSound",      "chkRunAtStart", "chkOnTop", "chkAuto",
                                 "chkStopPop", "intStopped",    "strAllowed",    "strDisallowed",
                                 "state",      "showHelp"};

// Values held in memory, as the registry holds them for the program.
class MemoryStore : public SettingsStore {
 public:
  std::string GetSetting(const std::string&, const std::string&, const std::string& key,
                         const std::string& default_value) override {
    const auto found = values.find(key);
    return found == values.end() ? default_value : found->second;
  }
  bool SaveSetting(const std::string&, const std::string&, const std::string& key, const std::string& value) override {
    values[key] = value;
    return true;
  }
  std::map<std::string, std::string> values;
};

// The number a stored text stands for, read plainly: blanks around it, one
// "+", then an optional "-" and digits. Nothing when it is no such text or
// does not fit 64 bits.
std::optional<long long> PlainNumber(std::string text) {
  while (!text.empty() && text.front() == ' ') text.erase(0, 1);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (!text.empty() && text.front() == '+') text.erase(0, 1);
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.erase(0, 1);
  if (text.empty()) return std::nullopt;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  text.erase(0, text.find_first_not_of('0'));  // leading zeros
  if (text.size() > 18) return std::nullopt;   // beyond what is stored anywhere
  long long value = 0;
  for (const char c : text) value = value * 10 + (c - '0');
  return negative ? -value : value;
}

void CheckConversions(quellix::fuzz::FuzzInput& input) {
  using namespace quellix::options;
  MemoryStore store;
  const std::uint8_t present_low = input.Byte();
  const std::uint8_t present_high = input.Byte();
  const unsigned present = present_low | (present_high << 8U);
  for (std::size_t i = 0; i < std::size(kKeys); ++i) {
    std::string text = input.Text();
    if (present & (1U << i)) store.values[kKeys[i]] = std::move(text);
  }
  const Options options(store, kApp);
  auto stored = [&](const char* key) -> std::optional<std::string> {
    const auto found = store.values.find(key);
    if (found == store.values.end()) return std::nullopt;
    return found->second;
  };

  const std::pair<const char*, int> switches[] = {{kChkLinks, 0},   {kChkSound, 1}, {kChkRunAtStart, 0},
                                                  {kChkOnTop, 0},   {kChkAuto, 1},  {kChkStopPop, 1}};
  for (const auto& [key, fallback] : switches) {
    const int value = options.ReadSwitch(key, fallback);
    int expected = fallback;
    if (const auto text = stored(key)) {
      const auto number = PlainNumber(*text);
      if (number && (*number == 0 || *number == 1)) expected = static_cast<int>(*number);
    }
    if (value != expected) std::abort();
    // What shutdown writes reads back the same.
    if (!options.WriteNumber(key, value) || options.ReadSwitch(key, 1 - fallback) != value) std::abort();
  }

  const std::int32_t count = options.ReadCount(kIntStopped);
  std::int32_t expected_count = 0;
  if (const auto text = stored(kIntStopped)) {
    const auto number = PlainNumber(*text);
    if (number && *number >= 0 && *number <= std::numeric_limits<std::int32_t>::max()) {
      expected_count = static_cast<std::int32_t>(*number);
    }
  }
  if (count != expected_count) std::abort();
  if (!options.WriteNumber(kIntStopped, count) || options.ReadCount(kIntStopped) != count) std::abort();

  const std::string state = options.ReadState();
  const auto stored_state = stored(kState);
  if (state != (stored_state && !stored_state->empty() ? *stored_state : std::string(kStateUp))) std::abort();

  for (const char* key : {kStrAllowed, kStrDisallowed, kShowHelp}) {
    const auto text = stored(key);
    if (options.ReadText(key, "default") != (text ? *text : std::string("default"))) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quellix::fuzz::FuzzInput input(data, size);
  CheckConversions(input);
  return 0;
}
