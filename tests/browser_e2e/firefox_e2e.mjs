// The same extension and host in Debian's firefox-esr, headless, against the
// real program under Wine: a page on no list has its window closed, a page
// on the allowed list keeps its window, and in setup mode the prompt asks
// and its Always answers act and extend the lists; with the program gone
// every window opens. (The panel is driven in chromium only: Firefox's
// WebDriver BiDi refuses to navigate to moz-extension pages, and a headless
// browser has no toolbar to open it from.)
import assert from "node:assert/strict";
import { after, before, test } from "node:test";
import { endRun, freshPage, openWithoutWaiting, startRun, watchNewWindows } from "./driver.mjs";
import { launchFirefox } from "./firefox_driver.mjs";

const run = {};
let remote;
let browser;

const site = (name) => `${name}.localhost:${run.pages.port}`;
const url = (name, page) => `http://${site(name)}/${page}`;

async function visit(name, page, expectClosed = 0) {
  const tab = await freshPage(browser);
  const { opened, closed } = await watchNewWindows(browser, () => openWithoutWaiting(tab, url(name, page)),
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
  assert.deepEqual(await visit("popper", "onload.html", 1), [1, 1]);
  assert.deepEqual(await visit("allowed", "onload.html"), [1, 0]);

  await remote.run("switch Setup Mode: 1");
  let asked = visit("neither", "onload.html", 1);
  assert.equal(await remote.run("prompt"), site("neither"));
  await remote.run("answer Block Always");
  assert.deepEqual(await asked, [1, 1]);
  assert.ok((await remote.readFile("disallowed.txt")).includes(`${site("neither")}\r\n`));

  asked = visit("other", "onload.html");
  assert.equal(await remote.run("prompt"), site("other"));
  await remote.run("answer Allow Always");
  assert.deepEqual(await asked, [1, 0]);
  assert.ok((await remote.readFile("allowed.txt")).includes(`${site("other")}\r\n`));
  assert.deepEqual(await visit("other", "onload.html"), [1, 0]);

  assert.equal(Number(await remote.run("exit")), 2);
  assert.deepEqual(await visit("popper", "onload.html"), [1, 0]);
});
