#!/usr/bin/env bash
# CTest's emulator for the Windows build: runs one Windows program under Wine
# in the build's prefix and passes its output and exit code on.
#
# The output goes through a file: Wine's helper processes (services, the
# desktop window) outlive the program and would otherwise hold CTest's pipe
# open until they end.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
out="$(mktemp)"
wine "$@" </dev/null >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
exit $rc
