// How many blocked pop-ups reach their server in Firefox: 50 windows that a
// click opens on a page on no list (Firefox's own blocker on, as in the
// Firefox run), each closed by the program's verdict; the test server counts
// the windows' requests.
// Not a test: it prints the figures (tools/bench-browser.sh runs it).
import { endRun, freshPage, startRun, watchNewWindows } from "./driver.mjs";
import { launchFirefox } from "./firefox_driver.mjs";
import { HOLD_MS } from "../../extension/request_hold.js";

const WINDOWS = 50;

const run = {};
try {
  const { pages, remote, browser } = await startRun(run, {
    windowHost: "newwindow.localhost",
    switches: { chkStopPop: 1, chkAuto: 0, chkLinks: 0 },
    launch: launchFirefox,
  });
  const page = `http://popper.localhost:${pages.port}/click.html`;
  const once = { expect: { opened: 1, closed: 1 }, settleMs: 0 };
  let notClosed = 0;
  for (let i = 0; i < WINDOWS; i += 1) {
    const tab = await freshPage(browser);
    await tab.goto(page);
    const result = await watchNewWindows(browser, () => tab.click("#box"), once);
    if (result.closed !== 1) notClosed += 1;
  }
  // A request let go at the hold's bound would come this much later.
  await new Promise((resolve) => setTimeout(resolve, HOLD_MS));
  const reached = pages.arrivals("/target.html?click").length;
  console.log(`firefox, ${WINDOWS} blocked click-driven pop-ups: ${reached} of their requests reached the server, ` +
    `${notClosed} not closed; the program counted ${await remote.run("exit")}`);
} finally {
  await endRun(run);
}
