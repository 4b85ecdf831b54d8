// The extension in Debian's chromium (headless, fresh profiles) against the
// real program and QuellixBridge.exe under Wine: every new window that a
// test page opens goes through the extension, the host and the pipe to the
// program's decision, and the window is closed or kept as the program says.
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { after, before, test } from "node:test";
import {
  BLOCK_STYLE, EXTENSION_ID, closeBrowser, endRun, freshPage, launchBrowser, openWithoutWaiting, required, sleep, startRun,
  userPresses, watchNewWindows,
} from "./driver.mjs";

const run = {};
let remote;
let browser; // Chromium's own blocker off
let closedByUs = 0; // windows the program closed, to compare with the saved count

const site = (name) => `${name}.test:${run.pages.port}`;
const url = (name, page) => `http://${site(name)}/${page}`;

// Opens `page` of `name` in a fresh tab (optionally clicking `selector`) and
// returns what happened to the windows it opened.
async function visit(b, name, page, { click, expectClosed = 0, expectOpened = 1 } = {}) {
  const tab = await freshPage(b);
  const result = await watchNewWindows(
    b,
    async () => {
      openWithoutWaiting(tab, url(name, page));
      if (click) await clickOpeningAWindow(tab, click);
    },
    { expect: { opened: expectOpened, closed: expectClosed } },
  );
  closedByUs += result.closed;
  return result;
}

// Pages of this run: a page that opens a window and closes itself, itself opened by a page on the allowed list; and
// pages that forge the link under the pointer.
const USER_PAGES = {
  "/opencloser.html": `<script>window.open(\`http://closer.test:\${location.port}/closer.html\`);</script>`,
  "/closer.html": `<script>window.open("/target.html?closer"); window.close();</script>`,
  "/forged.html": `${BLOCK_STYLE}<a id="link" href="/target.html?forged">a link</a>
    <button id="hover" onclick="link.dispatchEvent(new MouseEvent('mouseover', { bubbles: true }));
      window.open(link.href)">hover</button>
    <button id="focus" onclick="link.focus(); window.open(link.href)">focus</button>`,
  // Tab-unders: a copy of the page in a new tab, the page's own tab sent to
  // another site by script, at once, a moment later, or replacing its entry.
  // Left alone: a link's own navigation with the copy, and a login page
  // falling back to its blocked pop-up's address. (The windows open without
  // an opener, in renderers of their own, see startPageServer: so the login
  // page falls back after a while rather than when it sees its window closed.)
  "/tabunder.html": `${BLOCK_STYLE}<script>const copy = () => window.open(location.href, "_blank", "noopener");</script>
    <button id="under" onclick="copy(); location.href = '/target.html?ad'">at once</button>
    <button id="later" onclick="copy(); setTimeout(() => location.href = '/target.html?later', 300)">later</button>
    <button id="replaced" onclick="copy(); location.replace('/target.html?replaced')">replaced</button>
    <a id="linked" href="/target.html?linked" onclick="copy()">link plus a copy</a>
    <button id="login" onclick="window.open('/target.html?login', '_blank', 'noopener');
      setTimeout(() => location.href = '/target.html?login', 300)">login</button>`,
  // Links inside a shadow tree and in SVG.
  "/deeplinks.html": `${BLOCK_STYLE}<div id="host"></div>
    <svg width="300" height="80"><a id="svglink" href="/target.html?svg" target="_blank">
      <rect width="300" height="80" /></a></svg>
    <script>host.attachShadow({ mode: "open" }).innerHTML =
      '<a href="/target.html?shadow" target="_blank" style="display: block; height: 80px">shadow</a>';</script>`,
};
let ownBlocker; // a second browser, Chromium's own blocker on as users have it

before(async () => {
  ({ remote, browser } = await startRun(run, {
    more: USER_PAGES, allowed: () => site("allowed"), switches: { chkStopPop: 1, chkAuto: 0, chkLinks: 1 },
  }));
  ownBlocker = await launchBrowser({ ownBlocker: true });
});

after(async () => {
  if (ownBlocker) await closeBrowser(ownBlocker);
  await endRun(run);
});

