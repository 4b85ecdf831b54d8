// Shared driver code for the real-browser runs: the program's remote under
// Wine, the test pages on 127.0.0.1, a Chromium profile with the unpacked
// extension and the native messaging host, and the watching of new windows.
import { spawn } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import readline from "node:readline";
import { fileURLToPath } from "node:url";
import puppeteer from "puppeteer-core";

const here = path.dirname(fileURLToPath(import.meta.url));
export const root = path.resolve(here, "../..");
export const extensionDir = path.join(root, "extension");
export const EXTENSION_ID = "noijcdbfplaphlbdbflmcfdnmabmdahp";
const HOST_NAME = "quellix.popup_blocker";

export function required(name) {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set (run through CTest or tools/bench-browser.sh)`);
  return value;
}

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The program's remote (program_remote.exe) under Wine: one command, one answer line.
export class ProgramRemote {
  static async start() {
    // Wine's own helper processes outlive the remote and hold on to what it
    // was given: no standard error of ours for them.
    const child = spawn("wine", [required("QUELLIX_PROGRAM_REMOTE")], { stdio: ["pipe", "pipe", "ignore"] });
    const remote = new ProgramRemote(child);
    const first = await remote.nextLine(120000);
    if (first !== "ready") throw new Error(`remote did not start: ${first}`);
    return remote;
  }

  constructor(child) {
    this.child = child;
    this.lines = [];
    this.waiting = null;
    readline.createInterface({ input: child.stdout }).on("line", (line) => {
      if (this.waiting) {
        const resolve = this.waiting;
        this.waiting = null;
        resolve(line);
      } else {
        this.lines.push(line);
      }
    });
  }

  nextLine(ms) {
    if (this.lines.length > 0) return Promise.resolve(this.lines.shift());
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error("the remote did not answer")), ms);
      this.waiting = (line) => {
        clearTimeout(timer);
        resolve(line.replace(/\r$/, ""));
      };
    });
  }

  // Sends a command; returns what follows "ok", throws on "fail".
  async run(command, ms = 90000) {
    this.child.stdin.write(`${command}\n`);
    const answer = await this.nextLine(ms);
    if (!answer.startsWith("ok")) throw new Error(`${command}: ${answer}`);
    return answer.slice(3);
  }

  async readFile(name) {
    return JSON.parse(await this.run(`read ${name}`));
  }

  async close() {
    this.child.stdin.end("quit\n");
    if (this.child.exitCode === null) await new Promise((resolve) => this.child.once("exit", resolve));
    this.child.stdout.destroy();
  }
}

// Pages of the test's own. Every host name maps to 127.0.0.1 (the browser's
// resolver rules), so that each test site is a site of its own. The new
// windows open on a site of their own too, so that each runs in a renderer
// of its own: Puppeteer's debugging holds a new window until it has attached
// to it, and one held in its opener's renderer would hold the opener as well
// when it is closed first (only under debugging; a browser as users run it
// goes on). The decision takes the opener's address, not the new window's.
export const BLOCK_STYLE = "<style>a, button { display: block; width: 300px; height: 40px; margin: 10px; }</style>";
const PAGES = {
  "/onload.html": `<script>window.open("/target.html?onload", "_blank", "width=300,height=200");</script>
    <a id="link" href="/target.html?link">a link</a>`,
  "/timer.html": `<script>setTimeout(() => window.open("/target.html?timer"), 150);</script>`,
  "/click.html": `<style>#box, #link { display: block; width: 300px; height: 80px; margin: 20px; }</style>
    <div id="box" onclick="window.open('/target.html?click')">not a link</div>
    <a id="link" href="/target.html?link" target="_blank">a link</a>`,
  // Links a user opens in new tabs; one its page rewrites as it is pressed.
  "/links.html": `${BLOCK_STYLE}<a id="user" href="/target.html?user">a link</a>
    <a id="rewritten" href="/target.html?asshown" onmousedown="this.href = '/target.html?rewritten'">rewritten</a>
    <a id="ad" href="/target.html?linktab" onclick="window.open('/target.html?ad')">a link with an ad</a>
    <a id="next" href="/onload.html">to a page with a pop-up</a>`,
  "/target.html": "<p>a new window</p>",
};

// `more`: further pages of a run's own, by path; `windowHost`: the site the
// new windows open on (a name the browser resolves to 127.0.0.1).
// `arrivals(pathAndQuery)`: when each request for it reached the server
// (performance.now()), so that a run can tell which windows' requests did.
export async function startPageServer(more = {}, windowHost = "newwindow.test") {
  const all = { ...PAGES, ...more };
  const seen = new Map();
  const server = http.createServer((request, response) => {
    seen.set(request.url, [...(seen.get(request.url) ?? []), performance.now()]);
    const page = all[new URL(request.url, "http://x").pathname]?.replaceAll(
      "/target.html", `http://${windowHost}:${server.address().port}/target.html`);
    response.writeHead(page ? 200 : 404, { "content-type": "text/html" });
    response.end(page ? `<!doctype html><html><body>${page}</body></html>` : "");
  });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  return { server, port: server.address().port, arrivals: (address) => seen.get(address) ?? [] };
}

