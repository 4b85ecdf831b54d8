// How fast a request is decided against site lists of realistic size, how the
// matcher fares on sets of sites (realistic misses and hits, and sites shaped
// to defeat an index) beside one memmem over the same folded text, and what
// preparing a list costs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string.h>

#include "bench/heap_bytes.h"
#include "core/popup_decision.h"
#include "core/site_of_address.h"
#include "text/letter_case.h"

namespace quellix {
namespace {

// Host names as people collect them: one to three made-up words of one to
// four syllables (about 2,400 syllables, as in brand and place names),
// sometimes a sub-domain or a number, one in three without "www.", mixed
// top-level domains.
class HostMaker {
 public:
  explicit HostMaker(unsigned seed) : random_(seed) {}
  std::string Host() {
    static const char* const kTlds[] = {".com", ".com", ".com", ".net", ".org", ".co.uk", ".de", ".info",
                                        ".io", ".fr", ".com.au", ".nl", ".example", ".biz", ".co"};
    static const char* const kSubdomains[] = {"ads.", "cdn.", "m.", "shop.", "mail.", "img.", "static."};
    std::string host;
    if (random_() % 3 != 0) host = "www.";
    if (random_() % 4 == 0) host = kSubdomains[random_() % 7];
    const int words = 1 + static_cast<int>(random_() % 3);
    for (int w = 0; w < words; ++w) {
      if (w > 0 && random_() % 4 == 0) host += "-";
      const int syllables = 1 + static_cast<int>(random_() % 4);
      for (int s = 0; s < syllables; ++s) host += Syllable();
    }
    if (random_() % 6 == 0) host += std::to_string(random_() % 100);
    return host + kTlds[random_() % 15];
  }
  std::mt19937& Random() { return random_; }

