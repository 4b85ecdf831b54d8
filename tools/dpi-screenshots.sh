#!/usr/bin/env bash
# Screenshots of the main window at 96 and 144 DPI (100% and 150%) under Wine
# and Xvfb, each in a prefix of its own: build/screenshots/main_window_<dpi>dpi.png.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
tools/install-deps.sh
tools/build.sh windows QuellixPopUpBlocker >/dev/null
mkdir -p build/screenshots
settings='HKCU\Software\VB and VBA Program Settings\Quellix Pop-Up Blocker\Settings'

for dpi in ${QUELLIX_DPIS:-96 144}; do
  (
    export QUELLIX_WINEPREFIX="$root/build/wineprefix-dpi$dpi"
    source tools/wine-env.sh
    quellix_wine_session
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    wine reg add "$settings" /v showHelp /d 0 /f >/dev/null 2>&1
    dir="$(mktemp -d)"
    cp -r build/windows/app/{QuellixPopUpBlocker.exe,Help.rtf,icon.ico,hoticon.ico,sounds} "$dir/"
    wine "$dir/QuellixPopUpBlocker.exe" >/dev/null 2>&1 &
    sleep "${QUELLIX_SCREENSHOT_DELAY:-12}"
    shot="$root/build/screenshots/main_window_${dpi}dpi.png"
    import -window root -display "$DISPLAY" -trim "$shot"
    echo "$dpi DPI: $shot"
    rm -rf "$dir"
  )
done
