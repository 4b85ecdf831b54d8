#!/usr/bin/env bash
# Installs what is missing, builds the Windows program and starts it under Wine:
# on your display when there is one, otherwise on Xvfb, leaving a screenshot.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

tools/install-deps.sh
tools/build.sh windows QuellixPopUpBlocker
exe="$root/build/windows/app/QuellixPopUpBlocker.exe"

source tools/wine-env.sh
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  quellix_wine_prefix
  echo "Starting $exe under Wine on $DISPLAY"
  exec wine "$exe"
fi

quellix_start_xvfb
trap 'wineserver -k >/dev/null 2>&1 || true; kill "$QUELLIX_XVFB_PID" 2>/dev/null || true' EXIT
quellix_wine_prefix
echo "No display: starting $exe under Wine on Xvfb $DISPLAY"
wine "$exe" &
sleep "${QUELLIX_SCREENSHOT_DELAY:-8}"
mkdir -p build/screenshots
shot="$root/build/screenshots/run.png"
import -window root -display "$DISPLAY" "$shot"
echo "Screenshot of the running program: $shot"
