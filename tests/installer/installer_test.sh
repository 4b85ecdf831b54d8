#!/usr/bin/env bash
# The installer under Wine: a silent per-user install, the program found in
# the user's local programs folder and registered; an install over it keeps
# the user's lists; a silent uninstall closes the running copy and leaves
# nothing but the user's data; /REMOVEDATA removes that too.
#   installer_test.sh <setup.exe>
set -uo pipefail
source "$(dirname "$0")/../../tools/wine-env.sh"
setup="$1"
failures=0
check() {  # check <description> <command...>
  local what="$1"; shift
  if "$@" >/dev/null 2>&1; then echo "ok   - $what"; else echo "FAIL - $what"; failures=$((failures + 1)); fi
}
absent() { ! "$@"; }
reg_has() { wine reg query "$1" ${2:+/v "$2"} >/dev/null 2>&1; }

product="Quellix Pop-Up Blocker"
uninstall_key="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
settings_key="HKCU\\Software\\VB and VBA Program Settings\\$product\\Settings"
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
button_key='HKLM\Software\Microsoft\Internet Explorer\Extensions\{ECC5777A-6E88-BFCE-13CE-81F134789E7B}'
host_keys=('HKCU\Software\Google\Chrome\NativeMessagingHosts\quellix.popup_blocker'
           'HKCU\Software\Microsoft\Edge\NativeMessagingHosts\quellix.popup_blocker'
           'HKCU\Software\Mozilla\NativeMessagingHosts\quellix.popup_blocker')
host_files=(quellix.popup_blocker.chromium.json quellix.popup_blocker.chromium.json quellix.popup_blocker.firefox.json)
# The key's default value names the host manifest beside the program.
host_registered() { wine reg query "$1" /ve 2>/dev/null | tr -d '\r' | grep -qF "Programs\\$product\\$2"; }
local_appdata="$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')"
dir="$(winepath -u "$local_appdata\\Programs\\$product" 2>/dev/null)"

wait_for() {  # wait_for <command...>: up to 30 s until the command succeeds
  local i
  for i in $(seq 1 150); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  return 1
}
wait_gone() { wait_for absent test -e "$1"; }  # the uninstaller runs on from a temporary copy
# Only the installed copy counts: other programs' copies may run from elsewhere.
installed_copy_runs() { pgrep -f 'Programs.Quellix Pop-Up Blocker.QuellixPopUpBlocker.exe'; }

rm -rf "$dir"
wine "$setup" /S
check "program installed in %LOCALAPPDATA%\\Programs" test -f "$dir/QuellixPopUpBlocker.exe"
for f in Help.rtf icon.ico hoticon.ico sounds/pop.wav Uninstall.exe QuellixBridge.exe "${host_files[@]}" \
         extension/manifest.json extension/background.js policy/quellix.admx policy/en-US/quellix.adml; do
  check "$f installed" test -f "$dir/$f"
done
for i in 0 1 2; do check "native messaging host registered: ${host_keys[$i]}" host_registered "${host_keys[$i]}" "${host_files[$i]}"; done
check "no list files shipped" absent test -e "$dir/allowed.txt"
check "installed-programs entry DisplayName" reg_has "$uninstall_key" DisplayName
check "installed-programs entry UninstallString" reg_has "$uninstall_key" UninstallString
for v in DisplayIcon Publisher DisplayVersion; do check "installed-programs entry $v" reg_has "$uninstall_key" "$v"; done
check "Start-menu shortcut" test -n "$(find "$WINEPREFIX/drive_c" -name "$product.lnk" 2>/dev/null)"

# The user's data, and the entries the program itself writes.
printf 'mine.example\r\n\r\n' >"$dir/allowed.txt"
wine reg add "$settings_key" /v chkSound /d 0 /f >/dev/null 2>&1
wine reg add "$run_key" /v "$product" /d "\"$local_appdata\\Programs\\$product\\QuellixPopUpBlocker.exe\"" /f >/dev/null 2>&1
wine reg add "$button_key" /v MenuText /d "&$product" /f >/dev/null 2>&1

wine "$setup" /S
check "installing again keeps the user's list" grep -q mine.example "$dir/allowed.txt"

# A running copy is closed by the uninstaller.
wine "$dir/QuellixPopUpBlocker.exe" &
check "installed copy running before the uninstall" wait_for installed_copy_runs
wine "$dir/Uninstall.exe" /S
check "uninstaller finished" wait_gone "$dir/Uninstall.exe"
check "running copy ended" wait_for absent installed_copy_runs
check "program removed" absent test -e "$dir/QuellixPopUpBlocker.exe"
check "help and sounds removed" absent test -e "$dir/sounds/pop.wav"
check "user's list kept" grep -q mine.example "$dir/allowed.txt"
check "settings kept" reg_has "$settings_key" chkSound
check "installed-programs entry removed" absent reg_has "$uninstall_key"
check "start-up entry removed" absent reg_has "$run_key" "$product"
check "toolbar button removed" absent reg_has "$button_key"
for key in "${host_keys[@]}"; do check "native messaging host unregistered: $key" absent reg_has "$key"; done
check "host and extension removed" absent test -e "$dir/QuellixBridge.exe" -o -e "$dir/extension"
check "shortcut removed" test -z "$(find "$WINEPREFIX/drive_c" -name "$product.lnk" 2>/dev/null)"

# Removing the user's data on request.
wine "$setup" /S
wine "$dir/Uninstall.exe" /S /REMOVEDATA
check "uninstaller with /REMOVEDATA finished" wait_gone "$dir/Uninstall.exe"
sleep 1
check "lists removed on request" absent test -e "$dir/allowed.txt"
check "folder removed" absent test -e "$dir"
check "settings removed on request" absent reg_has "$settings_key"

[ $failures -eq 0 ] && echo "installer: all checks passed"
exit $((failures > 0))
