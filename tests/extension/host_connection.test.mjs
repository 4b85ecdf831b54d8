// The extension's connection to the host against a scripted browser whose
// session storage enforces its quota: what it asks, what a restarted worker
// asks again, what it acts on, and what happens when storage is full.
import assert from "node:assert/strict";
import { test } from "node:test";
import { cutAddress } from "../../extension/address_limits.js";
import { HostConnection, MAX_PENDING } from "../../extension/host_connection.js";
import { QUOTA_BYTES, scriptedBrowser } from "./scripted_browser.mjs";

const asked = (port) => port.posted.filter((m) => m.type === "newWindow").map((m) => m.id);

test("a thousand long requests survive a worker restart, each asked again once; answers acted on once", async () => {
  const browser = scriptedBrowser();
  const verdicts = [];
  const worker = new HostConnection(browser, (request, verdict) => verdicts.push([request.tab, verdict]));
  const long = `http://flood.example/${"p".repeat(100_000)}`;
  // A page's flood: one long opener address, each new window's own.
  for (let i = 0; i < 1000; i += 1) {
    await worker.ask(`id${i}`, { tab: 100 + i, opener: 1, url: long, target: `http://flood.example/${i}` });
  }
  assert.equal(browser.writes, 1000); // one small write per request, never the whole set
  const sent = browser.ports[0].posted.find((m) => m.type === "newWindow");
  assert.equal(sent.url, cutAddress(long));
  assert.ok(sent.url.length === 8192 && sent.url.startsWith("http://flood.example/"));

  // The worker stops; a new one asks again what was waiting, on its first port.
  const restarted = new HostConnection(browser, (request, verdict) => verdicts.push([request.tab, verdict]));
  await restarted.ready;
  assert.equal(asked(browser.ports[1]).length, 1000);
  // Every port asks for the program's news before anything else.
  assert.deepEqual(browser.ports.map((p) => p.posted[0].type), ["listen", "listen"]);
  const port = browser.ports[1];
  for (const listener of port.listeners) listener({ type: "verdict", id: "id7", verdict: "block" });
  for (const listener of port.listeners) listener({ type: "verdict", id: "id7", verdict: "leave" });
  await new Promise((resolve) => setTimeout(resolve, 10));
  assert.deepEqual(verdicts, [[107, "block"]]);
  assert.equal(browser.session.has("pending:id7"), false);

  // The port drops and a status message reconnects first: the new port asks
  // again all that still waits.
  port.drop();
  await restarted.tell({ type: "status", tab: 1, text: "" });
  assert.equal(asked(browser.ports[2]).length, 999);
});

test("never more waiting than the program remembers; a full storage is noticed and the request still asked", async (t) => {
  const browser = scriptedBrowser(new Map([["filler", "x".repeat(QUOTA_BYTES - 300)]]));
  const warn = t.mock.method(console, "warn", () => {});
  const worker = new HostConnection(browser, () => {});
  await worker.ask("full", { tab: 5, opener: 1, url: `http://a.example/${"q".repeat(500)}` });
  await worker.ask("full2", { tab: 6, opener: 1, url: `http://a.example/${"q".repeat(500)}` });
  assert.deepEqual(asked(browser.ports[0]), ["full", "full2"]);
  assert.equal(warn.mock.callCount(), 1); // told once while it stays full
  assert.equal(browser.session.has("pending:full"), false);
  await worker.drop(["full2"]);

  await browser.storage.session.remove("filler");
  for (let i = 1; i <= MAX_PENDING; i += 1) await worker.ask(`id${i}`, { tab: i, opener: 1, url: "http://a.example/" });
  assert.equal(asked(browser.ports[0]).length, MAX_PENDING + 1); // full2 was given up
  assert.equal(browser.session.size, MAX_PENDING - 1);
});