 private:
  std::string Syllable() {
    static const char* const kOnsets[] = {"b", "c", "d", "f", "g", "h", "j", "k", "l", "m", "n", "p", "r", "s",
                                          "t", "v", "w", "z", "br", "ch", "cl", "dr", "fl", "gr", "pl", "sh",
                                          "st", "th", "tr", ""};
    static const char* const kVowels[] = {"a", "e", "i", "o", "u", "y", "ai", "ea", "ou", "oo"};
    static const char* const kCodas[] = {"", "", "", "n", "r", "s", "t", "x"};
    return std::string(kOnsets[random_() % 30]) + kVowels[random_() % 10] + kCodas[random_() % 8];
  }
  std::mt19937 random_;
};

std::vector<std::string> MakeHosts(int entries, unsigned seed = 42) {
  HostMaker maker(seed);
  std::vector<std::string> hosts;
  for (int i = 0; i < entries; ++i) hosts.push_back(maker.Host());
  return hosts;
}

std::string ListTextOf(const std::vector<std::string>& hosts) {
  std::string text;
  for (const std::string& host : hosts) text += host + "\r\n";
  return text;
}

constexpr int kFullList = 32767;

class QuietHost : public PopupHost {
 public:
  PopupOptions ReadOptions() override { return {.chkStopPop = true, .chkAuto = true, .chkSound = false, .chkLinks = true}; }
  void ProcessPendingMessagesOnce() override {}
  bool WaitForMessage() override { return false; }
  void PlayBlockSound() override {}
  void StartBlockSound() override {}
  void AllowNextChanged() override {}
  bool ShowSetupPrompt() override { return false; }
};

// A request from a page of a site on neither list (both lists are searched),
// decided from its address. The address is handed over as a view, as a
// browser side that keeps it would.
void BM_Decide(benchmark::State& bench) {
  ProgramState state;
  state.strAllowed.Assign(ListTextOf(MakeHosts(static_cast<int>(bench.range(0)))));
  state.strDisallowed.Assign(ListTextOf(MakeHosts(static_cast<int>(bench.range(0)), 43)));
  state.strStatusText = "Done";
  QuietHost host;
  const std::string page = "http://www.Qzxwvkjhgfdsmn.com/articles/today.html?ref=http://x";
  const long before = bench::AllocationsMade();
  for (auto _ : bench) {
    const auto verdict = DecideNewWindow(state, host, [&] { return std::optional<std::string_view>(page); });
    benchmark::DoNotOptimize(verdict);
  }
  bench.counters["allocations_per_request"] =
      static_cast<double>(bench::AllocationsMade() - before) / static_cast<double>(bench.iterations());
}

// The same, with the page addresses of realistic requests: sites on the
// allowed list, on the disallowed list, on neither.
void BM_DecideRealisticPages(benchmark::State& bench) {
  const std::vector<std::string> allowed = MakeHosts(kFullList);
  const std::vector<std::string> disallowed = MakeHosts(kFullList, 43);
  ProgramState state;
  state.strAllowed.Assign(ListTextOf(allowed));
  state.strDisallowed.Assign(ListTextOf(disallowed));
  QuietHost host;
  HostMaker maker(44);
  std::vector<std::string> pages;
  for (int i = 0; i < 3000; ++i) {
    const std::string site = i % 3 == 0 ? allowed[maker.Random()() % allowed.size()]
                             : i % 3 == 1 ? disallowed[maker.Random()() % disallowed.size()]
                                          : maker.Host();
    pages.push_back((i % 2 ? "https://" : "http://") + site + "/path/to/page.html?q=http://other.example/");
  }
  std::size_t next = 0;
  const long before = bench::AllocationsMade();
  for (auto _ : bench) {
    const std::string& page = pages[next++ % pages.size()];
    const auto verdict = DecideNewWindow(state, host, [&] { return std::optional<std::string_view>(page); });
    benchmark::DoNotOptimize(verdict);
  }
  bench.counters["allocations_per_request"] =
      static_cast<double>(bench::AllocationsMade() - before) / static_cast<double>(bench.iterations());
}

// The straightforward way: lower-case site and list text at every request.
void BM_DecideNaive(benchmark::State& bench) {
  const std::string list = ListTextOf(MakeHosts(static_cast<int>(bench.range(0))));
  const char* page = "http://www.Qzxwvkjhgfdsmn.com/articles/today.html?ref=http://x";
  for (auto _ : bench) {
    const std::string site = AsciiLower(SiteOfAddress(page));
    const std::string text = AsciiLower(list);
    const bool on_list = !text.empty() && text.find(site) != std::string::npos;
    benchmark::DoNotOptimize(on_list);
  }
}

// What the store does once per change of a list.
void BM_Prepare(benchmark::State& bench) {
  const std::string list = ListTextOf(MakeHosts(static_cast<int>(bench.range(0))));
  SiteListText prepared;
  for (auto _ : bench) {
    prepared.Assign(list);
    benchmark::DoNotOptimize(prepared);
  }
  // The heap a freshly prepared copy holds, text and index together.
  const std::size_t heap_before = bench::HeapBytesInUse();
  std::size_t held = 0;
  {
    SiteListText measured;
    measured.Assign(list);
    held = bench::HeapBytesInUse() - heap_before;
  }
  bench.counters["bytes_per_entry"] = static_cast<double>(held) / static_cast<double>(bench.range(0));
  bench.counters["text_bytes_per_entry"] = static_cast<double>(list.size()) / static_cast<double>(bench.range(0));
}

// Nanoseconds one call of `query` takes, the best of a few timed runs.
template <typename Query>
double NanosecondsPerCall(Query&& query) {
  using Clock = std::chrono::steady_clock;
  int repeats = 1;
  double best = 1e30;
  for (int round = 0; round < 5; ++round) {
    for (;;) {
      const auto start = Clock::now();
      for (int i = 0; i < repeats; ++i) benchmark::DoNotOptimize(query());
      const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
      if (ns < 20000 && repeats < (1 << 20)) {
        repeats *= 4;
        continue;
      }
      best = std::min(best, ns / repeats);
      break;
    }
  }
  return best;
}

// Nanoseconds one pass over all `sites` takes per site, the best of a few
// passes: a different site at every call, as requests come.
template <typename Query>
double MeanOverSet(const std::vector<std::string>& sites, Query&& query, int calls = 20000, int rounds = 5) {
  using Clock = std::chrono::steady_clock;
  const int passes = std::max(1, calls / static_cast<int>(sites.size()));
  double best = 1e30;
  for (int round = 0; round < rounds; ++round) {
    const auto start = Clock::now();
    for (int pass = 0; pass < passes; ++pass) {
      for (const std::string& site : sites) benchmark::DoNotOptimize(query(site));
    }
    best = std::min(best, std::chrono::duration<double, std::nano>(Clock::now() - start).count());
  }
  return best / (static_cast<double>(passes) * static_cast<double>(sites.size()));
}

// Each site of a set against a 32767-entry list of realistic host names:
// the mean over the set and the slowest site, beside memmem over the folded
// text for the same sites, and one memmem over the whole text (a site found
// nowhere): the bound no site may pass.
void RunSiteSet(benchmark::State& bench, const std::vector<std::string>& sites) {
  static const std::vector<std::string> hosts = MakeHosts(kFullList);
  static const SiteListText list(ListTextOf(hosts));
  static const std::string folded = FoldCase(ListTextOf(hosts));
  auto memmem_of = [&](const std::string& site) {
    const std::string f = FoldCase(site);
    return memmem(folded.data(), folded.size(), f.data(), f.size()) != nullptr;
  };
  auto contains = [&](const std::string& site) { return list.Contains(site); };
  double mean = 0, slowest = 0, memmem_mean = 0, memmem_slowest = 0;
  std::string slowest_site;
  for (auto _ : bench) {
    slowest = memmem_slowest = 0;
    for (const std::string& site : sites) {
      if (list.Contains(site) != memmem_of(site)) bench.SkipWithError("the index and memmem disagree");
      const double ns = NanosecondsPerCall([&] { return contains(site); });
      if (ns > slowest) {
        slowest = ns;
        slowest_site = site.substr(0, 24);
      }
      memmem_slowest = std::max(memmem_slowest, NanosecondsPerCall([&] { return memmem_of(site); }));
    }
    mean = MeanOverSet(sites, contains);
    memmem_mean = MeanOverSet(sites, memmem_of, 1, 2);
  }
  const std::string absent = "\x01\x02\x03\x04";
  const double whole = NanosecondsPerCall(
      [&] { return memmem(folded.data(), folded.size(), absent.data(), absent.size()) != nullptr; });
  bench.counters["mean_ns"] = mean;
  bench.counters["slowest_ns"] = slowest;
  bench.counters["memmem_mean_ns"] = memmem_mean;
  bench.counters["memmem_slowest_ns"] = memmem_slowest;
  bench.counters["memmem_whole_text_ns"] = whole;
  bench.SetLabel("slowest: " + slowest_site);
}

std::vector<std::string> MissSites() {
  const std::string text = FoldCase(ListTextOf(MakeHosts(kFullList)));
  HostMaker maker(1001);
  std::vector<std::string> sites;
  while (sites.size() < 200) {
    const std::string host = maker.Host();
    if (text.find(FoldCase(host)) == std::string::npos) sites.push_back(host);
  }
  return sites;
}

std::vector<std::string> HitSites() {
  const std::vector<std::string> hosts = MakeHosts(kFullList);
  std::mt19937 random(5);
  std::vector<std::string> sites;
  for (int i = 0; i < 200; ++i) {
    std::string host = hosts[random() % hosts.size()];
    if (i % 3 == 1) {  // the parent of a listed sub-domain
      const std::size_t dot = host.find('.');
      if (dot != std::string::npos && host.find('.', dot + 1) != std::string::npos) host = host.substr(dot + 1);
    } else if (i % 3 == 2) {  // other letter case
      for (char& c : host) {
        if (random() % 2) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      }
    }
    sites.push_back(host);
  }
  return sites;
}

void BM_SitesMisses(benchmark::State& bench) {
  static const std::vector<std::string> sites = MissSites();
  RunSiteSet(bench, sites);
}
void BM_SitesHits(benchmark::State& bench) {
  static const std::vector<std::string> sites = HitSites();
  RunSiteSet(bench, sites);
}
void BM_SitesShort(benchmark::State& bench) { RunSiteSet(bench, {"w", "ww", "com", "q", "qj", "zzq", ".c", "x-"}); }
void BM_SitesCommonPieces(benchmark::State& bench) {
  RunSiteSet(bench, {"www.", "www.com", "www.co", ".co.uk", "wwwwwwww", "www.www.", ".com.com", "www.co.uk.",
                     "shop.www.", ".comwww.", "www.-", "newsnewsnewsnews", "www.news.co.uk.com"});
}
void BM_SitesLong(benchmark::State& bench) {
  std::mt19937 random(9);
  std::string letters, pieces, entry_repeated;
  for (int i = 0; i < 2000; ++i) letters.push_back(static_cast<char>('a' + random() % 26));
  while (pieces.size() < 2000) pieces += "www.";
  const std::vector<std::string> hosts = MakeHosts(kFullList);
  while (entry_repeated.size() < 2000) entry_repeated += hosts[7];
  RunSiteSet(bench, {letters, pieces.substr(0, 2000), entry_repeated.substr(0, 2000), std::string(2000, 'w')});
}

BENCHMARK(BM_Decide)->Arg(10)->Arg(1000)->Arg(kFullList);
BENCHMARK(BM_DecideRealisticPages);
BENCHMARK(BM_DecideNaive)->Arg(10)->Arg(kFullList);
BENCHMARK(BM_Prepare)->Arg(10)->Arg(1000)->Arg(kFullList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SitesMisses)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SitesHits)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SitesShort)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SitesCommonPieces)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SitesLong)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quellix

BENCHMARK_MAIN();
