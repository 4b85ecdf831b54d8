// The toolbar button's badge and panel in Debian's chromium against the real
// program under Wine, in one run: two windows blocked, the badge and the
// panel show them, "Open" opens one uncounted, "Always allow" lands in the
// program's allowed list and its list box, the next window opens; then the
// panel's lines for a program that is not running and a host that is not
// installed. Screenshots of the panel, light and dark.
/* global chrome, document -- used by the functions that run in the browser */
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { after, before, test } from "node:test";
import {
  EXTENSION_ID, endRun, freshPage, launchBrowser, openWithoutWaiting, required, sleep, startRun, watchNewWindows,
} from "./driver.mjs";

const PAGES = {
  // One window on load, one a moment later: two blocked, in that order.
  // Without an opener, each in a renderer of its own (see driver.mjs: a
  // window closed before it loaded can leave its opener's renderer stuck).
  "/two.html": `<script>
      window.open("/target.html?first", "_blank", "noopener");
      setTimeout(() => window.open("/target.html?second", "_blank", "noopener"), 300);
    </script><p>a page that opens two windows</p>`,
};

const run = {};
let remote;
let browser;

const site = (name) => `${name}.test:${run.pages.port}`;
const url = (name, page) => `http://${site(name)}/${page}`;
// The new windows open on a site of their own (see driver.mjs).
const windowUrl = (query) => `http://newwindow.test:${run.pages.port}/target.html?${query}`;

before(async () => {
  // The windows the page opens are let go at once: held by the debugger, a
  // window closed before it began to load can leave its opener unanswering.
  ({ remote, browser } = await startRun(run, {
    more: PAGES, switches: { chkStopPop: 1, chkAuto: 0, chkLinks: 0 }, launch: () => launchBrowser({ pagesOnly: true }),
  }));
});

after(() => endRun(run));

// Runs `fn` in the extension's worker.
async function inWorker(b, fn, ...args) {
  const target = await b.browser.waitForTarget(
    (t) => t.type() === "service_worker" && t.url().startsWith(`chrome-extension://${EXTENSION_ID}/`));
  return (await target.worker()).evaluate(fn, ...args);
}

const tabIdOf = (b, address) =>
  inWorker(b, async (wanted) => (await chrome.tabs.query({})).find((t) => t.url === wanted)?.id, address);
const badgeOf = (b, tabId) => inWorker(b, (id) => chrome.action.getBadgeText({ tabId: id }), tabId);
// The badge once it shows `text`, or what it shows after 10 s: the worker
// sets it after its own bookkeeping, and again after each navigation of the tab.
async function badgeShowing(b, tabId, text) {
  const deadline = performance.now() + 10000;
  for (;;) {
    const shown = await badgeOf(b, tabId);
    if (shown === text || performance.now() > deadline) return shown;
    await sleep(100);
  }
}

// The panel about `tabId`, in a tab of its own, once it has asked the program.
// `zoom` 2: as the largest toolbar panel (800 by 600 pixels) shows it at 200%.
async function openPanel(b, tabId, { dark = false, zoom = 1 } = {}) {
  const panel = await b.browser.newPage();
  await panel.setViewport(zoom === 1 ? { width: 420, height: 560 } : { width: 400, height: 300, deviceScaleFactor: zoom });
  await panel.emulateMediaFeatures([{ name: "prefers-color-scheme", value: dark ? "dark" : "light" }]);
  await panel.goto(`chrome-extension://${EXTENSION_ID}/panel.html?tab=${tabId}`);
  await panel.waitForSelector("body[data-ready]", { timeout: 60000 });
  return panel;
}

const panelText = (panel) => panel.evaluate(() => ({
  program: document.getElementById("program").textContent,
  heading: document.getElementById("blocked-heading").textContent,
  addresses: [...document.querySelectorAll("#blocked-list .address")].map((a) => a.textContent),
  site: document.getElementById("site").hidden ? null : document.getElementById("always-allow").textContent,
}));

// Moves the keyboard focus forward until it is on the control `matches` finds.
async function tabTo(panel, matches) {
  for (let i = 0; i < 20; ++i) {
    await panel.keyboard.press("Tab");
    if (await panel.evaluate(matches)) return;
  }
  throw new Error("the keyboard never reached the control");
}