test("the extension has the ID that the host manifest allows", () => {
  assert.equal(browser.extensionId, EXTENSION_ID);
});

test("a page on no list: windows opened on load, from a timer and from a click on a non-link are closed", async () => {
  assert.deepEqual(await visit(browser, "popper", "onload.html", { expectClosed: 1 }).then(shape), [1, 1]);
  assert.deepEqual(await visit(browser, "popper", "timer.html", { expectClosed: 1 }).then(shape), [1, 1]);
  assert.deepEqual(await visit(browser, "popper", "click.html", { click: "#box", expectClosed: 1 }).then(shape),
    [1, 1]);
});

test("a page on the allowed list keeps its window", async () => {
  assert.deepEqual(await visit(browser, "allowed", "onload.html").then(shape), [1, 0]);
});

// What Chromium's own blocker lets through for a tab at `page` of `name`: the
// rule the extension set from the program's answer, or none.
async function popupSetting(b, name) {
  const target = await b.browser.waitForTarget((t) => t.type() === "service_worker" && t.url().includes("background.js"));
  return (await target.worker()).evaluate(
    async (address) => (await globalThis.chrome.contentSettings.popups.get({ primaryUrl: address })).setting,
    url(name, "click.html"));
}

async function until(condition, ms = 10000) {
  const deadline = performance.now() + ms;
  while (!(await condition())) {
    if (performance.now() > deadline) return false;
    await sleep(50);
  }
  return true;
}

test("Chromium's own blocker on: an allowed site's pop-ups without a gesture open, and Allow Next lets one through", async () => {
  // The origin's rule is set from the program's answer at the first
  // navigation; a pop-up on the very first load may come before it.
  await freshPage(ownBlocker).then((tab) => tab.goto(url("allowed", "click.html")));
  assert.ok(await until(async () => (await popupSetting(ownBlocker, "allowed")) === "allow"));
  assert.deepEqual(await visit(ownBlocker, "allowed", "onload.html").then(shape), [1, 0]);
  assert.deepEqual(await visit(ownBlocker, "allowed", "timer.html").then(shape), [1, 0]);
  // A site on no list keeps Chromium's blocking: the window is never made.
  assert.deepEqual(await visit(ownBlocker, "popper", "onload.html", { expectOpened: 0 }).then(shape), [0, 0]);
  assert.equal(await popupSetting(ownBlocker, "popper"), "block");
  await remote.run("press Allow Next Popup");
  assert.ok(await until(async () => (await popupSetting(ownBlocker, "popper")) === "allow"));
  assert.deepEqual(await visit(ownBlocker, "popper", "onload.html").then(shape), [1, 0]);
  assert.ok(await until(async () => (await popupSetting(ownBlocker, "popper")) === "block"));
  assert.deepEqual(await visit(ownBlocker, "popper", "timer.html", { expectOpened: 0 }).then(shape), [0, 0]);
});

test("a link under the pointer lets its window through with Exceptions on, not with it off", async () => {
  assert.deepEqual(await visit(browser, "popper", "click.html", { click: "#link" }).then(shape), [1, 0]);
  for (const link of ["#host >>> a", "#svglink"]) {
    assert.deepEqual(await visit(browser, "popper", "deeplinks.html", { click: link }).then(shape), [1, 0], link);
  }
  await remote.run("switch Exceptions: 0");
  assert.deepEqual(await visit(browser, "popper", "click.html", { click: "#link", expectClosed: 1 }).then(shape),
    [1, 1]);
});

test("Allow Next Popup lets exactly one window through", async () => {
  await remote.run("press Allow Next Popup");
  assert.deepEqual(await visit(browser, "popper", "onload.html").then(shape), [1, 0]);
  assert.deepEqual(await visit(browser, "popper", "onload.html", { expectClosed: 1 }).then(shape), [1, 1]);
});

