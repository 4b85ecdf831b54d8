// The extension worker's own logic, without a browser: the user's grants and
// their matching (both orders of arrival, the context menu, which a headless
// browser cannot open), and the opener tracking with the creator's site.
import assert from "node:assert/strict";
import { test } from "node:test";
import { KEPT_AFTER_CLOSE_MS, TabAddresses, ownAddress } from "../../extension/tab_addresses.js";
import { MENU_GRANT_MS, PRESS_GRANT_MS, UserGrants, matchKey } from "../../extension/user_grants.js";

function clock() {
  const time = { now: 1000 };
  time.read = () => time.now;
  return time;
}

// A round trip through session storage, as a restarted worker sees it.
const restarted = (kept, Kind, time) => new Kind(JSON.parse(JSON.stringify(kept)), time.read);

test("a press grants its own tab one new tab at the link's address, for a short time", () => {
  const time = clock();
  let grants = new UserGrants({}, time.read);
  const link = "https://news.example/story?id=1";
  grants.grant(5, { press: "p1", kind: "press", url: link });
  // Another tab, another address: not the user's.
  assert.equal(grants.claim(100, 6, link), false);
  assert.equal(grants.claim(101, 5, "https://ad.example/"), false);
  // Scheme and fragment aside, the same address; once only, also when the
  // press is told again.
  assert.equal(grants.claim(102, 5, "http://news.example/story?id=1#top"), true);
  grants.grant(5, { press: "p1", kind: "press", url: link });
  assert.equal(grants.claim(103, 5, link), false);

  grants.grant(5, { press: "p2", kind: "press", url: link });
  grants = restarted(grants, UserGrants, time);
  time.now += PRESS_GRANT_MS + 1;
  assert.equal(grants.claim(104, 5, link), false);
});

test("the address a press counts with is the one its link has after the page's handlers", () => {
  const grants = new UserGrants({}, clock().read);
  grants.grant(5, { press: "p", kind: "press", url: "https://search.example/result" });
  assert.equal(grants.pressing(5), true);
  grants.grant(5, { press: "p", kind: "press", url: "https://search.example/redirect?to=result" });
  assert.equal(grants.claim(100, 5, "https://search.example/result"), false);
  assert.equal(grants.claim(101, 5, "https://search.example/redirect?to=result"), true);
  assert.equal(grants.pressing(5), false);
});

test("a new tab that comes before its grant is claimed by the grant that follows", () => {
  const time = clock();
  let grants = new UserGrants({}, time.read);
  const link = "https://shop.example/item";
  assert.equal(grants.claim(100, 5, "https://ad.example/"), false);
  assert.equal(grants.claim(101, 5, link), false);
  grants = restarted(grants, UserGrants, time);
  assert.equal(grants.grant(6, { press: "q", kind: "press", url: link }), null); // another tab's press
  assert.equal(grants.grant(5, { press: "p", kind: "press", url: link }), 101);
  // The grant is used up by the tab it claimed.
  assert.equal(grants.claim(102, 5, link), false);
  // Too late: the tab is decided.
  assert.equal(grants.claim(103, 5, "https://late.example/"), false);
  time.now += 3001;
  assert.equal(grants.grant(5, { press: "r", kind: "press", url: "https://late.example/" }), null);
  // A claimed-then-closed tab is not claimed again.
  grants.claim(104, 5, "https://gone.example/");
  grants.tabClosed(104);
  assert.equal(grants.grant(5, { press: "s", kind: "press", url: "https://gone.example/" }), null);
});

test("the context menu grants until the next input in its tab, or a minute", () => {
  const time = clock();
  const grants = new UserGrants({}, time.read);
  const link = "https://docs.example/page";
  grants.grant(5, { press: "m1", kind: "menu", url: link });
  assert.equal(grants.pressing(5), false); // nothing to wait for
  time.now += MENU_GRANT_MS - 10;
  grants.input(6);
  assert.equal(grants.claim(100, 5, link), true);

  grants.grant(5, { press: "m2", kind: "menu", url: link });
  grants.grant(5, { press: "p", kind: "press", url: "https://docs.example/other" });
  grants.input(5);
  assert.equal(grants.claim(101, 5, link), false);
  assert.equal(grants.claim(102, 5, "https://docs.example/other"), true); // a press is not ended by input

  grants.grant(5, { press: "m3", kind: "menu", url: link });
  time.now += MENU_GRANT_MS + 1;
  assert.equal(grants.claim(103, 5, link), false);
});

test("matching ignores the scheme and the fragment only", () => {
  assert.equal(matchKey("https://a.example/p?q=1#x"), matchKey("http://a.example/p?q=1"));
  assert.notEqual(matchKey("https://a.example/p?q=1"), matchKey("https://a.example/p?q=2"));
  assert.notEqual(matchKey("https://a.example/p"), matchKey("https://b.example/p"));
  assert.equal(matchKey(undefined), "");
});

test("each tab's opener address is its committed page, kept a while after it closes", () => {
  const time = clock();
  let tabs = new TabAddresses({}, time.read);
  assert.equal(tabs.page(1), null);
  tabs.committed(1, "https://cached.example/");
  tabs.committed(1, "https://opener.example/page");
  tabs.heard(1);
  assert.deepEqual(tabs.page(1), { address: "https://opener.example/page", heard: true, open: true });
  // pushState keeps the document (and its content script); a new document is not heard yet.
  tabs.committed(1, "https://opener.example/page2", { sameDocument: true });
  assert.equal(tabs.page(1).heard, true);
  tabs.shows(1, "https://opener.example/page2");
  assert.equal(tabs.page(1).heard, true);
  tabs.shows(1, "https://activated.example/");
  assert.deepEqual(tabs.page(1), { address: "https://activated.example/", heard: false, open: true });

  tabs.heard(1);
  tabs.closed(1);
  tabs.heard(1); // a closed tab hears nothing more
  tabs = restarted(tabs, TabAddresses, time);
  time.now += KEPT_AFTER_CLOSE_MS - 1;
  assert.deepEqual(tabs.page(1), { address: "https://activated.example/", heard: true, open: false });
  time.now += 2;
  assert.equal(tabs.page(1), null);
});

test("about:blank, data: and blob: pages speak for the page that made them", () => {
  const tabs = new TabAddresses({}, clock().read);
  tabs.committed(1, "https://maker.example/start");
  // A window the page opened blank and wrote into: its creator's address.
  tabs.created(2, 1, "about:blank");
  tabs.committed(2, "about:blank");
  assert.equal(tabs.page(2).address, "https://maker.example/start");
  // A page that takes its own tab to data: stays its own maker.
  tabs.committed(1, "data:text/html,<script>open('x')</script>");
  assert.equal(tabs.page(1).address, "https://maker.example/start");
  tabs.committed(3, "blob:https://blobs.example:8443/5f1e-aa");
  assert.equal(tabs.page(3).address, "https://blobs.example:8443");
  // Nothing known made it: no address at all (never the empty one).
  tabs.committed(4, "about:blank");
  assert.equal(tabs.page(4).address, null);
  tabs.created(5, 99, "about:blank");
  assert.equal(tabs.page(5).address, null);

  assert.equal(ownAddress(""), null);
  assert.equal(ownAddress("blob:null/123"), null);
  assert.equal(ownAddress("ABOUT:srcdoc"), null);
  assert.equal(ownAddress("https://x.example/"), "https://x.example/");
});
