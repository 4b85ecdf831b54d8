// The hold on a new tab's first request, without a browser: the verdict and
// the request in either order, the bounded waits, and what is never held.
import assert from "node:assert/strict";
import { afterEach, beforeEach, mock, test } from "node:test";
import {
  HOLD_MS, MAX_HELD, MAX_TRACKED, ORDER_WAIT_MS, PROMPT_HOLD_MS, RequestHold,
} from "../../extension/request_hold.js";

const PAGE = "https://news.example/story";
const byPage = (tabId) => ({ tabId, type: "main_frame", originUrl: PAGE });
const typed = (tabId) => ({ tabId, type: "main_frame" });

// What a request's answer is by now: "pending", "go on", "cancel".
async function outcome(answer) {
  if (!(answer instanceof Promise)) return answer?.cancel ? "cancel" : "go on";
  let result = "pending";
  answer.then((value) => { result = value?.cancel ? "cancel" : "go on"; });
  await new Promise(setImmediate);
  return result;
}

beforeEach(() => mock.timers.enable({ apis: ["setTimeout"] }));
afterEach(() => mock.timers.reset());

test("a page's new tab waits for its verdict, whichever of the two comes first", async () => {
  const hold = new RequestHold();
  // The usual order: created, opened, the request, the verdict.
  hold.created(10, 1);
  hold.opened(10);
  const blocked = hold.request(byPage(10));
  assert.equal(await outcome(blocked), "pending");
  mock.timers.tick(HOLD_MS - 1);
  assert.equal(await outcome(blocked), "pending");
  hold.decided(10, "block");
  assert.equal(await outcome(blocked), "cancel");
  // Its tab is done with: what loads in it next goes on.
  assert.equal(await outcome(hold.request(byPage(10))), "go on");

  // The verdict before the request.
  hold.opened(11);
  hold.decided(11, "block");
  assert.equal(await outcome(hold.request(byPage(11))), "cancel");
  hold.opened(12);
  hold.decided(12, "leave");
  assert.equal(await outcome(hold.request(byPage(12))), "go on");

  // The request before the event that names the tab a page's new tab: it
  // waits for the event, then for the verdict (the wait for the event is over).
  hold.created(13, 1);
  const early = hold.request(byPage(13));
  mock.timers.tick(ORDER_WAIT_MS - 1);
  hold.opened(13);
  mock.timers.tick(ORDER_WAIT_MS * 2);
  assert.equal(await outcome(early), "pending");
  // The page leads its held tab elsewhere: that waits for the same verdict.
  const redirected = hold.request(byPage(13));
  hold.decided(13, "block");
  assert.deepEqual([await outcome(early), await outcome(redirected)], ["cancel", "cancel"]);

  // Not yet reported at all (the worker just started): the same short wait.
  const unknown = hold.request(byPage(14));
  hold.opened(14);
  assert.equal(await outcome(unknown), "pending");
  hold.decided(14, "block");
  assert.equal(await outcome(unknown), "cancel");
});

test("every wait ends, and what the user starts never waits", async () => {
  const hold = new RequestHold();
  // No event comes: a tab with an opener that no page opened.
  hold.created(20, 1);
  const notOpened = hold.request(byPage(20));
  mock.timers.tick(ORDER_WAIT_MS);
  assert.equal(await outcome(notOpened), "go on");
  // No verdict comes (the program slow or gone): it goes on, and a late
  // "block" cancels nothing that loads in the tab afterwards.
  hold.opened(21);
  const unanswered = hold.request(byPage(21));
  mock.timers.tick(HOLD_MS);
  assert.equal(await outcome(unanswered), "go on");
  hold.decided(21, "block");
  assert.equal(await outcome(hold.request(byPage(21))), "go on");
  // While the program asks the user about each new tab, as long as a user
  // may take to answer; with the program gone, at once, and the short bound again.
  hold.switches({ setupMode: true });
  hold.opened(30);
  const asking = hold.request(byPage(30));
  mock.timers.tick(HOLD_MS);
  assert.equal(await outcome(asking), "pending");
  mock.timers.tick(PROMPT_HOLD_MS - HOLD_MS);
  assert.equal(await outcome(asking), "go on");
  hold.opened(31);
  const orphaned = hold.request(byPage(31));
  hold.programGone();
  assert.equal(await outcome(orphaned), "go on");
  hold.opened(32);
  const afterwards = hold.request(byPage(32));
  mock.timers.tick(HOLD_MS);
  assert.equal(await outcome(afterwards), "go on");
  // Closed while held.
  hold.opened(22);
  const closing = hold.request(byPage(22));
  hold.closed(22);
  assert.equal(await outcome(closing), "go on");

  // Typed into a new tab, a tab with no opener, a tab open before, a held
  // tab the user types into, and a tab that has loaded once.
  hold.created(23, 1);
  assert.equal(hold.request(typed(23)), undefined);
  hold.created(24, undefined);
  assert.equal(hold.request(byPage(24)), undefined);
  hold.present([{ id: 25, url: PAGE }]);
  assert.equal(hold.request(byPage(25)), undefined);
  // A worker woken by a link's request in a tab it has not heard of yet: the
  // request goes on as soon as the tab is seen to show a page; a page's new
  // tab (about:blank still) goes on waiting for its event.
  const woken = hold.request(byPage(28));
  const newTab = hold.request(byPage(29));
  hold.present([{ id: 28, url: PAGE }, { id: 29, url: "about:blank" }]);
  assert.deepEqual([await outcome(woken), await outcome(newTab)], ["go on", "pending"]);
  hold.opened(29);
  hold.decided(29, "block");
  assert.equal(await outcome(newTab), "cancel");
  hold.opened(26);
  const waiting = hold.request(byPage(26));
  assert.equal(hold.request(typed(26)), undefined);
  hold.decided(26, "leave");
  assert.equal(await outcome(waiting), "go on");
  assert.equal(hold.request(byPage(26)), undefined);
  hold.opened(26); // a late event for a tab that has loaded holds nothing
  assert.equal(hold.request(byPage(26)), undefined);
  // Not a top-level document, or no tab.
  hold.opened(27);
  assert.equal(hold.request({ ...byPage(27), type: "sub_frame" }), undefined);
  assert.equal(hold.request(byPage(-1)), undefined);
});

test("a page opening tabs without end holds a bounded number and is remembered in bounded memory", async () => {
  const hold = new RequestHold();
  const answers = [];
  for (let tab = 100; tab < 100 + MAX_HELD + 5; tab += 1) {
    hold.opened(tab);
    answers.push(hold.request(byPage(tab)));
  }
  assert.equal(answers.filter((answer) => answer instanceof Promise).length, MAX_HELD);
  assert.deepEqual(answers.slice(MAX_HELD), Array(5).fill(undefined));
  for (let tab = 100; tab < 100 + MAX_HELD; tab += 1) hold.decided(tab, "block");
  assert.equal(hold.held, 0);
  hold.opened(999);
  assert.ok(hold.request(byPage(999)) instanceof Promise, "room again once they are answered");

  for (let tab = 1000; tab < 1000 + 3 * MAX_TRACKED; tab += 1) hold.created(tab, 1);
  assert.ok(hold.tabs.size <= MAX_TRACKED);
  assert.ok(hold.tabs.has(999), "a held tab is never forgotten");
});
