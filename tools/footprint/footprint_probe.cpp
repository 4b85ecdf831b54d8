// Reports the private memory of a running program, as Windows counts it for
// that process (GetProcessMemoryInfo).
//   footprint_probe <exe file name>
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fwprintf(stderr, L"usage: footprint_probe <exe file name>\n");
    return 2;
  }
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD pid = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (_wcsicmp(entry.szExeFile, argv[1]) == 0) pid = entry.th32ProcessID;
  }
  CloseHandle(snapshot);
  if (pid == 0) {
    std::fwprintf(stderr, L"%ls is not running\n", argv[1]);
    return 1;
  }
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (!process || !GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
    std::fwprintf(stderr, L"cannot read the memory counters of %ls\n", argv[1]);
    return 1;
  }
  CloseHandle(process);
  // PagefileUsage is the same count as PrivateUsage on Windows; Wine fills only the former.
  const SIZE_T private_bytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
  std::printf("private memory: %.0f KiB (working set %.0f KiB)\n", private_bytes / 1024.0,
              memory.WorkingSetSize / 1024.0);
  return 0;
}
