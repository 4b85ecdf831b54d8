// How often an allowed site's pop-up without a gesture still loses the race
// on the very first visit of its origin, with Chromium's own blocker on: the
// rule that lets the browser pass it is set from the program's answer at
// the tab's first navigation, and a page that opens its window while it is
// still loading may come first. Then the same origins again, with the rule in
// place. Not a test: tools/bench-browser.sh runs it and prints the figures.
import { endRun, freshPage, launchBrowser, openWithoutWaiting, startRun, watchNewWindows } from "./driver.mjs";

const ORIGINS = 20;
const PAGES = {
  // The earliest a page can ask: the first thing its document runs.
  "/first.html": `<script>window.open("/target.html?first");</script>`,
  "/later.html": `<script>setTimeout(() => window.open("/target.html?later"), 150);</script>`,
};

const run = {};
const site = (name) => `${name}.test:${run.pages.port}`;
const early = Array.from({ length: ORIGINS }, (_, n) => `early${n}`);
const late = Array.from({ length: ORIGINS }, (_, n) => `late${n}`);

// Windows that opened and stayed open, over one visit of each origin.
async function kept(names, page) {
  let count = 0;
  for (const name of names) {
    const tab = await freshPage(run.browser);
    const result = await watchNewWindows(run.browser, async () => openWithoutWaiting(tab, `http://${site(name)}/${page}`),
      { settleMs: 1500 });
    count += result.opened - result.closed;
  }
  return count;
}

try {
  await startRun(run, {
    more: PAGES,
    allowed: () => [...early, ...late].map(site).join(","),
    switches: { chkStopPop: 1, chkAuto: 0, chkLinks: 1 },
    launch: () => launchBrowser({ ownBlocker: true }),
  });
  const firstAtOnce = await kept(early, "first.html");
  const firstAfter150 = await kept(late, "later.html");
  const againAtOnce = await kept(early, "first.html");
  console.log(`Allowed origins, Chromium's own blocker on (${ORIGINS} origins each):`);
  console.log(`  first visit, window opened by the document's first script: ${firstAtOnce} of ${ORIGINS} opened`);
  console.log(`  first visit, window opened 150 ms after the script ran: ${firstAfter150} of ${ORIGINS} opened`);
  console.log(`  second visit, window opened by the document's first script: ${againAtOnce} of ${ORIGINS} opened`);
} finally {
  await endRun(run);
}