test("badge, panel, Open and Always allow, end to end", async () => {
  const screenshots = required("QUELLIX_SCREENSHOT_DIR");
  fs.mkdirSync(screenshots, { recursive: true });
  const page = await freshPage(browser);
  const blocked = await watchNewWindows(browser, () => openWithoutWaiting(page, url("popper", "two.html")),
    { expect: { opened: 2, closed: 2 } });
  assert.deepEqual([blocked.opened, blocked.closed], [2, 2]);
  const tabId = await tabIdOf(browser, url("popper", "two.html"));
  assert.equal(await badgeShowing(browser, tabId, "2"), "2");

  // The panel: both addresses, newest first, the program's state and the site.
  const panel = await openPanel(browser, tabId);
  const shown = await panelText(panel);
  assert.deepEqual(shown.addresses, [windowUrl("second"), windowUrl("first")]);
  assert.equal(shown.heading, "Blocked in this tab: 2");
  assert.equal(shown.program, "Blocking is on. Setup mode is off. 2 pop-ups blocked to date.");
  assert.equal(shown.site, `Always allow ${site("popper")}`);
  await panel.screenshot({ path: path.join(screenshots, "panel-light.png") });
  const dark = await openPanel(browser, tabId, { dark: true });
  await dark.screenshot({ path: path.join(screenshots, "panel-dark.png") });
  await dark.close();
  const zoomed = await openPanel(browser, tabId, { dark: true, zoom: 2 });
  await zoomed.keyboard.press("Tab");
  await zoomed.screenshot({ path: path.join(screenshots, "panel-dark-200-percent.png"), fullPage: true });
  await zoomed.close();

  // "Open" on the newest, from the keyboard: it opens once and stays; the
  // program counted nothing.
  await panel.bringToFront();
  const opened = await watchNewWindows(browser, async () => {
    await tabTo(panel, () => document.activeElement?.classList.contains("open"));
    await panel.keyboard.press("Enter");
  }, { expect: { opened: 1, closed: 0 } });
  assert.deepEqual([opened.opened, opened.closed], [1, 0]);
  assert.ok(await tabIdOf(browser, windowUrl("second")), "the second address is open in a tab");
  await panel.bringToFront();
  await panel.reload();
  await panel.waitForSelector("body[data-ready]", { timeout: 60000 });
  assert.equal((await panelText(panel)).program, "Blocking is on. Setup mode is off. 2 pop-ups blocked to date.");

  // "Always allow", from the keyboard: in the file, the list box, and the
  // next window from the page opens.
  await tabTo(panel, () => document.activeElement?.id === "always-allow");
  await panel.keyboard.press("Enter");
  await panel.waitForFunction(() => document.getElementById("allow-outcome").className !== "",
    { timeout: 60000, polling: 100 });
  assert.equal(await panel.$eval("#allow-outcome", (e) => e.textContent),
    `${site("popper")} is on the allowed list: its pages may open new windows.`);
  assert.ok((await remote.readFile("allowed.txt")).includes(`${site("popper")}\r\n`));
  // Read as a screen reader reads the box, from another process.
  assert.deepEqual(JSON.parse(await remote.run("list allowed")), [site("popper")]);
  // In a tab of its own, so that nothing rests on the tab whose windows were closed.
  const again = await browser.browser.newPage();
  const allowed = await watchNewWindows(browser, () => openWithoutWaiting(again, url("popper", "two.html")),
    { expect: { opened: 2, closed: 0 } });
  assert.deepEqual([allowed.opened, allowed.closed], [2, 0]);
  // The same site: the badge keeps its count; another site clears it. The
  // first tab is sent on by the extension, not through the debugger.
  const goTo = (address) => inWorker(browser, (id, to) => chrome.tabs.update(id, { url: to }), tabId, address);
  await goTo(url("popper", "target.html"));
  assert.equal(await badgeShowing(browser, tabId, "2"), "2");
  await goTo(url("elsewhere", "target.html"));
  assert.equal(await badgeShowing(browser, tabId, ""), "");

  // The count saved at exit: the two blocked windows only.
  assert.equal(Number(await remote.run("exit")), 2);
  await panel.bringToFront();
  await panel.reload();
  await panel.waitForSelector("body[data-ready]", { timeout: 60000 });
  assert.match((await panelText(panel)).program, /is not running/);
  await panel.screenshot({ path: path.join(screenshots, "panel-not-running.png") });

  // No host manifest: the panel says the host is not installed.
  fs.rmSync(path.join(browser.profile, "NativeMessagingHosts"), { recursive: true, force: true });
  await panel.reload();
  await panel.waitForSelector("body[data-ready]", { timeout: 60000 });
  assert.match((await panelText(panel)).program, /host is not installed/);
});
