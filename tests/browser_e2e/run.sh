#!/usr/bin/env bash
# CTest's command for the real-browser test, its output through a file (Wine's
# helper processes, started on the way, outlive it). The first argument may
# name another run than browser_e2e.mjs.
script=browser_e2e.mjs
case "${1:-}" in *.mjs) script="$1"; shift ;; esac
source "$(dirname "$0")/../../tools/wine-env.sh"
quellix_through_file node "$(dirname "$0")/$script" "$@"
