#!/usr/bin/env bash
# Signs Windows executables in place (Authenticode, SHA-256) with an
# organisation's code-signing certificate, through Debian's osslsigncode.
# The certificate, as one of:
#   QUELLIX_SIGN_PKCS12=<file.pfx>  [QUELLIX_SIGN_PASSWORD_FILE=<file holding its password>]
#   QUELLIX_SIGN_CERT=<certificate and its chain, PEM>  QUELLIX_SIGN_KEY=<private key, PEM>
# QUELLIX_SIGN_TIMESTAMP=<RFC 3161 server URL> adds a timestamp, so the
# signature stays valid after the certificate expires; when the server cannot
# be reached the file is signed without one, and a warning says so.
#   tools/sign.sh <file.exe>...
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 <file.exe>..." >&2; exit 2; }
command -v osslsigncode >/dev/null || { echo "sign.sh: osslsigncode is missing (tools/install-deps.sh)" >&2; exit 1; }

credentials=()
if [ -n "${QUELLIX_SIGN_PKCS12:-}" ]; then
  credentials=(-pkcs12 "$QUELLIX_SIGN_PKCS12")
  [ -n "${QUELLIX_SIGN_PASSWORD_FILE:-}" ] && credentials+=(-readpass "$QUELLIX_SIGN_PASSWORD_FILE")
elif [ -n "${QUELLIX_SIGN_CERT:-}" ] && [ -n "${QUELLIX_SIGN_KEY:-}" ]; then
  credentials=(-certs "$QUELLIX_SIGN_CERT" -key "$QUELLIX_SIGN_KEY")
else
  echo "sign.sh: name the certificate: QUELLIX_SIGN_PKCS12, or QUELLIX_SIGN_CERT and QUELLIX_SIGN_KEY" >&2
  exit 1
fi
description=(-n "Quellix Pop-Up Blocker" -h sha256)

for file in "$@"; do
  signed="$file.signed"
  rm -f "$signed"
  if [ -n "${QUELLIX_SIGN_TIMESTAMP:-}" ] &&
     osslsigncode sign "${credentials[@]}" "${description[@]}" -ts "$QUELLIX_SIGN_TIMESTAMP" \
       -in "$file" -out "$signed" >/dev/null 2>&1; then
    :
  else
    [ -n "${QUELLIX_SIGN_TIMESTAMP:-}" ] && echo "sign.sh: warning: no timestamp for $file (server not reached)" >&2
    rm -f "$signed"
    osslsigncode sign "${credentials[@]}" "${description[@]}" -in "$file" -out "$signed" >/dev/null ||
      { rm -f "$signed"; echo "sign.sh: could not sign $file" >&2; exit 1; }
  fi
  mv -f "$signed" "$file"
done
