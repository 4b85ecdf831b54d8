#!/usr/bin/env bash
# Builds the installer from the built program and bridge. With QUELLIX_SIGN=1
# the program, the bridge, the uninstaller and the installer are signed by
# tools/sign.sh (which names the certificate it needs); signing is off otherwise.
#   installer/make-installer.sh <setup.exe> <QuellixPopUpBlocker.exe> <QuellixBridge.exe> <version>
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 <setup.exe> <program.exe> <bridge.exe> <version>" >&2; exit 2; }
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$1" exe="$2" bridge="$3" version="$4"

signing=()
if [ "${QUELLIX_SIGN:-0}" = 1 ]; then
  # Signed copies go into the installer; the build's own files stay as built.
  staged="$(mktemp -d)"
  trap 'rm -rf "$staged"' EXIT
  cp "$exe" "$staged/QuellixPopUpBlocker.exe"
  cp "$bridge" "$staged/QuellixBridge.exe"
  exe="$staged/QuellixPopUpBlocker.exe" bridge="$staged/QuellixBridge.exe"
  "$root/tools/sign.sh" "$exe" "$bridge"
  signing=("-DSIGN=$root/tools/sign.sh")
fi
makensis -V2 -DEXE="$exe" -DBRIDGE="$bridge" -DEXTENSION="$root/extension" -DASSETS="$root/assets" -DPOLICY="$root/policy" \
  -DOUTFILE="$out" -DVERSION="$version" "${signing[@]}" "$root/installer/quellix.nsi"
