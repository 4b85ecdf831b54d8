#!/usr/bin/env bash
# The installer under Wine: a silent per-user install, the program found in
# the user's local programs folder and registered; an install over it keeps
# the user's lists. Then, beside it, an all-users install from an installer
# signed with a throwaway certificate: every signature verifies, the host is
# registered machine-wide and trusts the IDs given, the program keeps the
# user's lists in %APPDATA%, and its uninstaller takes only what it wrote and
# leaves the per-user install working. Last, a silent uninstall closes the
# running copy and leaves nothing but the user's data; /REMOVEDATA removes that too.
#   installer_test.sh <setup.exe> <QuellixPopUpBlocker.exe> <QuellixBridge.exe> <version>
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../../tools/wine-env.sh"
setup="$1" built_exe="$2" built_bridge="$3" version="$4"
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
# Whether a host manifest trusts exactly the given extensions, as JSON sees it.
manifest_trusts() {  # manifest_trusts <manifest> <allowed_origins|allowed_extensions> <id>...
  node -e 'const [file, field, ...ids] = process.argv.slice(1);
    const m = JSON.parse(require("fs").readFileSync(file, "utf8"));
    process.exit(m.name === "quellix.popup_blocker" && m.path === "QuellixBridge.exe" && m.type === "stdio" &&
      JSON.stringify(m[field]) === JSON.stringify(ids) ? 0 : 1);' "$@"
}
repo_ids() { node -e 'console.log(require(process.argv[1])[process.argv[2]].join(" "))' "$here/../../bridge/$1" "$2"; }

rm -rf "$dir"
wine "$setup" /S
check "program installed in %LOCALAPPDATA%\\Programs" test -f "$dir/QuellixPopUpBlocker.exe"
for f in Help.rtf icon.ico hoticon.ico sounds/pop.wav Uninstall.exe QuellixBridge.exe "${host_files[@]}" \
         extension/manifest.json extension/background.js policy/quellix.admx policy/en-US/quellix.adml; do
  check "$f installed" test -f "$dir/$f"
done
for i in 0 1 2; do check "native messaging host registered: ${host_keys[$i]}" host_registered "${host_keys[$i]}" "${host_files[$i]}"; done
# Without /EXTENSIONIDS= and /FIREFOXIDS= the manifests trust what the repository's do.
check "Chromium host manifest trusts the repository's IDs" manifest_trusts "$dir/${host_files[0]}" allowed_origins \
  $(repo_ids quellix.popup_blocker.chromium.json allowed_origins)
check "Firefox host manifest trusts the repository's IDs" manifest_trusts "$dir/${host_files[2]}" allowed_extensions \
  $(repo_ids quellix.popup_blocker.firefox.json allowed_extensions)
check "no list files shipped" absent test -e "$dir/allowed.txt"
check "installed-programs entry DisplayName" reg_has "$uninstall_key" DisplayName
check "installed-programs entry UninstallString" reg_has "$uninstall_key" UninstallString
for v in DisplayIcon Publisher DisplayVersion; do check "installed-programs entry $v" reg_has "$uninstall_key" "$v"; done
check "Start-menu shortcut" test -n "$(find "$WINEPREFIX/drive_c" -name "$product.lnk" 2>/dev/null)"

# The user's data, and the entries the program itself writes.
printf 'mine.example\r\n\r\n' >"$dir/allowed.txt"
wine reg add "$settings_key" /v chkSound /d 0 /f >/dev/null 2>&1
wine reg add "$run_key" /v "$product" /d "\"$local_appdata\\Programs\\$product\\QuellixPopUpBlocker.exe\"" /f >/dev/null 2>&1
wine reg add "$button_key" /v Exec /d "$local_appdata\\Programs\\$product\\QuellixPopUpBlocker.exe" /f >/dev/null 2>&1

wine "$setup" /S
check "installing again keeps the user's list" grep -q mine.example "$dir/allowed.txt"

