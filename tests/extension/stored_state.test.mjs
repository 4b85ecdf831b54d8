// All that the worker keeps in session storage at once, each part at its
// longest, against a scripted browser whose storage enforces the quota: 500
// tabs, the most requests that may wait, blocked windows' lists past their
// budget; then a worker restart, after which every tab's address is still
// known and every waiting request asked again; and the blocked lists of
// tabs that closed, also before their window's answer came.
import assert from "node:assert/strict";
import { test } from "node:test";
import { MAX_ADDRESS, STORED_ADDRESS, cutAddress } from "../../extension/address_limits.js";
import { BLOCKED_BUDGET, BlockedWindows, MAX_LISTED, blockedKey } from "../../extension/blocked_windows.js";
import { HostConnection, MAX_PENDING } from "../../extension/host_connection.js";
import { TAB_PREFIX, TrackingStore } from "../../extension/tracking_store.js";
import { QUOTA_BYTES, scriptedBrowser, storedBytes } from "./scripted_browser.mjs";

const TABS = 500;
const LISTED_TABS = 20; // each with a full list of openable addresses as long as they come

// An address of exactly `length` characters on `site`.
const address = (site, length) => {
  const start = `https://${site}.example/`;
  return start + "p".repeat(length - start.length);
};
const pause = (ms = 0) => new Promise((resolve) => setTimeout(resolve, ms));
const asked = (port) => port.posted.filter((m) => m.type === "newWindow");
const keysOf = (browser, prefix) => [...browser.session.keys()].filter((key) => key.startsWith(prefix));

// The worker's parts as background.js joins them: a "block" lists the
// window. The tabs' clock stands still: grants last a few seconds only.
async function startWorker(browser) {
  const tracking = new TrackingStore(browser.storage.session, () => 1_000_000);
  const goesOn = await tracking.restore();
  const blocked = new BlockedWindows(browser);
  const host = new HostConnection(browser, (request, verdict) => {
    if (verdict === "block") void blocked.add(request);
  });
  await host.ready;
  const settled = async () => {
    await pause(20);
    await Promise.all([tracking.writing, blocked.writing]);
    await pause(20);
  };
  return { tracking, goesOn, blocked, host, settled };
}