// The host manifest of `family` ("chromium" or "firefox") in `hosts`, naming a
// wrapper in `folder` that runs QuellixBridge.exe under Wine.
export function installHost(family, folder, hosts) {
  fs.mkdirSync(hosts, { recursive: true });
  const wrapper = path.join(folder, "quellix-bridge.sh");
  const keep = ["WINEPREFIX", "WINEARCH", "WINEDEBUG", "WINEDLLOVERRIDES", "DISPLAY", "PATH", "HOME"];
  const exports = keep
    .filter((name) => process.env[name] !== undefined)
    .map((name) => `export ${name}='${process.env[name].replace(/'/g, "'\\''")}'`);
  fs.writeFileSync(wrapper, `#!/bin/sh\n${exports.join("\n")}\nexec wine '${required("QUELLIX_BRIDGE_EXE")}' "$@" 2>/dev/null\n`);
  fs.chmodSync(wrapper, 0o755);
  const manifest = JSON.parse(fs.readFileSync(path.join(root, "bridge", `${HOST_NAME}.${family}.json`), "utf8"));
  fs.writeFileSync(path.join(hosts, `${HOST_NAME}.json`), JSON.stringify({ ...manifest, path: wrapper }));
}

// A fresh profile whose NativeMessagingHosts folder names the host.
function makeProfile() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "quellix-chromium-"));
  installHost("chromium", profile, path.join(profile, "NativeMessagingHosts"));
  return profile;
}

// Debian's chromium, headless, with the unpacked extension; `ownBlocker`
// leaves Chromium's own pop-up blocker on (its default). `pagesOnly`: the
// windows that pages open are let go at once rather than held until
// Puppeteer has attached to them (as a browser runs without a debugger; they
// are then not Puppeteer's pages).
export async function launchBrowser({ ownBlocker = false, pagesOnly = false } = {}) {
  const profile = makeProfile();
  const args = [
    "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
    "--disable-component-update", "--disable-sync", "--host-resolver-rules=MAP * 127.0.0.1",
    `--disable-extensions-except=${extensionDir}`, `--load-extension=${extensionDir}`,
  ];
  if (!ownBlocker) args.push("--disable-popup-blocking");
  const browser = await puppeteer.launch({
    executablePath: process.env.QUELLIX_CHROMIUM ?? "/usr/bin/chromium",
    headless: true,
    pipe: true,
    protocolTimeout: 60000,
    userDataDir: profile,
    ...(pagesOnly ? { targetFilter: (target) => target.type() !== "page" || target.opener() === undefined } : {}),
    // Puppeteer's defaults switch extensions and Chromium's own blocker off.
    ignoreDefaultArgs: ownBlocker ? ["--disable-extensions", "--disable-popup-blocking"] : ["--disable-extensions"],
    args,
  });
  const worker = await browser.waitForTarget((t) => t.type() === "service_worker" && t.url().includes("background.js"));
  const events = await browser.target().createCDPSession();
  await events.send("Target.setDiscoverTargets", { discover: true });
  return { browser, profile, worker, events, extensionId: new URL(worker.url()).host };
}

export async function closeBrowser({ browser, profile }) {
  await browser.close();
  fs.rmSync(profile, { recursive: true, force: true });
}

