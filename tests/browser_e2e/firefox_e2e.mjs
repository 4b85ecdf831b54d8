// The same extension and host in Debian's firefox-esr, headless, with its
// own blocker on, against the real program under Wine: a click-driven
// window of a page on no list is closed, a page on the allowed list keeps
// its window, the user's own new tabs from a link are never asked about, and
// in setup mode the prompt asks and its Always answers act and extend the
// lists; with the program gone every window opens. (The panel is driven in chromium only: Firefox's
// WebDriver BiDi refuses to navigate to moz-extension pages, and a headless
// browser has no toolbar to open it from.)
import assert from "node:assert/strict";
import { after, before, test } from "node:test";
import { endRun, freshPage, startRun, userPresses, watchNewWindows } from "./driver.mjs";
import { launchFirefox } from "./firefox_driver.mjs";

const run = {};
let remote;
let browser;

const site = (name) => `${name}.localhost:${run.pages.port}`;
const url = (name, page) => `http://${site(name)}/${page}`;

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
  assert.deepEqual(await visit("allowed"), [1, 0]);

  await remote.run("switch Setup Mode: 1");
  // The user's own new tabs: no question, no count. (Firefox names the
  // selected tab as the opener of a tab the user opens: the page is brought
  // to the front first, as the user's page is.)
  const tab = await freshPage(browser);
  await tab.goto(url("reader", "links.html"));
  await tab.bringToFront();
  for (const [name, press] of Object.entries(userPresses(tab, "#user"))) {
    const { opened, closed } = await watchNewWindows(browser, press, { expect: { opened: 1, closed: 0 }, settleMs: 500 });
    assert.deepEqual([opened, closed], [1, 0], name);
  }
  await assert.rejects(remote.run("prompt 1500"), "no question was asked");

  let asked = visit("neither", 1);
  assert.equal(await remote.run("prompt"), site("neither"));
  await remote.run("answer Block Always");
  assert.deepEqual(await asked, [1, 1]);
  assert.ok((await remote.readFile("disallowed.txt")).includes(`${site("neither")}\r\n`));

  asked = visit("other");
  assert.equal(await remote.run("prompt"), site("other"));
  await remote.run("answer Allow Always");
  assert.deepEqual(await asked, [1, 0]);
  assert.ok((await remote.readFile("allowed.txt")).includes(`${site("other")}\r\n`));
  assert.deepEqual(await visit("other"), [1, 0]);

  assert.equal(Number(await remote.run("exit")), 2);
  assert.deepEqual(await visit("popper"), [1, 0]);
});
