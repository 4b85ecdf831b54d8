#!/usr/bin/env node
// Packs the browser extension for an organisation's own distribution:
// - a CRX3 for Chrome and Edge, signed with the organisation's RSA key, with
//   an update manifest for ExtensionInstallForcelist; the extension's ID comes
//   from that key and is printed (the repository's "key" is left out of the
//   packed manifest, since the ID is the organisation's now);
// - with --firefox, the `web-ext build` archive to have signed by Mozilla.
//
//   node tools/pack-extension.mjs --key <org-key.pem> [--new-key] --codebase <URL of the .crx>
//        [--out <folder>] [--firefox [--firefox-id <add-on ID>]]
//
// --new-key makes a 3072-bit key at --key (never over an existing file, never
// inside the repository, readable by its owner only). Keep it safe: every
// update must be signed with the same key, or browsers see another extension.
import { spawnSync } from 'node:child_process';
import { createHash, createPrivateKey, createPublicKey, generateKeyPairSync, sign } from 'node:crypto';
import { deflateRawSync } from 'node:zlib';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const extensionDir = path.join(root, 'extension');

function fail(message) {
  console.error(`pack-extension: ${message}`);
  process.exit(1);
}

function parseArguments(argv) {
  const options = { out: path.join(root, 'build', 'extension-package'), newKey: false, firefox: false };
  const valued = { '--key': 'key', '--codebase': 'codebase', '--out': 'out', '--firefox-id': 'firefoxId' };
  for (let i = 0; i < argv.length; i++) {
    const arg = argv[i];
    if (arg === '--new-key') options.newKey = true;
    else if (arg === '--firefox') options.firefox = true;
    else if (valued[arg] && i + 1 < argv.length) options[valued[arg]] = argv[++i];
    else fail(`unknown or incomplete argument ${arg}`);
  }
  if (!options.key) fail('--key <file.pem> is needed');
  if (!options.codebase || !/^https?:\/\/[^\s"'<>]+$/.test(options.codebase)) {
    fail('--codebase needs the http(s) address the .crx will be served from');
  }
  if (options.firefoxId && !/^[A-Za-z0-9._@{}+-]{1,80}$/.test(options.firefoxId)) fail('--firefox-id is not an add-on ID');
  return options;
}

function makeKey(keyPath) {
  const resolved = path.resolve(keyPath);
  if (resolved === root || resolved.startsWith(root + path.sep)) {
    fail('a new key is never made inside the repository, where it could be committed');
  }
  const { privateKey } = generateKeyPairSync('rsa', { modulusLength: 3072 });
  fs.mkdirSync(path.dirname(resolved), { recursive: true });
  // 'wx': an existing key is never replaced.
  try {
    fs.writeFileSync(resolved, privateKey.export({ type: 'pkcs8', format: 'pem' }), { flag: 'wx', mode: 0o600 });
  } catch (error) {
    fail(error.code === 'EEXIST' ? `${keyPath} exists; it is kept (leave out --new-key to use it)` : error.message);
  }
}

// Chromium's extension ID: the first 128 bits of the SHA-256 of the public
// key's DER, in hexadecimal written with the letters a to p.
function extensionIdOf(crxId) {
  return [...crxId.toString('hex')].map((digit) => String.fromCharCode(97 + parseInt(digit, 16))).join('');
}

// Protocol buffers, only what the CRX header needs: length-delimited fields.
function varint(value) {
  const bytes = [];
  for (; value > 0x7f; value >>>= 7) bytes.push((value & 0x7f) | 0x80);
  bytes.push(value);
  return Buffer.from(bytes);
}
const field = (number, bytes) => Buffer.concat([varint((number << 3) | 2), varint(bytes.length), bytes]);
const u32 = (value) => {
  const bytes = Buffer.alloc(4);
  bytes.writeUInt32LE(value);
  return bytes;
};

const crcTable = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});
function crc32(bytes) {
  let c = 0xffffffff;
  for (const byte of bytes) c = crcTable[(c ^ byte) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

// A ZIP archive of the given files, deflated, with a fixed date so that the
// same sources give the same archive.
function zipOf(files) {
  const locals = [];
  const centrals = [];
  let offset = 0;
  const dosTime = 0;
  const dosDate = (1 << 5) | 1; // 1980-01-01
  for (const { name, data } of files) {
    const packed = deflateRawSync(data, { level: 9 });
    const nameBytes = Buffer.from(name, 'utf8');
    const common = Buffer.alloc(26);
    common.writeUInt16LE(20, 0); // version needed
    common.writeUInt16LE(0x0800, 2); // UTF-8 names
    common.writeUInt16LE(8, 4); // deflate
    common.writeUInt16LE(dosTime, 6);
    common.writeUInt16LE(dosDate, 8);
    common.writeUInt32LE(crc32(data), 10);
    common.writeUInt32LE(packed.length, 14);
    common.writeUInt32LE(data.length, 18);
    common.writeUInt16LE(nameBytes.length, 22);
    const local = Buffer.concat([u32(0x04034b50), common, nameBytes, packed]);
    const centralTail = Buffer.alloc(14); // comment length, disk, attributes, then the offset
    centralTail.writeUInt32LE(offset, 10);
    centrals.push(Buffer.concat([u32(0x02014b50), Buffer.from([20, 0]), common, centralTail, nameBytes]));
    locals.push(local);
    offset += local.length;
  }
  const directory = Buffer.concat(centrals);
  const end = Buffer.alloc(22);
  end.writeUInt32LE(0x06054b50, 0);
  end.writeUInt16LE(files.length, 8);
  end.writeUInt16LE(files.length, 10);
  end.writeUInt32LE(directory.length, 12);
  end.writeUInt32LE(offset, 16);
  return Buffer.concat([...locals, directory, end]);
}

function extensionFiles(rewriteManifest) {
  const files = [];
  const walk = (dir, prefix) => {
    for (const entry of fs.readdirSync(dir, { withFileTypes: true }).sort((a, b) => a.name.localeCompare(b.name))) {
      const full = path.join(dir, entry.name);
      if (entry.isDirectory()) walk(full, `${prefix}${entry.name}/`);
      else files.push({ name: `${prefix}${entry.name}`, data: fs.readFileSync(full) });
    }
  };
  walk(extensionDir, '');
  const manifest = files.find((file) => file.name === 'manifest.json');
  const parsed = JSON.parse(manifest.data.toString('utf8'));
  rewriteManifest(parsed);
  manifest.data = Buffer.from(`${JSON.stringify(parsed, null, 2)}\n`);
  return { files, manifest: parsed };
}

// CRX3: "Cr24", version 3, the header's length, the header (a CrxFileHeader
// message: one sha256_with_rsa proof = field 2 {public_key = 1, signature = 2},
// and signed_header_data = field 10000, a SignedData {crx_id = 1}), the ZIP.
// The signature covers "CRX3 SignedData\0", the signed header data's length
// and the data itself, then the whole ZIP.
function crx3(zip, privateKey) {
  const publicKey = createPublicKey(privateKey).export({ type: 'spki', format: 'der' });
  const crxId = createHash('sha256').update(publicKey).digest().subarray(0, 16);
  const signedHeaderData = field(1, crxId);
  const signature = sign(
    'sha256',
    Buffer.concat([Buffer.from('CRX3 SignedData\0', 'latin1'), u32(signedHeaderData.length), signedHeaderData, zip]),
    privateKey,
  );
  const header = Buffer.concat([field(2, Buffer.concat([field(1, publicKey), field(2, signature)])),
    field(10000, signedHeaderData)]);
  return { crx: Buffer.concat([Buffer.from('Cr24'), u32(3), u32(header.length), header, zip]), id: extensionIdOf(crxId) };
}

function firefoxBuild(options) {
  const staged = fs.mkdtempSync(path.join(options.out, 'firefox-'));
  try {
    const { files } = extensionFiles((manifest) => {
      delete manifest.key;
      if (options.firefoxId) manifest.browser_specific_settings.gecko.id = options.firefoxId;
    });
    for (const { name, data } of files) {
      fs.mkdirSync(path.dirname(path.join(staged, name)), { recursive: true });
      fs.writeFileSync(path.join(staged, name), data);
    }
    const webExt = path.join(root, 'node_modules', '.bin', 'web-ext');
    if (!fs.existsSync(webExt)) fail('web-ext is missing: run `npm ci` in the repository first');
    const built = spawnSync(webExt, ['build', '--source-dir', staged, '--artifacts-dir', options.out,
      '--filename', 'quellix-firefox.zip', '--overwrite-dest'], { stdio: ['ignore', 'ignore', 'inherit'] });
    if (built.status !== 0) fail('web-ext build failed');
  } finally {
    fs.rmSync(staged, { recursive: true, force: true });
  }
}

const xmlEscape = (text) => text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/"/g, '&quot;');

function main() {
  const options = parseArguments(process.argv.slice(2));
  if (options.newKey) makeKey(options.key);
  let privateKey;
  try {
    privateKey = createPrivateKey(fs.readFileSync(options.key));
  } catch (error) {
    fail(`cannot read the key ${options.key}: ${error.message}`);
  }
  if (privateKey.asymmetricKeyType !== 'rsa' || privateKey.asymmetricKeyDetails.modulusLength < 2048) {
    fail('the key must be an RSA key of at least 2048 bits');
  }
  fs.mkdirSync(options.out, { recursive: true });

  const { files, manifest } = extensionFiles((parsed) => delete parsed.key);
  const { crx, id } = crx3(zipOf(files), privateKey);
  fs.writeFileSync(path.join(options.out, 'quellix.crx'), crx);
  fs.writeFileSync(path.join(options.out, 'updates.xml'),
    `<?xml version="1.0" encoding="UTF-8"?>
<gupdate xmlns="http://www.google.com/update2/response" protocol="2.0">
  <app appid="${id}">
    <updatecheck codebase="${xmlEscape(options.codebase)}" version="${xmlEscape(manifest.version)}"/>
  </app>
</gupdate>
`);
  if (options.firefox) firefoxBuild(options);
  console.log(id);
}

main();
