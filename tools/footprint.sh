#!/usr/bin/env bash
# Prints the program's footprint: release exe size, processor time over 10
# seconds idle after start and over 10 seconds with the setup-mode prompt
# waiting for an answer, and private memory with allowed lists of 10 and of
# 32767 sites. Runs the Windows build under Wine on Xvfb.
#
# Processor time is read from Linux (/proc/<pid>/task/*/schedstat, in
# nanoseconds) because Wine reports no times for another process; memory is
# what Windows counts for the process (GetProcessMemoryInfo).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
tools/install-deps.sh
tools/build.sh windows QuellixPopUpBlocker footprint_probe footprint_prompt >/dev/null
exe="$root/build/windows/app/QuellixPopUpBlocker.exe"
probe="$root/build/windows/tools/footprint/footprint_probe.exe"
prompt_driver="$root/build/windows/tools/footprint/footprint_prompt.exe"
scripted_browser="$root/build/windows/tests/scripted_com_browser.dll"
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
  cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{sum += $1} END {printf "%.0f\n", sum}'
}

# The Linux process of the program started from folder $1: other copies may
# run on this machine (other prefixes, other tests), and a driver names the
# program on its own command line. Wine shows Unix or Windows paths there.
program_pid() {
  local p cmd name
  name="$(basename "$1")"
  for _ in $(seq 1 100); do
    for p in $(pgrep -f 'QuellixPopUpBlocker.exe'); do
      cmd="$(tr '\0' ' ' <"/proc/$p/cmdline" 2>/dev/null)" || continue
      case "$cmd" in *footprint_prompt*) continue ;; *"$name"*) echo "$p"; return ;; esac
    done
    sleep 0.1
  done
}

# Ends the program and waits until it is gone: a copy still running would
# take over the next start (one copy per session).
end_program() {
  kill "$1" 2>/dev/null || true
  for _ in $(seq 1 50); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$1" 2>/dev/null || true
  sleep 0.5
}

# The wineserver of this prefix (others may run for other prefixes): it
# works in a folder named after the prefix's device and inode.
prefix_wineserver() {
  local p tag
  tag="server-$(stat -c %D "$WINEPREFIX")-$(printf %x "$(stat -c %i "$WINEPREFIX")")"
  for p in $(pgrep -f wineserver); do
    case "$(readlink "/proc/$p/cwd" 2>/dev/null)" in *"$tag") echo "$p"; return ;; esac
  done
}

# Processor time of the program and of wineserver over the next 10 seconds.
measure_10s() {
  local pid="$1" label="$2" server a sa b sb
  server="$(prefix_wineserver)"
  a=$(cpu_ns "$pid"); sa=$(cpu_ns "$server")
  sleep 10
  b=$(cpu_ns "$pid"); sb=$(cpu_ns "$server")
  awk -v p=$((b - a)) -v s=$((sb - sa)) -v l="$label" \
    'BEGIN { printf "processor time over 10 s %s: %.1f ms (wineserver: %.1f ms)\n", l, p / 1e6, s / 1e6 }'
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
  pid="$(program_pid "$dir")"
  measure_10s "$pid" "idle, main window shown"
  wine "$probe" QuellixPopUpBlocker.exe 2>/dev/null | tr -d '\r'
  end_program "$pid"
  if [ "$entries" = 10 ]; then
    # A scripted page of a site on neither list asks for a window in setup
    # mode; the prompt waits while the program is measured.
    log="$dir/prompt.log"
    wine "$prompt_driver" "$dir/QuellixPopUpBlocker.exe" "$scripted_browser" 15 >"$log" 2>&1 &
    driver=$!
    for _ in $(seq 1 600); do grep -aq 'prompt waiting' "$log" && break; sleep 0.1; done
    if grep -aq 'prompt waiting' "$log"; then
      sleep 1
      pid="$(program_pid "$dir")"
      measure_10s "$pid" "with the setup-mode prompt waiting"
      wine "$probe" QuellixPopUpBlocker.exe 2>/dev/null | tr -d '\r'
    else
      echo "the setup-mode prompt did not show:"; tr -d '\r' <"$log"
    fi
    wait "$driver" || { echo "the prompt driver failed:"; tr -d '\r' <"$log"; }
  fi
  rm -rf "$dir"
done
