// Measures how long the real program takes to answer one new-window request
// of a scripted browser window, as the browser side sees it from another
// process: the event goes in, the program's sink reads LocationURL back and
// decides, the answer comes out. Beside it, the floor: a bare call of the
// same kind (the same cross-process message to the scripted side, answered
// there without an event). Medians over 1000 of each.
//   footprint_answer <program exe> <scripted_com_browser.dll>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "tools/footprint/scripted_start.h"

namespace {

using quellix::footprint::Fail;
using quellix::testing::scripted_com::Query;

constexpr const char* kProbe = "footprint_answer";
constexpr int kRequests = 1000;

// Microseconds each call of `call` took, sorted.
template <typename Call>
std::vector<double> Timings(Call&& call) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> us;
  for (int i = 0; i < kRequests; ++i) {
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    if (!call()) return {};
    QueryPerformanceCounter(&b);
    us.push_back(1e6 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(frequency.QuadPart));
  }
  std::sort(us.begin(), us.end());
  return us;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return Fail(kProbe, "usage: footprint_answer <program exe> <scripted_com_browser.dll>");
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // A page of the list's first site: let through, without prompt or sound.
  quellix::footprint::ScriptedStart start;
  if (const char* problem = quellix::footprint::StartWithScriptedPage(
          start, argv[1], argv[2], L"http://www.allowed-first.example/page.html?from=http://x.example/")) {
    return Fail(kProbe, problem);
  }
  auto& browser = start.browser;
  const int window = start.window;

  bool let_through = true;
  const std::vector<double> requests = Timings([&] {
    const auto answer = browser->RaiseNewWindow2(window, VARIANT_TRUE);
    let_through = let_through && answer && answer->cancel == VARIANT_FALSE;
    return answer.has_value();
  });
  const std::vector<double> floor = Timings([&] { return browser->Query(Query::kConnections, window) == 1; });
  PostMessageW(start.main, WM_CLOSE, 0, 0);
  start.program->WaitForExit(20000);
  CoUninitialize();
  if (requests.empty() || floor.empty()) return Fail(kProbe, "a call failed");
  if (!let_through) return Fail(kProbe, "a request was not let through");
  const double median = requests[kRequests / 2];
  const double floor_median = floor[kRequests / 2];
  std::printf("answer to one request, median of %d: %.1f us (90th percentile %.1f us); bare cross-process call: %.1f us; "
              "ratio %.2f\n",
              kRequests, median, requests[kRequests * 9 / 10], floor_median, median / floor_median);
  return 0;
}
