#include "core/ie_windows.h"

namespace quellix {
namespace {

void DropSinks(std::vector<std::shared_ptr<IE_Class>>& sinks) {
  // Ended first: a sink whose event is running (in a nested message loop)
  // outlives the collection, and must not answer that window's requests
  // beside the fresh sink that replaces it.
  for (const auto& sink : sinks) sink->End();
  sinks.clear();
}

}  // namespace

std::shared_ptr<cIEWindows> cIEWindows::Create(ShellWindowsFactory& shell, ProgramState& state,
                                               PopupHost& host) {
  std::shared_ptr<cIEWindows> tracker(new cIEWindows(shell, state, host));
  tracker->refreshIE();
  return tracker;
}

cIEWindows::~cIEWindows() {
  DropSinks(colIE);
  winShellEvents_.reset();
  winShell.reset();
}

// The reader and both event handlers would wait here while a rebuild runs.
// Rebuilds run only on this thread, so a rebuild that is running at that point
// is one further down the same call stack: it cannot finish before we return,
// and waiting for it would never end. So none of them waits.

std::shared_ptr<IE_Class> cIEWindows::IE(long vntIndexKey) {
  if (vntIndexKey < 1 || vntIndexKey > Count()) return nullptr;
  return colIE[static_cast<std::size_t>(vntIndexKey - 1)];
}

bool cIEWindows::closeIE() {
  if (colIE.empty()) return false;
  // Held for the call: a call to the browser's process lets events in while
  // it waits, and a WindowRevoked among them rebuilds and drops this sink.
  const std::shared_ptr<BrowserWindow> browser = colIE.front()->IE();
  return browser && browser->Quit();
}

std::shared_ptr<IE_Class> cIEWindows::addIE(std::shared_ptr<BrowserWindow> browser, unsigned long long rebuild) {
  auto sink = std::make_shared<IE_Class>(state_, host_);
  sink->SetIEctl(std::move(browser));
  // A rebuild nested in the window's Advise has given it its sink already.
  if (Overtaken(rebuild)) {
    sink->End();
    return nullptr;
  }
  colIE.push_back(sink);
  return sink;
}

void cIEWindows::removeIE(long vntIndexKey) {
  if (vntIndexKey < 1 || vntIndexKey > Count()) return;
  const auto position = colIE.begin() + (vntIndexKey - 1);
  (*position)->End();
  colIE.erase(position);
}

void cIEWindows::refreshIE() {
  // No busy flag: a rebuild runs to its end (or is overtaken) on this thread
  // before its caller goes on, so nothing ever waits for one to finish.
  // Every call below goes to the browser side, and an event that comes in
  // during one (a call to another process waits in a message loop) runs a
  // rebuild nested in this one. That rebuild saw the windows later than this
  // one: its collection stands, and this rebuild stops where it is, so that no
  // window gets a second sink.
  const unsigned long long rebuild = ++rebuilds_;

  std::vector<std::shared_ptr<IE_Class>> old;
  old.swap(colIE);
  DropSinks(old);
  if (Overtaken(rebuild)) return;

  std::shared_ptr<ShellWindowList> list = shell_.Create();
  if (!list || Overtaken(rebuild)) return;
  ShellWindowList::Enumeration windows = list->Windows();
  if (Overtaken(rebuild)) return;
  for (auto& browser : windows.windows) {
    if (!browser) return;  // an entry that is not a browser stops the rebuild
    addIE(std::move(browser), rebuild);
    if (Overtaken(rebuild)) return;
  }
  if (!windows.complete) return;

  if (!boolHooked) {
    auto subscription = list->Subscribe(weak_from_this());
    if (!subscription) return;
    // A rebuild nested in the subscription that subscribed too is replaced
    // here, its subscription ended: the events arrive once.
    winShell = list;
    winShellEvents_ = std::move(subscription);
  }
  boolHooked = true;
}

void cIEWindows::WinShell_WindowRegistered(long /*lCookie*/) {
  const auto keep_alive = shared_from_this();
  refreshIE();
}

void cIEWindows::WinShell_WindowRevoked(long /*lCookie*/) {
  const auto keep_alive = shared_from_this();
  refreshIE();
}

}  // namespace quellix
