// Debian's firefox-esr for the real-browser runs, headless, through
// puppeteer-core over WebDriver BiDi: the unpacked extension installed as a
// temporary add-on (which needs no signature), and the native messaging host
// in the per-user folder of a home of the run's own.
import { EventEmitter } from "node:events";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import puppeteer from "puppeteer-core";
import { extensionDir, installHost } from "./driver.mjs";

export const FIREFOX_EXTENSION_ID = "popup-blocker@quellix.example";

// The page targets' coming and going, told as the Chromium runs' browser
// events tell it, so that watchNewWindows follows Firefox's windows alike.
function pageEvents(browser) {
  const events = new EventEmitter();
  const ids = new WeakMap();
  let next = 0;
  const idOf = (target) => {
    if (!ids.has(target)) ids.set(target, `firefox-${++next}`);
    return ids.get(target);
  };
  browser.on("targetcreated", (target) => {
    if (target.type() === "page") {
      events.emit("Target.targetCreated", { targetInfo: { type: "page", targetId: idOf(target), url: target.url() } });
    }
  });
  browser.on("targetdestroyed", (target) => {
    if (target.type() === "page") events.emit("Target.targetDestroyed", { targetId: idOf(target) });
  });
  return events;
}

export async function launchFirefox() {
  const home = fs.mkdtempSync(path.join(os.tmpdir(), "quellix-firefox-"));
  installHost("firefox", home, path.join(home, ".mozilla", "native-messaging-hosts"));
  const browser = await puppeteer.launch({
    browser: "firefox",
    executablePath: process.env.QUELLIX_FIREFOX ?? "/usr/bin/firefox-esr",
    headless: true,
    protocolTimeout: 60000,
    // Firefox's own blocker on, as users have it (Puppeteer's profile turns
    // it off); no cache, so that the test server sees every load.
    extraPrefsFirefox: {
      "dom.disable_open_during_load": true, "browser.cache.disk.enable": false, "browser.cache.memory.enable": false,
    },
    // Firefox looks for native messaging hosts under $HOME/.mozilla.
    env: { ...process.env, HOME: home },
  });
  const events = pageEvents(browser);
  const installed = await browser.installExtension(extensionDir);
  if (installed !== FIREFOX_EXTENSION_ID) throw new Error(`the extension installed as ${installed}`);
  return { browser, profile: home, events };
}
