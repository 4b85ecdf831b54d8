// The tab-under watch against scripted browser events: what brings a tab
// back and how, what leaves it alone, and the bounds a hostile page meets.
// (Chromium's real run shows the common cases end to end.)
import assert from "node:assert/strict";
import { after, test } from "node:test";
import { TAB_UNDER_MS, TabUnder } from "../../extension/tab_under.js";

const PAGE = "https://news.example/story";
const AD = "https://ads.example/landing";

// Every browser made, its tabs closed at the end (which ends the watch's timers).
const browsers = [];
after(() => browsers.forEach((b) => [1, 2].forEach((tab) => b.api.tabs.onRemoved.fire(tab))));

// The parts of the browser the watch uses; `calls` is what it did to tabs.
function scriptedBrowser({ backFails = false } = {}) {
  const event = () => {
    const listeners = [];
    return { addListener: (fn) => listeners.push(fn), fire: (...args) => listeners.forEach((fn) => fn(...args)) };
  };
  const calls = [];
  const nav = {};
  for (const name of ["onCreatedNavigationTarget", "onBeforeNavigate", "onCommitted", "onHistoryStateUpdated",
    "onReferenceFragmentUpdated"]) nav[name] = event();
  const api = {
    webNavigation: nav,
    tabs: {
      onRemoved: event(),
      onUpdated: event(),
      query: async () => [],
      goBack: async (tabId) => {
        calls.push(["back", tabId]);
        if (backFails) throw new Error("Cannot find a next page in history.");
      },
      update: async (tabId, { url }) => calls.push(["load", tabId, url]),
    },
  };
  const time = { now: 1000 };
  const left = [];
  const watch = new TabUnder(api, (tabId, url) => left.push([tabId, url]), () => time.now);
  const commit = (tabId, url, transitionType = "link", transitionQualifiers = []) => {
    nav.onBeforeNavigate.fire({ frameId: 0, tabId, url, timeStamp: time.now });
    nav.onCommitted.fire({ frameId: 0, tabId, url, transitionType, transitionQualifiers, timeStamp: time.now });
  };
  const copy = (copyTab, opener = 1, url = PAGE) =>
    nav.onCreatedNavigationTarget.fire({ tabId: copyTab, sourceTabId: opener, url, timeStamp: time.now });
  const made = { api, calls, left, watch, time, commit, copy };
  browsers.push(made);
  return made;
}

test("a blocked copy and the page's own tab sent away by script: brought back once, whichever comes first", () => {
  // The verdict first, three copies of one press, the page's own history state changed before.
  let b = scriptedBrowser();
  b.commit(1, PAGE, "typed");
  b.api.webNavigation.onHistoryStateUpdated.fire({ frameId: 0, tabId: 1, url: `${PAGE}?page=2` });
  for (const tab of [10, 11, 12]) b.copy(tab, 1, `${PAGE}?page=2#top`);
  for (const tab of [10, 11, 12]) b.watch.decided({ tab }, "block");
  b.time.now += TAB_UNDER_MS - 100;
  b.commit(1, AD);
  assert.equal(b.watch.mayReturn(1), true);
  assert.deepEqual(b.calls, [["back", 1]]);
  b.commit(1, `${PAGE}?page=2`, "link", ["forward_back"]);
  assert.equal(b.watch.mayReturn(1), false);
  assert.deepEqual(b.left, []);

  // The navigation first: the tab waits for the verdict, its list kept meanwhile.
  b = scriptedBrowser();
  b.commit(1, PAGE, "typed");
  b.copy(10);
  b.commit(1, AD);
  assert.deepEqual(b.calls, []);
  assert.equal(b.watch.mayReturn(1), true);
  b.watch.decided({ tab: 10 }, "block");
  assert.deepEqual(b.calls, [["back", 1]]);
});

