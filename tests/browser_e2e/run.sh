#!/usr/bin/env bash
# CTest's command for the real-browser test. The output goes through a file:
# Wine's helper processes, started on the way, outlive the test and would hold
# CTest's pipe open until they end.
out="$(mktemp)"
node "$(dirname "$0")/browser_e2e.mjs" "$@" >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
exit $rc