test("setup mode: the prompt asks, Block Always and Allow Always act and extend the lists", async () => {
  await remote.run("switch Setup Mode: 1");
  const screenshots = required("QUELLIX_SCREENSHOT_DIR");
  fs.mkdirSync(screenshots, { recursive: true });

  let asked = visit(browser, "neither", "onload.html", { expectClosed: 1 });
  assert.equal(await remote.run("prompt"), site("neither"));
  await remote.run(`screenshot Z:${path.join(screenshots, "browser-prompt.png")}`);
  await remote.run("answer Block Always");
  assert.deepEqual(shape(await asked), [1, 1]);
  assert.ok((await remote.readFile("disallowed.txt")).includes(`${site("neither")}\r\n`));

  asked = visit(browser, "other", "onload.html");
  assert.equal(await remote.run("prompt"), site("other"));
  await remote.run("answer Allow Always");
  assert.deepEqual(shape(await asked), [1, 0]);
  assert.ok((await remote.readFile("allowed.txt")).includes(`${site("other")}\r\n`));

  // Now on the lists: no question either way.
  assert.deepEqual(await visit(browser, "neither", "onload.html", { expectClosed: 1 }).then(shape), [1, 1]);
  assert.deepEqual(await visit(browser, "other", "onload.html").then(shape), [1, 0]);

  // Chromium's own blocker on: a site on neither list keeps it, so its
  // pop-up on load is never made and nothing is asked.
  assert.deepEqual(await visit(ownBlocker, "unasked", "onload.html", { expectOpened: 0 }).then(shape), [0, 0]);
  await assert.rejects(remote.run("prompt 1000"), "no question was asked");
  // The panel's "Always allow" for the tab's site: the rule follows at once,
  // and the site's next pop-up on load opens.
  const tab = await freshPage(ownBlocker);
  await tab.goto(url("later", "click.html"));
  const added = await (await ownBlocker.worker.worker()).evaluate((address) => globalThis.chrome.runtime.sendNativeMessage(
    "quellix.popup_blocker", { type: "allowSite", id: "panel", url: address }), url("later", "click.html"));
  assert.equal(added.ok, true);
  assert.ok(await until(async () => (await popupSetting(ownBlocker, "later")) === "allow"));
  assert.deepEqual(await visit(ownBlocker, "later", "onload.html").then(shape), [1, 0]);
});

test("two browsers at once, Chromium's own blocker on in the second: each gets its own answers", async () => {
  const second = ownBlocker;
  {
    // The first browser's question waits at the prompt...
    const waiting = visit(browser, "asker", "onload.html", { expectClosed: 1 });
    assert.equal(await remote.run("prompt"), site("asker"));
    // ...while the second is served: a click on a non-link, which Chromium's
    // blocker lets through, is closed by ours (the site is on the disallowed
    // list now); an allowed site keeps its window.
    assert.deepEqual(await visit(second, "neither", "click.html", { click: "#box", expectClosed: 1 }).then(shape),
      [1, 1]);
    assert.deepEqual(await visit(second, "allowed", "click.html", { click: "#box" }).then(shape), [1, 0]);
    await remote.run("answer Block Now");
    assert.deepEqual(shape(await waiting), [1, 1]);
    // Setup mode off: a page on no list, a click on a non-link.
    await remote.run("switch Setup Mode: 0");
    assert.deepEqual(await visit(second, "popper", "click.html", { click: "#box", expectClosed: 1 }).then(shape),
      [1, 1]);
    await remote.run("switch Setup Mode: 1");
  }
});

test("the extension's worker stopped while the prompt waits: the answer still comes, once", async () => {
  const tab = await freshPage(browser);
  const result = watchNewWindows(browser, async () => {
    await tab.goto(url("restart", "onload.html"));
    assert.equal(await remote.run("prompt"), site("restart"));
    const session = await tab.createCDPSession();
    await session.send("ServiceWorker.enable");
    await session.send("ServiceWorker.stopAllWorkers");
    await sleep(500);
    await remote.run("answer Block Now");
    // Anything wakes the worker again; here the pointer moving over a link.
    await tab.hover("#link");
  }, { expect: { opened: 1, closed: 1 } });
  const { opened, closed } = await result;
  closedByUs += closed;
  assert.deepEqual([opened, closed], [1, 1]);
  // No second question was asked.
  await assert.rejects(remote.run("prompt 3000"));
});