test("left alone: the user's press, the same site, too late, the browser's own navigation, a verdict to let it be", () => {
  const cases = {
    "the link the user clicked": (b) => {
      b.watch.follows(1, { url: `${AD}#x`, form: false });
      b.commit(1, AD);
    },
    "the form the user sent": (b) => {
      b.watch.follows(1, { url: "https://ads.example/landing?from=form", form: true });
      b.commit(1, `${AD}?q=1`, "form_submit");
    },
    "a page of its own site": (b) => b.commit(1, "https://news.example/other"),
    "after two seconds": (b) => {
      b.time.now += TAB_UNDER_MS + 1;
      b.commit(1, AD);
    },
    "typed by the user": (b) => b.commit(1, AD, "typed"),
    "the program let the copy be": (b) => {
      b.watch.decided({ tab: 10 }, "leave");
      b.commit(1, AD);
    },
  };
  for (const [name, steps] of Object.entries(cases)) {
    const b = scriptedBrowser();
    b.commit(1, PAGE, "typed");
    b.copy(10);
    steps(b);
    b.watch.decided({ tab: 10 }, "block");
    assert.deepEqual(b.calls, [], name);
    assert.equal(b.watch.mayReturn(1), false, name);
  }
  // Gone to the ad, then the user's input there or another navigation before the verdict.
  for (const after of [(b) => b.watch.input(1), (b) => b.commit(1, `${AD}/next`)]) {
    const b = scriptedBrowser();
    b.commit(1, PAGE, "typed");
    b.copy(10);
    b.commit(1, AD);
    after(b);
    b.watch.decided({ tab: 10 }, "block");
    assert.deepEqual(b.calls, []);
    assert.equal(b.left.length, 1, "its list follows where it is");
  }
  // Another page's copy, or a window at another address (a login page's pop-up).
  const b = scriptedBrowser();
  b.commit(1, PAGE, "typed");
  b.commit(2, PAGE, "typed");
  b.copy(10, 2);
  b.copy(11, 1, "https://login.example/");
  b.watch.decided({ tab: 10 }, "block");
  b.watch.decided({ tab: 11 }, "block");
  b.commit(1, "https://login.example/");
  assert.deepEqual(b.calls, []);
});

test("no entry to go back to: the page's address again when it was reached by GET, never a form's post", () => {
  const sentAway = (b, qualifiers = []) => {
    b.copy(10);
    b.watch.decided({ tab: 10 }, "block");
    b.commit(1, AD, "link", qualifiers);
  };
  // An entry replaced (Chromium tells it as a client redirect): loaded again at once.
  let b = scriptedBrowser();
  b.commit(1, PAGE, "link");
  sentAway(b, ["client_redirect"]);
  assert.deepEqual(b.calls, [["load", 1, PAGE]]);
  // Back lands on another page: loaded again.
  b = scriptedBrowser();
  b.commit(1, PAGE, "link");
  sentAway(b);
  b.commit(1, "https://before.example/", "link", ["forward_back"]);
  assert.deepEqual(b.calls, [["back", 1], ["load", 1, PAGE]]);
  // A posted page: left where it is.
  b = scriptedBrowser({ backFails: true });
  b.commit(1, PAGE, "form_submit");
  sentAway(b, ["client_redirect"]);
  assert.deepEqual(b.calls, []);
  assert.deepEqual(b.left, [[1, AD]]);
});

test("a page that sends its tab away each time it is back is brought back three times a minute", async () => {
  const b = scriptedBrowser();
  b.commit(1, PAGE, "typed");
  for (let round = 0; round < 5; round += 1) {
    b.copy(10 + round);
    b.watch.decided({ tab: 10 + round }, "block");
    b.commit(1, AD);
    b.commit(1, PAGE, "link", ["forward_back"]);
    b.time.now += 1000;
  }
  assert.equal(b.calls.length, 3);
  b.time.now += 60000;
  b.copy(20);
  b.watch.decided({ tab: 20 }, "block");
  b.commit(1, AD);
  assert.equal(b.calls.length, 4);
  // A goBack that fails (no entry) loads the address instead.
  const failing = scriptedBrowser({ backFails: true });
  failing.commit(1, PAGE, "typed");
  failing.copy(10);
  failing.watch.decided({ tab: 10 }, "block");
  failing.commit(1, AD);
  await new Promise((resolve) => setTimeout(resolve, 0));
  assert.deepEqual(failing.calls, [["back", 1], ["load", 1, PAGE]]);
});