# ---- An all-users install beside the per-user one, signed.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A throwaway certificate authority and a code-signing certificate it issues.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quellix test root" -keyout "$work/ca.key" \
  -out "$work/ca.pem" -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign >/dev/null 2>&1
openssl req -newkey rsa:2048 -nodes -subj "/CN=Quellix test signer" -keyout "$work/signer.key" \
  -out "$work/signer.csr" >/dev/null 2>&1
printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$work/signer.ext"
openssl x509 -req -in "$work/signer.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial -days 2 \
  -extfile "$work/signer.ext" -out "$work/signer.pem" >/dev/null 2>&1
cat "$work/signer.pem" "$work/ca.pem" >"$work/chain.pem"
signed_setup="$work/setup-signed.exe"
check "installer built signed" env QUELLIX_SIGN=1 QUELLIX_SIGN_CERT="$work/chain.pem" QUELLIX_SIGN_KEY="$work/signer.key" \
  "$here/../../installer/make-installer.sh" "$signed_setup" "$built_exe" "$built_bridge" "$version"
signature_verifies() { osslsigncode verify -CAfile "$work/ca.pem" -in "$1"; }
check "installer signature verifies against the test root" signature_verifies "$signed_setup"
check "an unsigned installer does not verify" absent signature_verifies "$setup"

program_files="$(wine cmd /c echo %ProgramW6432% 2>/dev/null | tr -d '\r')"
all_dir="$(winepath -u "$program_files\\$product" 2>/dev/null)"
appdata="$(winepath -u "$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')" 2>/dev/null)"
user_lists="$appdata/Orlavent/$product"
machine_host_keys=("${host_keys[@]/#HKCU/HKLM}")
installation_key="HKLM\\Software\\Orlavent\\$product"
rm -rf "$all_dir" "$user_lists"
org_ids=(abcdefghijklmnopabcdefghijklmnop ponmlkjihgfedcbaponmlkjihgfedcba)

wine "$signed_setup" /S /ALLUSERS "/EXTENSIONIDS=${org_ids[0]},not-an-id"
check "an ID that is not one stops the installer" test $? -ne 0
check "nothing installed for a bad ID" absent test -e "$all_dir"

wine "$signed_setup" /S /ALLUSERS "/EXTENSIONIDS=${org_ids[0]}, ${org_ids[1]}" "/FIREFOXIDS=quellix@corp.example"
check "all users: program in Program Files" test -f "$all_dir/QuellixPopUpBlocker.exe"
for f in QuellixBridge.exe Uninstall.exe Help.rtf sounds/pop.wav extension/manifest.json; do
  check "all users: $f installed" test -f "$all_dir/$f"
done
for f in QuellixPopUpBlocker.exe QuellixBridge.exe Uninstall.exe; do
  check "all users: $f signature verifies" signature_verifies "$all_dir/$f"
done
for i in 0 1 2; do
  check "all users: host registered machine-wide, 64-bit view: ${machine_host_keys[$i]}" \
    sh -c "wine reg query '${machine_host_keys[$i]}' /ve /reg:64 2>/dev/null | tr -d '\r' | grep -qF '$program_files\\$product\\${host_files[$i]}'"
done
check "all users: Chromium manifest trusts the given IDs only" manifest_trusts "$all_dir/${host_files[0]}" allowed_origins \
  "chrome-extension://${org_ids[0]}/" "chrome-extension://${org_ids[1]}/"
check "all users: Firefox manifest trusts the given ID only" manifest_trusts "$all_dir/${host_files[2]}" allowed_extensions \
  quellix@corp.example
check "all users: installation recorded for the program" \
  sh -c "wine reg query '$installation_key' /v AllUsersFolder 2>/dev/null | tr -d '\r' | grep -qF '$program_files\\$product'"
