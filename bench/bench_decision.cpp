// How fast a request is decided against allowed lists of realistic size.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "text/letter_case.h"
#include "core/popup_decision.h"
#include "core/site_of_address.h"

namespace quellix {
namespace {

// Host names of 15 to 30 characters: "www.", random letters, a top-level domain.
std::string MakeListText(int entries) {
  std::mt19937 random(42);
  const char* tlds[] = {".com", ".net", ".org", ".example", ".info"};
  std::string text;
  for (int i = 0; i < entries; ++i) {
    const char* tld = tlds[random() % 5];
    const int letters = 15 + static_cast<int>(random() % 16) - 4 - static_cast<int>(std::strlen(tld));
    std::string host = "www.";
    for (int k = 0; k < std::max(letters, 3); ++k) host.push_back(static_cast<char>('a' + random() % 26));
    text += host + tld + "\r\n";
  }
  return text;
}

class QuietHost : public PopupHost {
 public:
  PopupOptions ReadOptions() override { return {.chkStopPop = true, .chkAuto = false, .chkSound = false, .chkLinks = true}; }
  void ProcessPendingMessagesOnce() override {}
  bool WaitForMessage() override { return false; }
  void PlayBlockSound() override {}
  bool ShowSetupPrompt() override { return false; }
};

constexpr const char* kRequestingPage = "http://www.Qzxwvkjhgfdsmn.com/articles/today.html?ref=http://x";

void BM_Decide(benchmark::State& bench) {
  ProgramState state;
  state.strAllowed.Assign(MakeListText(static_cast<int>(bench.range(0))));
  state.strStatusText = "Done";
  QuietHost host;
  for (auto _ : bench) {
    const auto verdict =
        DecideNewWindow(state, host, [] { return std::optional<std::string>(kRequestingPage); });
    benchmark::DoNotOptimize(verdict);
    state.intStopped = 0;
  }
}

// The straightforward way: lower-case site and list text at every request.
void BM_DecideNaive(benchmark::State& bench) {
  const std::string list = MakeListText(static_cast<int>(bench.range(0)));
  for (auto _ : bench) {
    const std::string site = AsciiLower(SiteOfAddress(kRequestingPage));
    const std::string text = AsciiLower(list);
    const bool on_list = !text.empty() && text.find(site) != std::string::npos;
    benchmark::DoNotOptimize(on_list);
  }
}

// What the store does once per change of a list.
void BM_Prepare(benchmark::State& bench) {
  const std::string list = MakeListText(static_cast<int>(bench.range(0)));
  for (auto _ : bench) {
    SiteListText prepared(list);
    benchmark::DoNotOptimize(prepared);
  }
}

BENCHMARK(BM_Decide)->Arg(10)->Arg(1000)->Arg(32767);
BENCHMARK(BM_DecideNaive)->Arg(10)->Arg(1000)->Arg(32767);
BENCHMARK(BM_Prepare)->Arg(10)->Arg(1000)->Arg(32767)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quellix

BENCHMARK_MAIN();