// Runs `action` and follows every page that opens meanwhile (or soon
// after): how many opened, how many of those were closed again, and how long
// each closing took. The browser's own target events are used, since a
// window closed at once may never become a target that Puppeteer reports.
export async function watchNewWindows(b, action, { settleMs = 1500, expect } = {}) {
  const opened = new Map(); // targetId -> {at, closedAt, url}
  const onCreated = ({ targetInfo }) => {
    if (targetInfo.type === "page" && !opened.has(targetInfo.targetId)) {
      opened.set(targetInfo.targetId, { at: performance.now(), closedAt: null, url: targetInfo.url });
    }
  };
  const onDestroyed = ({ targetId }) => {
    const entry = opened.get(targetId);
    if (entry && entry.closedAt === null) entry.closedAt = performance.now();
  };
  b.events.on("Target.targetCreated", onCreated);
  b.events.on("Target.targetDestroyed", onDestroyed);
  try {
    await action();
    const deadline = performance.now() + 15000;
    // Until the expected windows have opened (and closed), then a settling time.
    while (performance.now() < deadline) {
      const entries = [...opened.values()];
      const enough = expect === undefined || entries.length >= expect.opened;
      const closedEnough = expect === undefined || entries.filter((e) => e.closedAt !== null).length >= expect.closed;
      if (enough && closedEnough) break;
      await sleep(10);
    }
    await sleep(settleMs);
  } finally {
    b.events.off("Target.targetCreated", onCreated);
    b.events.off("Target.targetDestroyed", onDestroyed);
  }
  const entries = [...opened.values()];
  if (process.env.QUELLIX_E2E_DEBUG) console.log(JSON.stringify(entries));
  return {
    opened: entries.length,
    closed: entries.filter((e) => e.closedAt !== null).length,
    closeTimes: entries.filter((e) => e.closedAt !== null).map((e) => e.closedAt - e.at),
  };
}

// What every run begins with, filled into `run` step by step so that endRun
// takes down whatever did start: the test pages (`more` and `windowHost` as
// for startPageServer), the program through its remote with an allowed list
// (`allowed()`: sites separated by commas, "-" for none; run.pages is there
// by then) and its switches, then the browser that `launch` starts.
export async function startRun(run, { more, windowHost, allowed = () => "-", switches, launch = launchBrowser }) {
  run.pages = await startPageServer(more, windowHost);
  run.remote = await ProgramRemote.start();
  const folder = await run.remote.run(`prepare ${allowed()} -`);
  // The host serves only the program in its own folder: the browser starts the copy there.
  process.env.QUELLIX_BRIDGE_EXE = `${folder}\\QuellixBridge.exe`;
  for (const [key, value] of Object.entries(switches)) await run.remote.run(`set ${key} ${value}`);
  await run.remote.run("start");
  run.browser = await launch();
  return run;
}

export async function endRun({ pages, remote, browser }) {
  if (browser) await closeBrowser(browser);
  if (remote) await remote.close();
  pages?.server.closeAllConnections();
  pages?.server.close();
}

// Under Puppeteer's debugging a page may stop answering when a window it
// opened is closed before that window has begun to load (Puppeteer holds each
// new window until it has attached to it, and the held window's first
// document lives in the opener's renderer). So nothing waits on a page once
// it may have opened a window: neither its load nor the release of a click.
// A browser as users run it goes on (checked without Puppeteer: 20 windows
// closed in a row, the page reporting after each).
export function openWithoutWaiting(tab, address) {
  tab.goto(address).catch(() => {});
}

// The user's own ways of opening a link of `tab` in a new tab, by name.
export function userPresses(tab, selector) {
  const where = async () => {
    const box = await (await tab.waitForSelector(selector)).boundingBox();
    return [box.x + box.width / 2, box.y + box.height / 2];
  };
  const withKey = async (key, press) => {
    await tab.keyboard.down(key);
    await press();
    await tab.keyboard.up(key);
  };
  return {
    "middle-click": async () => tab.mouse.click(...(await where()), { button: "middle" }),
    "Ctrl+click": async () => withKey("Control", async () => tab.mouse.click(...(await where()))),
    "Shift+click": async () => withKey("Shift", async () => tab.mouse.click(...(await where()))),
    "Ctrl+Enter": async () => {
      await tab.focus(selector);
      await withKey("Control", () => tab.keyboard.press("Enter"));
    },
  };
}

// Opens a blank tab and closes every other, so that each step starts alike
// (the new tab opens before any watching starts).
export async function freshPage(b) {
  const pages = await b.browser.pages();
  const page = await b.browser.newPage();
  for (const other of pages) await other.close().catch(() => {});
  return page;
}
