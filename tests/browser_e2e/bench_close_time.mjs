// How soon a blocked window goes: from the browser creating it to its
// closing, over 50 windows opened on load by a page on no list, with the
// program and the host under Wine. Then the host's and the program's share:
// the round trip of the same request straight through QuellixBridge.exe, and
// how many such requests one connection carries per second.
// Not a test: it prints the figures (tools/bench-browser.sh runs it).
import { spawn } from "node:child_process";
import { endRun, freshPage, openWithoutWaiting, required, startRun, watchNewWindows } from "./driver.mjs";

const WINDOWS = 50;

function stats(times) {
  const sorted = [...times].sort((a, b) => a - b);
  const at = (q) => sorted[Math.min(sorted.length - 1, Math.ceil(q * sorted.length) - 1)];
  return `median ${at(0.5).toFixed(1)} ms, 95th percentile ${at(0.95).toFixed(1)} ms, ` +
    `min ${sorted[0].toFixed(1)} ms, max ${sorted.at(-1).toFixed(1)} ms (${sorted.length} windows)`;
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

const run = {};
try {
  const { pages, remote, browser } = await startRun(run, { switches: { chkStopPop: 1, chkAuto: 0, chkLinks: 0 } });
  const target = `http://popper.test:${pages.port}/onload.html`;
  const times = [];
  const open = (tab) => openWithoutWaiting(tab, target);
  const once = { expect: { opened: 1, closed: 1 }, settleMs: 0 };
  await watchNewWindows(browser, async () => open(await freshPage(browser)), once); // the host's start
  for (let i = 0; i < WINDOWS; i += 1) {
    const tab = await freshPage(browser);
    const result = await watchNewWindows(browser, async () => open(tab), once);
    if (result.closed !== 1) throw new Error(`window ${i} was not closed`);
    times.push(...result.closeTimes);
  }
  console.log(`blocked window, created to closed: ${stats(times)}`);
  const trips = await hostRoundTrips(target, WINDOWS);
  console.log(`the same request through QuellixBridge.exe and the program alone: ${stats(trips)}`);
  const rate = await hostThroughput(target, 5000);
  console.log(`5000 requests written at once through one connection: ${rate.toFixed(0)} requests per second`);
  console.log(`saved count: ${await remote.run("exit")}`);
} finally {
  await endRun(run);
}
