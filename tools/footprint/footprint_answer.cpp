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
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/program_driver.h"
#include "tests/scripted_com_browser/scripted_com_client.h"

namespace {

using quellix::testing::RunningProgram;
using quellix::testing::scripted_com::Query;
using quellix::testing::scripted_com::ScriptedComBrowser;
using quellix::testing::scripted_com::ScriptedComServer;

constexpr int kRequests = 1000;

std::wstring WindowsPathOf(std::wstring path) {
  if (!path.empty() && path.front() == L'/') path = L"Z:" + path;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

int Fail(const char* what) {
  std::printf("footprint_answer: %s\n", what);
  std::fflush(stdout);
  return 1;
}

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
  if (argc < 3) return Fail("usage: footprint_answer <program exe> <scripted_com_browser.dll>");
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ScriptedComServer server(WindowsPathOf(argv[2]));
  if (!server.Registered()) return Fail("the scripted browser side could not be registered");
  RunningProgram program(WindowsPathOf(argv[1]));
  if (!program.Started()) return Fail("the program did not start");
  HWND main = program.WaitForWindow(L"Quellix.Form1", 30000);
  if (main == nullptr) return Fail("no main window");
  std::optional<ScriptedComBrowser> browser = ScriptedComBrowser::Find(program.ProcessId(), 30000);
  if (!browser) return Fail("the program asked for no browser windows");
  // A page of the list's first site: let through, without prompt or sound.
  const int window = browser->OpenWindow(L"http://www.allowed-first.example/page.html?from=http://x.example/");
  if (window < 0 || !quellix::testing::WaitUntil(
                        [&] { return browser->Query(Query::kConnections, window) == 1; }, 10000)) {
    return Fail("the program did not follow the scripted window");
  }

  bool let_through = true;
  const std::vector<double> requests = Timings([&] {
    const auto answer = browser->RaiseNewWindow2(window, VARIANT_TRUE);
    let_through = let_through && answer && answer->cancel == VARIANT_FALSE;
    return answer.has_value();
  });
  const std::vector<double> floor = Timings([&] { return browser->Query(Query::kConnections, window) == 1; });
  PostMessageW(main, WM_CLOSE, 0, 0);
  program.WaitForExit(20000);
  CoUninitialize();
  if (requests.empty() || floor.empty()) return Fail("a call failed");
  if (!let_through) return Fail("a request was not let through");
  const double median = requests[kRequests / 2];
  const double floor_median = floor[kRequests / 2];
  std::printf("answer to one request, median of %d: %.1f us (90th percentile %.1f us); bare cross-process call: %.1f us; "
              "ratio %.2f\n",
              kRequests, median, requests[kRequests * 9 / 10], floor_median, median / floor_median);
  return 0;
}
