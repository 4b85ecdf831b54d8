#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for the given number of seconds
# (default 20), starting from the seed corpora in fuzz/corpus. Fails on any
# crash, leak or timeout. Prints executions per second for each target.
#   tools/fuzz.sh [seconds] [target...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-20}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(site decision list_file settings browser_message)

available=()
for t in "${targets[@]}"; do
  [ -f "fuzz/fuzz_$t.cpp" ] && available+=("$t")
done
tools/build.sh fuzz "${available[@]/#/quellix_fuzz_}" >/dev/null

# The list and settings targets write a file per run and flush it; on a
# memory file system that costs little, so the runs go faster.
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm

status=0
for t in "${available[@]}"; do
  work="build/fuzz-corpus/$t"
  mkdir -p "$work" "build/fuzz-artifacts/$t"
  cp -n fuzz/corpus/"$t"/* "$work"/ 2>/dev/null || true
  log="build/fuzz-artifacts/$t/last-run.log"
  if build/fuzz/fuzz/quellix_fuzz_"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="build/fuzz-artifacts/$t/" -print_final_stats=1 "$work" >"$log" 2>&1; then
    runs=$(grep -a -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
    echo "fuzz $t: ok, $runs runs in ${seconds}s ($(( ${runs:-0} / seconds )) per second)"
  else
    echo "fuzz $t: FAILED (see $log)"
    tail -30 "$log"
    status=1
  fi
done
exit $status
