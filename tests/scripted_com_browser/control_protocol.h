// How a test drives the scripted COM browser side. The server DLL creates a
// message-only window of this class on the thread that first asks it for a
// ShellWindows (the program's user-interface thread), and every command is a
// WM_COPYDATA sent to that window: from the same process or from another,
// the command runs on that thread, as browser events do, and its answer is
// the message's result.
#pragma once

#include <windows.h>

#include <cstdint>

namespace quellix::testing::scripted_com {

inline constexpr wchar_t kControlWindowClass[] = L"QuellixScriptedComBrowserControl";

// COPYDATASTRUCT::dwData.
enum class Command : ULONG_PTR {
  kReset = 1,             // closes every window without events, clears counters and failures
  kOpenWindow,            // text = address, number = 1 to raise WindowRegistered; answer: window id
  kCloseWindow,           // number = 1 to raise WindowRevoked
  kNavigate,              // text = address
  kStatusTextChange,      // text = status text
  kNewWindow2,            // number = Cancel as passed (a VARIANT_BOOL); answer: see NewWindow2Answer
  kOtherEvent,            // number = dispatch identifier; answer 1 when every argument came back as passed
  kWindowRegistered,      // raises the event without a window change; window = cookie
  kWindowRevoked,         // the same for WindowRevoked
  kQuery,                 // number = Query; window = the window asked about
  kSetFailure,            // window = 0 for the shell; number = Failure; text "1" on, "0" off
  kRaiseDuringNextCall,   // number = Stage: inside the next such call, WindowRegistered is raised
};

// Calls of the program into the browser side during which an event can come
// in: a call to another process waits in a message loop, where the events
// queued meanwhile are delivered. kRaiseDuringNextCall makes that happen.
enum class Stage : std::int32_t {
  kWindowUnadvise = 1,  // a sink leaves a window's DWebBrowserEvents2
  kShellCreate,         // a ShellWindows is created
  kItem,                // a window is read from the list
  kWindowAdvise,        // a sink joins a window's DWebBrowserEvents2
};

// The fixed part of lpData; the UTF-16 text follows it up to cbData.
struct Request {
  std::int32_t window = 0;
  std::int32_t number = 0;
};

enum class Query : std::int32_t {
  kReferences = 1,       // the window's COM reference count (1 while only the shell holds it)
  kConnections,          // sinks advised on the window's DWebBrowserEvents2
  kQuitRequests,         // calls of the window's Quit
  kOpenWindows,          // windows in the list
  kLiveShells,           // ShellWindows objects alive
  kShellsCreated,        // ShellWindows objects created since the last reset
  kShellConnections,     // sinks advised on DShellWindowsEvents, all lists together
  kShellAdvises,         // Advise calls on DShellWindowsEvents since the last reset
  kStrayUnadvises,       // Unadvise calls with a cookie that was not advised
  kOverReleases,         // Release calls that would have freed an object still in use
  kLiveWindows,          // browser objects alive, in the list or not
  kHeldReferences,       // references to open windows beyond the list's own, all together
  kHeldSinks,            // sinks offered to Advise since the last reset that anything still holds
};

enum class Failure : std::int32_t {
  kCreate = 1,      // shell: the class factory refuses to create a ShellWindows
  kCount,           // shell: get_Count fails
  kItem,            // shell: Item fails
  kShellAdvise,     // shell: Advise on DShellWindowsEvents fails
  kAdvise,          // window: Advise on DWebBrowserEvents2 fails
  kLocationURL,     // window: get_LocationURL fails
};

// Answers of kNewWindow2: the low 16 bits hold Cancel as the sinks left it.
inline constexpr LRESULT kPpDispTouched = 0x10000;  // some sink wrote to ppDisp
inline constexpr LRESULT kNoSuchWindow = -1;
inline constexpr LRESULT kBadRequest = -2;

}  // namespace quellix::testing::scripted_com
