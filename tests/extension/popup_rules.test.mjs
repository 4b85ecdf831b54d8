// The pop-up rules the extension keeps for Chromium's own blocker, against a
// content setting of the test's own that holds rules as Chromium does (set
// adds or replaces, clear takes all of this extension's): what the program
// answers, its news, the least recently used rule going first, and a browser
// start apart from a worker restart.
import assert from "node:assert/strict";
import { test } from "node:test";
import { EVICTED_TOGETHER, MAX_RULES, PopupRules, originPattern } from "../../extension/popup_rules.js";

class PopupSetting {
  constructor() {
    this.rules = new Map();
    this.calls = 0;
  }
  async set({ primaryPattern, setting, scope }) {
    assert.equal(scope, "regular");
    this.calls += 1;
    this.rules.set(primaryPattern, setting);
  }
  async clear() {
    this.calls += 1;
    this.rules.clear();
  }
  allowed() {
    return [...this.rules.keys()].filter((pattern) => this.rules.get(pattern) === "allow").sort();
  }
}

class SessionStorage {
  constructor() {
    this.items = {};
  }
  async get(key) {
    return key in this.items ? { [key]: structuredClone(this.items[key]) } : {};
  }
  async set(values) {
    Object.assign(this.items, structuredClone(values));
  }
}

// The program: blocking on, its allowed sites by host; null while it is gone.
function program(allowed) {
  const asked = [];
  const ask = async (url) => {
    asked.push(url);
    if (allowed === null) return null;
    return allowed.has(new URL(url).hostname);
  };
  return { ask, asked };
}

test("an origin gets its exact rule when the program lets its pop-ups through, and loses it when not", async () => {
  assert.equal(originPattern("https://Shop.Example/a?b#c"), "https://shop.example:443/*");
  assert.equal(originPattern("http://shop.example:8080/"), "http://shop.example:8080/*");
  assert.equal(originPattern("http://[::1]/x"), "http://[::1]:80/*");
  for (const other of ["about:blank", "chrome://newtab/", "file:///c/x.html", "data:text/html,x", "not a url"]) {
    assert.equal(originPattern(other), null, other);
  }

  const setting = new PopupSetting();
  const allowed = new Set(["shop.example"]);
  const { ask, asked } = program(allowed);
  const rules = new PopupRules(setting, new SessionStorage(), ask);
  const openUrls = async () => ["https://shop.example/cart", "chrome://newtab/"];

  // Nothing before the program has said blocking is on.
  await rules.visited("https://shop.example/");
  assert.deepEqual(asked, []);
  await rules.switches({ blocking: true, setupMode: true, exceptions: false }, openUrls);
  assert.deepEqual(setting.allowed(), ["https://shop.example:443/*"]);

  await rules.visited("https://news.example/");
  assert.deepEqual(setting.allowed(), ["https://shop.example:443/*"]);
  // Taken off the list: the lists' news asks again what has a rule and what is open.
  allowed.delete("shop.example");
  allowed.add("news.example");
  await rules.listsChanged(async () => ["https://news.example/today"]);
  assert.deepEqual(setting.allowed(), ["https://news.example:443/*"]);

  // Allow-next: one rule for every site, gone once used; the others stay.
  await rules.allowNextSet(true);
  assert.deepEqual(setting.allowed(), ["<all_urls>", "https://news.example:443/*"]);
  await rules.allowNextSet(false);
  assert.deepEqual(setting.allowed(), ["https://news.example:443/*"]);

  // Blocking off, or the program gone: nothing is left set.
  await rules.switches({ blocking: false, setupMode: true, exceptions: false }, openUrls);
  assert.deepEqual(setting.allowed(), []);
  await rules.allowNextSet(true);
  assert.deepEqual(setting.allowed(), []);
  await rules.switches({ blocking: true, setupMode: true, exceptions: false }, async () => ["https://news.example/"]);
  await rules.allowNextSet(true);
  assert.deepEqual(setting.allowed(), ["<all_urls>", "https://news.example:443/*"]);
  await rules.programGone();
  assert.deepEqual(setting.allowed(), []);
  await rules.visited("https://news.example/");
  assert.deepEqual(setting.allowed(), []);
});

test("a thousand origins leave at most 500 rules, the least recently used gone first; a browser start clears what a worker restart keeps", async () => {
  const setting = new PopupSetting();
  const storage = new SessionStorage();
  const hosts = Array.from({ length: 1100 }, (_, i) => `site${i}.example`);
  const rules = new PopupRules(setting, storage, program(new Set(hosts)).ask);
  await rules.switches({ blocking: true, setupMode: false, exceptions: true }, async () => []);
  const used = [];
  const visit = async (host) => {
    await rules.visited(`https://${host}/`);
    const at = used.indexOf(host);
    if (at >= 0) used.splice(at, 1);
    used.push(host);
  };
  for (const host of hosts.slice(0, 1000)) await visit(host);
  const lastUsed = (count) => used.slice(-count).map((host) => `https://${host}:443/*`).sort();
  assert.ok(setting.rules.size <= MAX_RULES && setting.rules.size > MAX_RULES - EVICTED_TOGETHER);
  assert.deepEqual(setting.allowed(), lastUsed(setting.rules.size));
  console.log(`rules after 1,000 origins: ${setting.rules.size}, their list in session storage: ` +
    `${JSON.stringify(storage.items.popupRules).length} bytes, content-setting calls: ${setting.calls}`);
  // The oldest used again now outlives the ones after it.
  const oldest = used[used.length - setting.rules.size];
  await visit(oldest);
  for (const host of hosts.slice(1000)) await visit(host);
  assert.ok(setting.rules.has(`https://${oldest}:443/*`));
  assert.deepEqual(setting.allowed(), lastUsed(setting.rules.size));

  // The worker restarts: its rules and state carry on.
  const again = new PopupRules(setting, storage, program(new Set(hosts)).ask);
  await again.ready;
  assert.equal(setting.rules.size, MAX_RULES);
  await again.programGone();
  assert.equal(setting.rules.size, 0);

  // The browser starts (its session storage empty): rules left from before go.
  await setting.set({ primaryPattern: "https://left.example:443/*", setting: "allow", scope: "regular" });
  const fresh = new PopupRules(setting, new SessionStorage(), program(new Set()).ask);
  await fresh.ready;
  assert.equal(setting.rules.size, 0);

  // Firefox has no such setting: nothing is asked or kept.
  const none = program(new Set(hosts));
  const firefox = new PopupRules(undefined, new SessionStorage(), none.ask);
  await firefox.switches({ blocking: true, setupMode: false, exceptions: true }, async () => ["https://site1.example/"]);
  await firefox.visited("https://site1.example/");
  assert.deepEqual(none.asked, []);
});