test("500 tabs, every request that may wait and the blocked lists fit the quota at their longest and outlive the worker", async (t) => {
  const warn = t.mock.method(console, "warn", () => {});
  const browser = scriptedBrowser(new Map(), new Set(Array.from({ length: TABS }, (_, i) => i + 1)));
  let worker = await startWorker(browser);
  assert.equal(worker.goesOn, false);

  // Every tab at a 100 KB address; every tenth one blank, written into by
  // the tab before it (its address is its opener's, not its own).
  const pageOf = (tab) => (tab % 10 === 0 ? pageOf(tab - 1) : address(`site${tab}`, 100_000));
  for (const tab of browser.openTabs) {
    if (tab % 10 === 0) worker.tracking.addresses.created(tab, tab - 1, "about:blank");
    else worker.tracking.addresses.committed(tab, pageOf(tab));
    worker.tracking.changed(tab);
  }
  // A context menu's grant on a 100 KB link, and a new tab no grant claimed yet.
  const link = address("link", 100_000);
  worker.tracking.grants.grant(1, { press: "menu", kind: "menu", url: link });
  assert.equal(worker.tracking.grants.claim(TABS, TABS - 1, address("late", 100_000)), false);
  worker.tracking.changed(1, TABS);
  await worker.settled();
  const tabKeys = keysOf(browser, TAB_PREFIX);
  assert.equal(tabKeys.length, TABS);
  const largestTab = Math.max(...tabKeys.map((key) => storedBytes(key, browser.session.get(key))));
  assert.ok(largestTab <= 2 * STORED_ADDRESS + 200, `a tab's key holds ${largestTab} bytes`);

  // Windows blocked in 20 tabs, 25 each, all openable (8 KiB addresses):
  // past the budget the tabs blocked in least recently lose their lists whole.
  let next = 0;
  const ask = (opener, target, url = pageOf(opener)) => {
    next += 1;
    return worker.host.ask(`id${next}`, { tab: 10_000 + next, opener, url, target, at: next });
  };
  for (let opener = 1; opener <= LISTED_TABS; opener += 1) {
    for (let i = 0; i < MAX_LISTED; i += 1) await ask(opener, address(`ad${opener}-${i}`, MAX_ADDRESS));
  }
  for (const message of asked(browser.ports[0])) browser.ports[0].answer({ type: "verdict", id: message.id, verdict: "block" });
  await worker.settled();
  const listed = keysOf(browser, "blocked:").map((key) => Number(key.slice("blocked:".length))).sort((a, b) => a - b);
  const listBytes = listed.reduce((sum, tab) => sum + storedBytes(blockedKey(tab), browser.session.get(blockedKey(tab))), 0);
  assert.ok(listBytes <= BLOCKED_BUDGET && listBytes > BLOCKED_BUDGET - 250_000, `blocked lists hold ${listBytes} bytes`);
  const first = LISTED_TABS - listed.length + 1;
  assert.ok(first > 1);
  assert.deepEqual(listed, Array.from({ length: listed.length }, (_, i) => first + i)); // the latest ones
  for (let tab = 1; tab <= LISTED_TABS; tab += 1) {
    const record = browser.session.get(blockedKey(tab));
    assert.equal(browser.badges.get(tab), record ? String(MAX_LISTED) : "", `badge of tab ${tab}`);
    if (record) assert.ok(record.windows.every((entry) => entry.url.length === MAX_ADDRESS && !entry.cut));
  }

  // Then as many requests as may wait, both addresses 100 KB: the program
  // gets 8 KiB of each, the stored copies keep less.
  for (let i = 0; i < MAX_PENDING; i += 1) {
    const opener = 1 + (i % TABS);
    await ask(opener, i === 0 ? address("medium", 2000) : address(`pop${i}`, 100_000));
  }
  const waiting = asked(browser.ports[0]).slice(LISTED_TABS * MAX_LISTED);
  assert.equal(waiting.length, MAX_PENDING);
  assert.ok(waiting.every((m) => m.url.length === MAX_ADDRESS && m.target.length === (m.id === waiting[0].id ? 2000 : MAX_ADDRESS)));
  await ask(1, "https://one.too.many.example/"); // past the most that may wait: left alone
  assert.equal(asked(browser.ports[0]).length, LISTED_TABS * MAX_LISTED + MAX_PENDING);

  // All of it at once, nothing refused.
  assert.equal(keysOf(browser, "pending:").length, MAX_PENDING);
  assert.equal(warn.mock.callCount(), 0);
  t.diagnostic(`stored: ${browser.used()} of ${QUOTA_BYTES} bytes (blocked lists ${listBytes}, ` +
    `largest tab key ${largestTab}, ${MAX_PENDING} waiting requests ` +
    `${keysOf(browser, "pending:").reduce((sum, key) => sum + storedBytes(key, browser.session.get(key)), 0)})`);

  // A listed tab closes: its list goes. So does the window answered after
  // its opener closed, and the list of a tab that closed while no worker ran.
  const closedOpener = listed.at(-1);
  browser.closeTab(closedOpener);
  const lateOpener = waiting[1].tab;
  browser.closeTab(lateOpener);
  worker.tracking.addresses.closed(lateOpener);
  worker.tracking.changed(lateOpener);
  browser.ports[0].answer({ type: "verdict", id: waiting[1].id, verdict: "block" });
  await worker.settled();
  assert.equal(browser.session.has(blockedKey(closedOpener)), false);
  assert.equal(browser.session.has(blockedKey(lateOpener)), false);
  await browser.storage.session.set({ [blockedKey(9999)]: { site: "gone.example", count: 1, windows: [] } });

  // The worker stops; the next one knows every open tab and asks again every waiting request.
  worker = await startWorker(browser);
  assert.equal(worker.goesOn, true);
  for (const tab of browser.openTabs) {
    const page = worker.tracking.addresses.page(tab);
    assert.equal(page?.address, cutAddress(pageOf(tab), STORED_ADDRESS), `tab ${tab}`);
    assert.ok(page.address.startsWith(`https://site${tab % 10 === 0 ? tab - 1 : tab}.example/`));
  }
  assert.equal(worker.tracking.addresses.page(lateOpener), null);
  assert.equal(worker.tracking.grants.grant(TABS - 1, { press: "p", kind: "press", url: address("late", 100_000) }), TABS);
  assert.equal(worker.tracking.grants.claim(20_000, 1, `${link}#top`), true);
  const again = asked(browser.ports[1]);
  assert.deepEqual(again.map((m) => m.id).sort(), waiting.slice(0).filter((m) => m !== waiting[1]).map((m) => m.id).sort());
  assert.ok(again.every((m) => m.url.length <= STORED_ADDRESS && m.url.startsWith("https://site")));

  // A window asked again with its address cut is listed cut: it cannot be opened whole.
  browser.ports[1].answer({ type: "verdict", id: waiting[0].id, verdict: "block" });
  await worker.settled();
  assert.deepEqual(browser.session.get(blockedKey(waiting[0].tab)).windows.map((entry) => entry.cut), [true]);
  assert.equal(browser.session.has(blockedKey(9999)), false);
  assert.equal(warn.mock.callCount(), 0);

  // A full storage: the tabs' writes are refused, told once, and the worker goes on.
  await browser.storage.session.set({ filler: "x".repeat(QUOTA_BYTES - browser.used() - 20) });
  worker.tracking.addresses.committed(601, address("after", 500));
  worker.tracking.changed(601);
  worker.tracking.addresses.committed(602, address("after", 600));
  await worker.settled();
  worker.tracking.changed(602);
  await worker.settled();
  assert.equal(warn.mock.callCount(), 1);
  assert.equal(browser.session.has(`${TAB_PREFIX}601`), false);
  assert.equal(worker.tracking.addresses.page(601).address, address("after", 500));
});
