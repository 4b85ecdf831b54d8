// The same extension and host in Debian's firefox-esr, headless, with its
// own blocker on, against the real program under Wine: a click-driven
// window of a page on no list is closed before its request reaches the
// server (the request waits for the verdict), a page on the allowed list
// keeps its window, the user's own new tabs from a link are never asked
// about and load at once, and
// in setup mode the prompt asks and its Always answers act and extend the
// lists; with the program gone every window opens. (The panel is driven in chromium only: Firefox's
// WebDriver BiDi refuses to navigate to moz-extension pages, and a headless
// browser has no toolbar to open it from.)
import assert from "node:assert/strict";
import { after, before, test } from "node:test";
import { endRun, freshPage, sleep, startRun, userPresses, watchNewWindows } from "./driver.mjs";
import { HOLD_MS } from "../../extension/request_hold.js";
import { launchFirefox } from "./firefox_driver.mjs";

const run = {};
let remote;
let browser;

const site = (name) => `${name}.localhost:${run.pages.port}`;
const url = (name, page) => `http://${site(name)}/${page}`;
// How many click-driven windows' requests reached the server.
const windowsLoaded = () => run.pages.arrivals("/target.html?click").length;
// Until `count` have: a window let through after the prompt loads once the
// answer is back, well before the hold's bound would let it go anyway.
async function windowsLoadedReach(count) {
  for (const deadline = performance.now() + HOLD_MS / 2; windowsLoaded() < count && performance.now() < deadline;) {
    await sleep(20);
  }
  return windowsLoaded();
}

// Firefox's own blocker stops windows opened on load: a click opens them.
async function visit(name, expectClosed = 0) {
  const tab = await freshPage(browser);
  await tab.goto(url(name, "click.html"));
  const { opened, closed } = await watchNewWindows(browser, () => tab.click("#box"),
    { expect: { opened: 1, closed: expectClosed } });
  return [opened, closed];
}

before(async () => {
  ({ remote, browser } = await startRun(run, {
    windowHost: "newwindow.localhost", // Firefox takes every *.localhost name for the loopback address
    allowed: () => site("allowed"), switches: { chkStopPop: 1, chkAuto: 0, chkLinks: 0 }, launch: launchFirefox,
  }));
});

after(() => endRun(run));

test("firefox: blocking, the allowed list and the setup-mode prompt", async () => {
  assert.deepEqual(await visit("popper", 1), [1, 1]);
  assert.equal(windowsLoaded(), 0, "the blocked window's request reached the server");
  assert.deepEqual(await visit("allowed"), [1, 0]);
  assert.equal(windowsLoaded(), 1);

  await remote.run("switch Setup Mode: 1");
  // The user's own new tabs: no question, no count. (Firefox names the
  // selected tab as the opener of a tab the user opens: the page is brought
  // to the front first, as the user's page is.)
  const tab = await freshPage(browser);
  await tab.goto(url("reader", "links.html"));
  await tab.bringToFront();
  const userTabs = () => run.pages.arrivals("/target.html?user");
  for (const [name, press] of Object.entries(userPresses(tab, "#user"))) {
    const pressed = performance.now();
    const { opened, closed } = await watchNewWindows(browser, press, { expect: { opened: 1, closed: 0 }, settleMs: 500 });
    assert.deepEqual([opened, closed], [1, 0], name);
    // Loaded at once, not held for a verdict that never comes (which would
    // take the hold's whole bound; a busy machine takes a second or two).
    const loadedAfter = userTabs().at(-1) - pressed;
    assert.ok(loadedAfter < HOLD_MS / 2, `${name}: loaded ${loadedAfter.toFixed(0)} ms after the press`);
  }
  assert.equal(userTabs().length, 4, "each of the user's tabs loaded once");
  await assert.rejects(remote.run("prompt 1500"), "no question was asked");

  let asked = visit("neither", 1);
  assert.equal(await remote.run("prompt"), site("neither"));
  await remote.run("answer Block Always");
  assert.deepEqual(await asked, [1, 1]);
  assert.equal(windowsLoaded(), 1, "held while the prompt asked, then cancelled");
  assert.ok((await remote.readFile("disallowed.txt")).includes(`${site("neither")}\r\n`));

  asked = visit("other");
  assert.equal(await remote.run("prompt"), site("other"));
  await remote.run("answer Allow Always");
  assert.deepEqual(await asked, [1, 0]);
  assert.equal(await windowsLoadedReach(2), 2, "held while the prompt asked, then let go by the answer");
  assert.ok((await remote.readFile("allowed.txt")).includes(`${site("other")}\r\n`));
  assert.deepEqual(await visit("other"), [1, 0]);
  assert.equal(await windowsLoadedReach(3), 3);

  assert.equal(Number(await remote.run("exit")), 2);
  assert.deepEqual(await visit("popper"), [1, 0]);
  assert.equal(await windowsLoadedReach(4), 4, "with the program gone the window loads");
});
