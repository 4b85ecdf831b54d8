#!/usr/bin/env bash
# Prints the program's footprint: release exe size, processor time over 10
# seconds idle after start, and private memory with allowed lists of 10 and
# of 32767 sites. Runs the Windows build under Wine on Xvfb.
#
# Processor time is read from Linux (/proc/<pid>/task/*/schedstat, in
# nanoseconds) because Wine reports no times for another process; memory is
# what Windows counts for the process (GetProcessMemoryInfo).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
tools/install-deps.sh
tools/build.sh windows QuellixPopUpBlocker footprint_probe >/dev/null
exe="$root/build/windows/app/QuellixPopUpBlocker.exe"
probe="$root/build/windows/tools/footprint/footprint_probe.exe"
echo "release exe: $(stat -c %s "$exe") bytes ($(( $(stat -c %s "$exe") / 1024 )) KiB)"

# A prefix of its own: other Wine programs must not share its wineserver.
export QUELLIX_WINEPREFIX="${QUELLIX_WINEPREFIX:-$root/build/wineprefix-footprint}"
source tools/wine-env.sh
quellix_start_xvfb
trap 'wineserver -k >/dev/null 2>&1 || true; kill "$QUELLIX_XVFB_PID" 2>/dev/null || true' EXIT
quellix_wine_prefix
wineserver -p || true  # already running for this prefix: share it

# Nanoseconds on the processor, all threads of a process together.
cpu_ns() {
  cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{sum += $1} END {print sum + 0}'
}

for entries in 10 32767; do
  dir="$(mktemp -d)"
  cp "$exe" "$dir/"
  cp -r assets/sounds assets/Help.rtf "$dir/"
  python3 - "$dir/allowed.txt" "$entries" <<'PY'
import random, sys
random.seed(7)
with open(sys.argv[1], 'w', newline='') as f:
    for i in range(int(sys.argv[2])):
        f.write('www.' + ''.join(random.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(random.randint(8, 18))) + '.example\r\n')
    f.write('\r\n')
PY
  printf '\r\n' >"$dir/disallowed.txt"
  echo "== allowed list of $entries sites"
  wine "$dir/QuellixPopUpBlocker.exe" >/dev/null 2>&1 &
  sleep "${QUELLIX_SETTLE_SECONDS:-8}"
  pid="$(pgrep -f 'QuellixPopUpBlocker.exe' | head -1)"
  server="$(pgrep -f wineserver | head -1)"
  a=$(cpu_ns "$pid"); sa=$(cpu_ns "$server")
  sleep 10
  b=$(cpu_ns "$pid"); sb=$(cpu_ns "$server")
  echo "processor time over 10 s idle: $(( (b - a) / 1000000 )) ms (wineserver: $(( (sb - sa) / 1000000 )) ms)"
  wine "$probe" QuellixPopUpBlocker.exe 2>/dev/null | tr -d '\r'
  kill "$pid" 2>/dev/null || true
  sleep 1
  rm -rf "$dir"
done
