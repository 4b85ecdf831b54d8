#!/usr/bin/env bash
# tools/pack-extension.mjs, checked without its own code: the CRX3 is taken
# apart here, the extension ID computed from the header's public key with
# openssl the way Chromium computes it (this computation gives the
# repository's key the ID Chromium gives it), the signature verified with
# openssl, the archive with unzip. Then the key's safety rules, and the
# Firefox archive.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check <description> <command...>
  local what="$1"; shift
  if "$@" >/dev/null 2>&1; then echo "ok   - $what"; else echo "FAIL - $what"; failures=$((failures + 1)); fi
}
absent() { ! "$@"; }
# First 128 bits of SHA-256 of a DER public key, hexadecimal with the letters a to p.
id_of_der() { openssl dgst -sha256 -binary "$1" | head -c 16 | xxd -p | tr 0-9a-f a-p; }

repo_key_id="$(node -e 'console.log(require(process.argv[1]).key)' "$root/extension/manifest.json" | base64 -d >"$work/repo.der" &&
  id_of_der "$work/repo.der")"
check "the ID computation gives the repository's key its ID" test "$repo_key_id" = noijcdbfplaphlbdbflmcfdnmabmdahp

out="$work/out"
codebase='https://intranet.example/quellix/quellix.crx?a=1&b=2'
printed="$(node "$root/tools/pack-extension.mjs" --key "$work/keys/org.pem" --new-key --codebase "$codebase" --out "$out" \
  --firefox --firefox-id quellix@corp.example)"
check "packed with a new key" test -s "$out/quellix.crx"
check "new key readable by its owner only" test "$(stat -c %a "$work/keys/org.pem")" = 600

# The CRX taken apart: magic, version, header length, then the header's fields.
node - "$out/quellix.crx" "$work" <<'JS' || { echo "FAIL - CRX3 structure"; failures=$((failures + 1)); }
const fs = require('fs');
const [file, dir] = process.argv.slice(2);
const crx = fs.readFileSync(file);
if (crx.toString('latin1', 0, 4) !== 'Cr24' || crx.readUInt32LE(4) !== 3) process.exit(1);
const headerEnd = 12 + crx.readUInt32LE(8);
function fields(bytes) {  // every field of a message, all length-delimited here
  const found = {};
  let at = 0;
  const varint = () => { let v = 0, shift = 0, b; do { b = bytes[at++]; v += (b & 0x7f) * 2 ** shift; shift += 7; } while (b & 0x80); return v; };
  while (at < bytes.length) {
    const tag = varint();
    if (tag % 8 !== 2) process.exit(1);
    const length = varint();
    (found[Math.floor(tag / 8)] ??= []).push(bytes.subarray(at, at + length));
    at += length;
  }
  return found;
}
const header = fields(crx.subarray(12, headerEnd));
if (header[2].length !== 1) process.exit(1);  // one RSA proof
const proof = fields(header[2][0]);
fs.writeFileSync(`${dir}/key.der`, proof[1][0]);
fs.writeFileSync(`${dir}/signature`, proof[2][0]);
fs.writeFileSync(`${dir}/crx_id`, fields(header[10000][0])[1][0]);
const signedHeader = header[10000][0];
const length = Buffer.alloc(4); length.writeUInt32LE(signedHeader.length);
fs.writeFileSync(`${dir}/signed`, Buffer.concat([Buffer.from('CRX3 SignedData\0', 'latin1'), length, signedHeader, crx.subarray(headerEnd)]));
fs.writeFileSync(`${dir}/archive.zip`, crx.subarray(headerEnd));
JS
header_id="$(id_of_der "$work/key.der")"
check "printed ID is the one computed from the header's key ($printed)" test -n "$printed" -a "$printed" = "$header_id"
check "signed header names the same ID" test -n "$header_id" -a "$(xxd -p "$work/crx_id" | tr 0-9a-f a-p)" = "$header_id"
check "header's key is the organisation's" cmp "$work/key.der" <(openssl pkey -in "$work/keys/org.pem" -pubout -outform DER)
openssl pkey -pubin -inform DER -in "$work/key.der" -out "$work/key.pem" 2>/dev/null
check "signature over the signed header and the archive verifies" \
  openssl dgst -sha256 -verify "$work/key.pem" -signature "$work/signature" "$work/signed"
check "archive is intact" unzip -tq "$work/archive.zip"
mkdir -p "$work/unpacked" && unzip -q "$work/archive.zip" -d "$work/unpacked"
check "archive holds the extension's files" sh -c "cd '$root/extension' && for f in *; do [ \"\$f\" = manifest.json ] || cmp \"\$f\" '$work/unpacked/'\"\$f\" || exit 1; done"
check "packed manifest drops the repository's key, keeps the rest" node -e '
  const [a, b] = process.argv.slice(1).map((f) => JSON.parse(require("fs").readFileSync(f, "utf8")));
  delete a.key; process.exit(b.key === undefined && JSON.stringify(a) === JSON.stringify(b) ? 0 : 1);' \
  "$root/extension/manifest.json" "$work/unpacked/manifest.json"
check "update manifest names the ID, the version and the escaped address" grep -qF \
  "<app appid=\"$header_id\">" "$out/updates.xml"
check "update manifest codebase" grep -qF 'codebase="https://intranet.example/quellix/quellix.crx?a=1&amp;b=2" version="1.0.0"' "$out/updates.xml"

# The key is kept: not replaced, reused for the same ID, never made in the repository.
check "an existing key is not replaced" absent node "$root/tools/pack-extension.mjs" --key "$work/keys/org.pem" --new-key \
  --codebase https://x.example/q.crx --out "$work/again"
check "the same key packs the same ID again" test "$(node "$root/tools/pack-extension.mjs" --key "$work/keys/org.pem" \
  --codebase https://x.example/q.crx --out "$work/again")" = "$printed"
check "no key made inside the repository" absent node "$root/tools/pack-extension.mjs" --key "$root/build/org.pem" --new-key \
  --codebase https://x.example/q.crx --out "$work/again"
check "no key file left in the repository" absent test -e "$root/build/org.pem"

# Firefox: web-ext's archive with the organisation's add-on ID and no Chromium key.
check "Firefox archive built" unzip -tq "$out/quellix-firefox.zip"
check "Firefox archive carries the organisation's add-on ID" sh -c \
  "unzip -p '$out/quellix-firefox.zip' manifest.json | grep -q '\"id\": \"quellix@corp.example\"' &&
   ! unzip -p '$out/quellix-firefox.zip' manifest.json | grep -q '\"key\"'"

[ $failures -eq 0 ] && echo "extension packing: all checks passed"
exit $((failures > 0))