// Setup mode on and Exceptions off, as a new user has them: a tab the
// program decided would raise the prompt.
test("the user's own new tabs from a link are never decided, with Chromium's own blocker on", async () => {
  await remote.run("switch Exceptions: 0");
  const tab = await freshPage(ownBlocker);
  await tab.goto(url("reader", "links.html"));
  const presses = {
    ...userPresses(tab, "#user"),
    "middle-click on a link rewritten as it is pressed": userPresses(tab, "#rewritten")["middle-click"],
  };
  for (const [name, press] of Object.entries(presses)) {
    const { opened, closed } = await watchNewWindows(ownBlocker, press, { expect: { opened: 1, closed: 0 }, settleMs: 500 });
    assert.deepEqual([opened, closed], [1, 0], name);
  }
  await assert.rejects(remote.run("prompt 1500"), "no question was asked");
  // Nothing listed in the panel, nothing on the badge.
  const listed = await inWorker(ownBlocker, blockedLists);
  assert.deepEqual(listed, {});
});

test("a link with an ad, a page that closes itself, forged links and a link to a pop-up page are decided", async () => {
  // Ctrl+click on a link whose handler opens an ad: the ad is closed, the
  // link's own tab stays. (With Chromium's own blocker on, Chromium itself
  // opens only the first of the two: one click, one window.)
  await remote.run("switch Setup Mode: 0");
  let tab = await freshPage(browser);
  await tab.goto(url("reader", "links.html"));
  const box = await (await tab.waitForSelector("#ad")).boundingBox();
  let result = await watchNewWindows(browser, async () => {
    await tab.keyboard.down("Control");
    await tab.mouse.click(box.x + 10, box.y + 10);
    await tab.keyboard.up("Control");
  }, { expect: { opened: 2, closed: 1 } });
  closedByUs += result.closed;
  assert.deepEqual(shape(result), [2, 1]);

  // A page that opens a window and closes itself at once is decided as its site.
  await remote.run("switch Setup Mode: 1");
  tab = await freshPage(browser);
  const asked = watchNewWindows(browser, () => openWithoutWaiting(tab, url("allowed", "opencloser.html")),
    { expect: { opened: 2, closed: 2 } });
  assert.equal(await remote.run("prompt"), site("closer"));
  await remote.run("answer Block Now");
  result = await asked;
  closedByUs += 1; // the other closed itself
  assert.deepEqual(shape(result), [2, 2]);

  // Exceptions on: a page's forged hover or focus() on a link is not the user's.
  await remote.run("switch Setup Mode: 0");
  await remote.run("switch Exceptions: 1");
  for (const button of ["#hover", "#focus"]) {
    assert.deepEqual(await visit(browser, "forger", "forged.html", { click: button, expectClosed: 1 }).then(shape),
      [1, 1], button);
  }
  // A pop-up on load of the page a link led to: the link is not its.
  tab = await freshPage(browser);
  await tab.goto(url("reader", "links.html"));
  result = await watchNewWindows(browser, () => clickOpeningAWindow(tab, "#next"), { expect: { opened: 1, closed: 1 } });
  closedByUs += result.closed;
  assert.deepEqual(shape(result), [1, 1]);
  await remote.run("switch Exceptions: 0");
});

test("Chromium's own blocker on: a tab-under is undone; a link's own navigation and a login fallback are left alone", async () => {
  await remote.run("switch Setup Mode: 0");
  const page = url("under", "tabunder.html");
  const cases = { "#under": page, "#later": page, "#replaced": page,
    "#linked": "/target.html?linked", "#login": "/target.html?login" };
  for (const [button, stays] of Object.entries(cases)) {
    const tab = await freshPage(ownBlocker);
    await tab.goto(page);
    const result = await watchNewWindows(ownBlocker, () => clickOpeningAWindow(tab, button),
      { expect: { opened: 1, closed: 1 }, settleMs: 0 });
    closedByUs += result.closed;
    assert.deepEqual(shape(result), [1, 1], button);
    // Where the user is once the page is done: one tab, theirs.
    const where = async () => (await inWorker(ownBlocker, async () =>
      (await globalThis.chrome.tabs.query({})).map((t) => t.url))).join(" ");
    const arrived = await until(async () => (await where()).endsWith(stays));
    await sleep(1000);
    const shown = await where();
    assert.ok(arrived && shown.endsWith(stays) && !shown.includes(" "), `${button}: ${shown}`);
    if (stays !== page) continue;
    // Brought back: listed once, as the blocked window.
    const listed = await inWorker(ownBlocker, blockedLists);
    assert.deepEqual(Object.values(listed).map((record) => record.windows.map((w) => w.url)), [[page]], button);
  }
});

