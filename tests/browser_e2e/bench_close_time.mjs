// How soon a blocked window goes: from the browser creating it to its
// closing, over 50 windows opened by a click on a page on no list, in
// Chromium with its own blocker on (as users have it), with the program and
// the host under Wine; where that time goes inside the extension's worker;
// and how many of the blocked windows' requests reached the page server.
// Then the host's and the program's share: the round trip of the same
// request straight through QuellixBridge.exe, and how many such requests one
// connection carries per second.
// Not a test: it prints the figures (tools/bench-browser.sh runs it).
import { spawn } from "node:child_process";
import { endRun, freshPage, launchBrowser, required, sleep, startRun, watchNewWindows } from "./driver.mjs";

const WINDOWS = 50;

function stats(times) {
  const sorted = [...times].sort((a, b) => a - b);
  const at = (q) => sorted[Math.min(sorted.length - 1, Math.ceil(q * sorted.length) - 1)];
  return `median ${at(0.5).toFixed(1)} ms, 95th percentile ${at(0.95).toFixed(1)} ms, ` +
    `min ${sorted[0].toFixed(1)} ms, max ${sorted.at(-1).toFixed(1)} ms (${sorted.length} windows)`;
}

// Marks in the extension's worker, on its clock, for each blocked window: the
// browser's time of the new tab (the event's timeStamp), the worker hearing
// of it, the request's id made (right before it is sent), the verdict acted
// on (tabs.remove called), and the tab gone (tabs.remove done). Taken by
// wrapping what the worker calls, from outside: the extension is as shipped.
// Beside it, at each new tab, a question that the program answers at once
// on a port of its own ("probe"): the round trip through the browser, the
// host and the pipe at that very moment, the decision aside.
async function markTheWorker(b) {
  const worker = await (await b.browser.waitForTarget(
    (t) => t.type() === "service_worker" && t.url().includes("background.js"))).worker();
  // A worker just started may not have the extension's API bound yet.
  while (!(await worker.evaluate(() => globalThis.chrome?.runtime !== undefined))) await sleep(50);
  await worker.evaluate(() => {
    const chrome = globalThis.browser ?? globalThis.chrome;
    const marks = (globalThis.benchMarks = []);
    const now = () => performance.timeOrigin + performance.now();
    const probe = chrome.runtime.connectNative("quellix.popup_blocker");
    const probing = new Map();
    probe.onMessage.addListener((message) => {
      const mark = probing.get(message.id);
      if (mark) mark.probed = now();
    });
    chrome.webNavigation.onCreatedNavigationTarget.addListener((details) => {
      const mark = { tab: details.tabId, created: details.timeStamp, heard: now() };
      marks.push(mark);
      probing.set(`probe${details.tabId}`, mark);
      probe.postMessage({ type: "popupRule", id: `probe${details.tabId}`, url: "http://probe.test/" });
    });
    const randomUUID = crypto.randomUUID.bind(crypto);
    crypto.randomUUID = () => {
      const last = marks.at(-1);
      if (last && last.asked === undefined) last.asked = now();
      return randomUUID();
    };
    const remove = chrome.tabs.remove.bind(chrome.tabs);
    chrome.tabs.remove = (tabId) => {
      const mark = marks.find((m) => m.tab === tabId) ?? {};
      mark.verdict = now();
      return remove(tabId).finally(() => {
        mark.removed = now();
      });
    };
  });
  return worker;
}

function shares(marks) {
  const done = marks.filter((m) => m.removed !== undefined && m.asked !== undefined && m.probed !== undefined);
  const part = (from, to) => stats(done.map((m) => m[to] - m[from]));
  return [
    `  the new tab's event reaching the worker: ${part("created", "heard")}`,
    `  the worker's own work before it asks: ${part("heard", "asked")}`,
    `  asked to verdict (port, host, pipe, program): ${part("asked", "verdict")}`,
    `  tabs.remove until done: ${part("verdict", "removed")}`,
    `  beside it, a question answered at once, on a port of its own: ${part("heard", "probed")}`,
    `  all of it on the browser's clock (the new tab to tabs.remove done): ${part("created", "removed")}`,
  ].join("\n");
}

function frame(message) {
  const body = Buffer.from(JSON.stringify(message));
  const length = Buffer.alloc(4);
  length.writeUInt32LE(body.length);
  return Buffer.concat([length, body]);
}

// Round trips of blocked requests through the host alone.
async function hostRoundTrips(url, count) {
  const bridge = spawn("wine", [required("QUELLIX_BRIDGE_EXE")], { stdio: ["pipe", "pipe", "ignore"] });
  let buffered = Buffer.alloc(0);
  let answered = null;
  bridge.stdout.on("data", (chunk) => {
    buffered = Buffer.concat([buffered, chunk]);
    while (buffered.length >= 4 && buffered.length >= 4 + buffered.readUInt32LE(0)) {
      const length = buffered.readUInt32LE(0);
      const message = JSON.parse(buffered.subarray(4, 4 + length).toString());
      buffered = buffered.subarray(4 + length);
      answered?.(message);
    }
  });
  const ask = (id) => new Promise((resolve) => {
    answered = resolve;
    bridge.stdin.write(frame({ type: "newWindow", id, tab: 1, url }));
  });
  await ask("warm-up"); // the host's start under Wine and its connection
  const times = [];
  for (let i = 0; i < count; i += 1) {
    const start = performance.now();
    const verdict = await ask(`r${i}`);
    if (verdict.verdict !== "block") throw new Error(`not blocked: ${JSON.stringify(verdict)}`);
    times.push(performance.now() - start);
  }
  bridge.stdin.end();
  bridge.stdout.destroy();
  return times;
}

