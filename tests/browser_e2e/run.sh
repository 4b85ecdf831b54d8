#!/usr/bin/env bash
# CTest's command for the real-browser test. The output goes through a file:
# Wine's helper processes, started on the way, outlive the test and would hold
# CTest's pipe open until they end.
# The first argument may name another run than browser_e2e.mjs.
script=browser_e2e.mjs
case "${1:-}" in *.mjs) script="$1"; shift ;; esac
out="$(mktemp)"
node "$(dirname "$0")/$script" "$@" >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
exit $rc