test("a late answer never closes a new tab the user works in", async () => {
  await remote.run("switch Setup Mode: 1");
  const tab = await freshPage(browser);
  const result = await watchNewWindows(browser, async () => {
    openWithoutWaiting(tab, url("latecomer", "onload.html"));
    assert.equal(await remote.run("prompt"), site("latecomer"));
    const popup = await (await browser.browser.waitForTarget((t) => t.url().includes("target.html?onload"))).page();
    await popup.mouse.click(20, 20);
    await sleep(500);
    await remote.run("answer Block Now");
  }, { expect: { opened: 1, closed: 0 } });
  assert.deepEqual(shape(result), [1, 0]);
  // Not listed; but the program did block it, and counts it.
  const listed = await inWorker(browser, blockedLists);
  assert.ok(!JSON.stringify(listed).includes("latecomer"));
  const counted = closedByUs + 1;
  let count;
  for (const end = performance.now() + 20000; performance.now() < end; await sleep(250)) {
    count = await inWorker(browser, () => new Promise((resolve) => {
      const port = globalThis.chrome.runtime.connectNative("quellix.popup_blocker");
      port.onMessage.addListener((message) => {
        port.disconnect();
        resolve(message.stopped);
      });
      port.postMessage({ type: "state", id: "count", url: "http://count.example/" });
    }));
    if (count === counted) break;
  }
  assert.equal(count, counted);
  closedByUs = counted;
});

test("the count saved at exit equals the windows closed", async () => {
  assert.equal(Number(await remote.run("exit")), closedByUs);
});

test("the program not running: every window opens", async () => {
  assert.deepEqual(await visit(browser, "popper", "onload.html").then(shape), [1, 0]);
  assert.deepEqual(await visit(browser, "popper", "timer.html").then(shape), [1, 0]);
  assert.deepEqual(await visit(browser, "popper", "click.html", { click: "#box" }).then(shape), [1, 0]);
});

// Runs `fn` in the extension's worker (the one running now: the browser may
// have started a new one).
async function inWorker(b, fn) {
  const target = await b.browser.waitForTarget((t) => t.type() === "service_worker" && t.url().includes("background.js"));
  return (await target.worker()).evaluate(fn);
}

// Run in the worker: the blocked windows' lists it keeps, one key per tab.
async function blockedLists() {
  const stored = await globalThis.chrome.storage.session.get(null);
  return Object.fromEntries(Object.entries(stored).filter(([key]) => key.startsWith("blocked:")));
}

test("the program gone, its rules are gone; started again, it is heard from unasked", async () => {
  // Chromium's own blocker decides as without the extension.
  assert.ok(await until(async () => (await popupSetting(ownBlocker, "allowed")) === "block"));
  assert.deepEqual(await visit(ownBlocker, "allowed", "onload.html", { expectOpened: 0 }).then(shape), [0, 0]);
  // The allowed site's tab (still open) gets its rule back with no page doing anything.
  await remote.run("start");
  assert.ok(await until(async () => (await popupSetting(ownBlocker, "allowed")) === "allow", 15000));
});

// A real mouse click: move, press, release.
async function clickOpeningAWindow(tab, selector) {
  const box = await (await tab.waitForSelector(selector)).boundingBox();
  await tab.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  await tab.mouse.down();
  tab.mouse.up().catch(() => {});
}

function shape({ opened, closed }) {
  return [opened, closed];
}
