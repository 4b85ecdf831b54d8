#!/usr/bin/env bash
# Runs one Windows program under Wine in a prefix made for this run alone (a
# first start with nothing stored), and removes the prefix afterwards. Wine
# draws the title bars itself, as no window manager runs on Xvfb.
#
# Screenshots: the program writes "<W>x<H>+<X>+<Y> <png path>" to the file
# named by QUELLIX_SCREENSHOT_REQUEST; this script takes that part of the
# screen from the X server and answers with "<request>.done".
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
prefix="$(mktemp -d "${TMPDIR:-/tmp}/quellix-fresh-prefix.XXXXXX")"
export QUELLIX_WINEPREFIX="$prefix"
source "$root/tools/wine-env.sh"
export QUELLIX_SCREENSHOT_REQUEST="$prefix.screenshot"
take_screenshots() {
  while [ ! -e "$QUELLIX_SCREENSHOT_REQUEST.stop" ]; do
    if [ -e "$QUELLIX_SCREENSHOT_REQUEST" ]; then
      read -r geometry png <"$QUELLIX_SCREENSHOT_REQUEST"
      rm -f "$QUELLIX_SCREENSHOT_REQUEST"
      import -window root -crop "$geometry" +repage "$png" >/dev/null 2>&1
      touch "$QUELLIX_SCREENSHOT_REQUEST.done"
    fi
    sleep 0.1
  done
}
take_screenshots &
watcher=$!
cleanup() {
  touch "$QUELLIX_SCREENSHOT_REQUEST.stop"
  wait "$watcher" 2>/dev/null
  rm -f "$QUELLIX_SCREENSHOT_REQUEST" "$QUELLIX_SCREENSHOT_REQUEST".*
  # Only this prefix's server and programs.
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  rm -rf "$prefix"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
wineserver -w
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
wineserver -w
wineserver -p
quellix_through_file wine "$@"
