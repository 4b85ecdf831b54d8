#!/usr/bin/env bash
# Benchmark, not a test: how soon a blocked window is closed in headless
# chromium with its own pop-up blocker on, the windows opened by clicks on a
# page on no list, with the extension, the host and the program under Wine
# (median and 95th percentile over 50 windows); where the time goes; how many
# of the blocked windows' requests reached the server; the host's and
# program's share.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
tools/install-deps.sh
[ -d node_modules ] || npm ci --no-audit --no-fund --loglevel=error
tools/build.sh windows QuellixPopUpBlocker QuellixBridge program_remote >/dev/null
source tools/wine-env.sh
quellix_wine_session
export QUELLIX_BRIDGE_EXE="$root/build/windows/app/QuellixBridge.exe"
export QUELLIX_PROGRAM_REMOTE="$root/build/windows/tests/browser_e2e/program_remote.exe"
out="$(mktemp)"
node tests/browser_e2e/bench_close_time.mjs >"$out" 2>&1 || { cat "$out"; rm -f "$out"; exit 1; }
cat "$out"
rm -f "$out"
quellix_through_file node tests/browser_e2e/bench_firefox_requests.mjs # Firefox: how many blocked pop-ups reach their server
quellix_through_file node tests/browser_e2e/bench_first_visit.mjs # allowed origins: the first visit's race with the rule