check "all users: installed-programs entry machine-wide" reg_has "HKLM\\${uninstall_key#HKCU\\}" UninstallString
check "all users: no start-up entry machine-wide" absent reg_has "${run_key/#HKCU/HKLM}" "$product"
# The per-user install beside it is untouched, and its host keys (which browsers read first) stay its own.
check "per-user install untouched" test -f "$dir/QuellixPopUpBlocker.exe" -a -f "$dir/Uninstall.exe"
for i in 0 1 2; do check "per-user host still registered: ${host_keys[$i]}" host_registered "${host_keys[$i]}" "${host_files[$i]}"; done
check "per-user start-up entry untouched" sh -c "wine reg query '$run_key' /v '$product' 2>/dev/null | grep -qF 'Programs'"

# Removing the per-user install takes nothing of the all-users one, not even
# this user's start-up entry when it starts the all-users copy.
machine_entries_intact() {
  reg_has "HKLM\\${uninstall_key#HKCU\\}" UninstallString && reg_has "$installation_key" AllUsersFolder &&
    for key in "${machine_host_keys[@]}"; do reg_has "$key" || return 1; done && test -f "$all_dir/QuellixPopUpBlocker.exe"
}
wine reg add "$run_key" /v "$product" /d "\"$program_files\\$product\\QuellixPopUpBlocker.exe\"" /f >/dev/null 2>&1
wine "$dir/Uninstall.exe" /S
check "per-user uninstaller beside the all-users install finished" wait_gone "$dir/Uninstall.exe"
check "all-users entries and files kept by the per-user uninstaller" machine_entries_intact
check "the start-up entry of the all-users copy kept" reg_has "$run_key" "$product"
wine "$setup" /S
check "per-user install again keeps the user's list" grep -q mine.example "$dir/allowed.txt"
wine reg add "$run_key" /v "$product" /d "\"$local_appdata\\Programs\\$product\\QuellixPopUpBlocker.exe\"" /f >/dev/null 2>&1
wine reg add "$button_key" /v Exec /d "$local_appdata\\Programs\\$product\\QuellixPopUpBlocker.exe" /f >/dev/null 2>&1

# The program of the all-users install keeps this user's lists in %APPDATA%.
all_users_copy_runs() { pgrep -f 'Program Files.Quellix Pop-Up Blocker.QuellixPopUpBlocker.exe'; }
wine "$all_dir/QuellixPopUpBlocker.exe" &
check "all users: program running" wait_for all_users_copy_runs
check "all users: user's lists created in %APPDATA%" wait_for test -s "$user_lists/allowed.txt" -a -f "$user_lists/disallowed.txt"
check "all users: no lists in the program's folder" absent test -e "$all_dir/allowed.txt" -o -e "$all_dir/disallowed.txt"

wine "$all_dir/Uninstall.exe" /S
check "all users: uninstaller finished" wait_gone "$all_dir/Uninstall.exe"
check "all users: running copy ended" wait_for absent all_users_copy_runs
check "all users: program folder removed entirely" wait_gone "$all_dir"
for key in "${machine_host_keys[@]}"; do check "all users: host unregistered: $key" absent reg_has "$key"; done
check "all users: installation record removed" absent reg_has "$installation_key"
check "all users: installed-programs entry removed" absent reg_has "HKLM\\${uninstall_key#HKCU\\}"
check "all users: user's lists kept, as the uninstaller says" test -s "$user_lists/allowed.txt"
check "per-user install still there" test -f "$dir/QuellixPopUpBlocker.exe" -a -f "$dir/Uninstall.exe"
for i in 0 1 2; do check "per-user host still registered after: ${host_keys[$i]}" host_registered "${host_keys[$i]}" "${host_files[$i]}"; done
check "per-user installed-programs entry kept" reg_has "$uninstall_key" UninstallString
rm -rf "$user_lists"

# A running copy is closed by the uninstaller.
wine "$dir/QuellixPopUpBlocker.exe" &
check "installed copy running before the uninstall" wait_for installed_copy_runs
check "per-user copy creates its lists beside itself" wait_for test -f "$dir/disallowed.txt"
check "per-user copy leaves %APPDATA% alone" absent test -e "$user_lists"
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