// Requests per second through one connection, the answer ready at once (a
// site on no list, blocking on, no sound): `count` requests written at once,
// timed until the last answer.
async function hostThroughput(url, count) {
  const bridge = spawn("wine", [required("QUELLIX_BRIDGE_EXE")], { stdio: ["pipe", "pipe", "ignore"] });
  let buffered = Buffer.alloc(0);
  let verdicts = 0;
  let done = null;
  bridge.stdout.on("data", (chunk) => {
    buffered = Buffer.concat([buffered, chunk]);
    while (buffered.length >= 4 && buffered.length >= 4 + buffered.readUInt32LE(0)) {
      const length = buffered.readUInt32LE(0);
      if (JSON.parse(buffered.subarray(4, 4 + length).toString()).type === "verdict") verdicts += 1;
      buffered = buffered.subarray(4 + length);
      if (done && verdicts >= done.wanted) done.resolve();
    }
  });
  const answered = (wanted) => new Promise((resolve) => {
    done = { wanted, resolve };
    if (verdicts >= wanted) resolve();
  });
  bridge.stdin.write(frame({ type: "newWindow", id: "warm-up", tab: 1, url }));
  await answered(1);
  const start = performance.now();
  bridge.stdin.write(Buffer.concat(Array.from({ length: count }, (_, i) => frame({ type: "newWindow", id: `t${i}`, tab: 1, url }))));
  await answered(count + 1);
  const seconds = (performance.now() - start) / 1000;
  bridge.stdin.end();
  bridge.stdout.destroy();
  return count / seconds;
}

// A real click on the page's non-link that opens a window; the release is not
// waited for (see openWithoutWaiting).
async function click(tab) {
  const box = await (await tab.waitForSelector("#box")).boundingBox();
  await tab.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  await tab.mouse.down();
  tab.mouse.up().catch(() => {});
}

const run = {};
try {
  const { pages, remote, browser } = await startRun(run, {
    switches: { chkStopPop: 1, chkAuto: 0, chkLinks: 0 }, launch: () => launchBrowser({ ownBlocker: true, pagesOnly: true }),
  });
  // Every request for a blocked window's page that reached the server.
  let reached = 0;
  pages.server.on("request", (request) => {
    if (request.url.startsWith("/target.html?click")) reached += 1;
  });
  const page = `http://popper.test:${pages.port}/click.html`;
  const worker = await markTheWorker(browser);
  const times = [];
  const once = { expect: { opened: 1, closed: 1 }, settleMs: 0 };
  const clicked = async () => {
    const tab = await freshPage(browser);
    await tab.goto(page);
    return watchNewWindows(browser, () => click(tab), once);
  };
  await clicked(); // the host's start
  await sleep(500);
  reached = 0;
  await worker.evaluate(() => globalThis.benchMarks.splice(0));
  for (let i = 0; i < WINDOWS; i += 1) {
    const result = await clicked();
    if (result.closed !== 1) throw new Error(`window ${i} was not closed`);
    times.push(...result.closeTimes);
  }
  await sleep(1000);
  console.log(`blocked window, clicked open, Chromium's own blocker on, created to closed: ${stats(times)}`);
  console.log(`inside the extension's worker:\n${shares(await worker.evaluate(() => globalThis.benchMarks))}`);
  console.log(`blocked windows whose request reached the server: ${reached} of ${WINDOWS}`);
  // The browser's port at rest: the same host and program, nothing opening.
  const atRest = await worker.evaluate(async (url, count) => {
    const chrome = globalThis.browser ?? globalThis.chrome;
    const port = chrome.runtime.connectNative("quellix.popup_blocker");
    const asked = (id) => new Promise((resolve) => {
      const heard = (message) => {
        if (message.id !== id) return;
        port.onMessage.removeListener(heard);
        resolve();
      };
      port.onMessage.addListener(heard);
      port.postMessage({ type: "popupRule", id, url });
    });
    await asked("warm-up");
    const times = [];
    for (let i = 0; i < count; i += 1) {
      const start = performance.now();
      await asked(`q${i}`);
      times.push(performance.now() - start);
    }
    port.disconnect();
    return times;
  }, page, WINDOWS);
  console.log(`a question through the browser's port at rest (worker, port, host, pipe, program): ${stats(atRest)}`);
  const target = page;
  const trips = await hostRoundTrips(target, WINDOWS);
  console.log(`the same request through QuellixBridge.exe and the program alone: ${stats(trips)}`);
  const rate = await hostThroughput(target, 5000);
  console.log(`5000 requests written at once through one connection: ${rate.toFixed(0)} requests per second`);
  console.log(`saved count: ${await remote.run("exit")}`);
} finally {
  await endRun(run);
}
