// The first request of a new tab that a page opened waits for the program's
// verdict on that tab, so that a blocked pop-up never reaches its server:
// "block" cancels it (the tab is being closed), anything else lets it go on.
//
// Only Firefox can do this: its blocking webRequest listeners may answer
// with a Promise. Chromium grants blocking listeners only to extensions an
// organisation installs, and even then they answer at once (only the
// sign-in event may answer later), so there nothing is held.
//
// Which tab is a page's new tab is told by webNavigation's
// onCreatedNavigationTarget (`opened`); the worker then decides whether to
// ask at all (`decided` "leave" when it does not) and the program's verdict
// follows (`decided`). In Firefox the new tab's first request comes after
// that event, but nothing promises it: a first request that comes first
// from a page in a tab just created with an opener (or in a tab not known
// yet) waits a moment for the event, and goes on when none comes.
//
// A page can open tabs without end and the program can be slow or gone: a
// request is held at most HOLD_MS (PROMPT_HOLD_MS while the program asks the
// user about each new tab, its setup mode), then goes on (a later "block"
// still closes its tab), and at once when the program has gone; no more
// than MAX_HELD are held at once, further ones go on at once. Addresses the
// user types and tabs opened with no opener have no page behind their first
// request and never wait.
export const ORDER_WAIT_MS = 100;
export const HOLD_MS = 10000;
export const PROMPT_HOLD_MS = 60000;
export const MAX_HELD = 32;
// Tabs remembered (new ones and the ones seen to load); the oldest go
// first, and one forgotten only costs its next page-started load a moment.
export const MAX_TRACKED = 512;

const GO_ON = {};
const CANCEL = { cancel: true };

// A request a page made (a script, a link, a form), not one the user typed
// or the browser made of its own.
function fromAPage(details) {
  const origin = details.originUrl ?? details.initiator;
  return typeof origin === "string" && origin !== "" && origin !== "null";
}

export class RequestHold {
  constructor() {
    // tabId -> {stage, verdict, waiters: [resolve], timer, opened}
    // stage: "fresh" (created with an opener), "new" (created without),
    // "opened" (a page's new tab, not decided), "decided", "held", "loaded".
    this.tabs = new Map();
    this.held = 0;
    this.bound = HOLD_MS;
  }

  // The program's switches as it tells them.
  switches({ setupMode }) {
    this.bound = setupMode === true ? PROMPT_HOLD_MS : HOLD_MS;
  }

  // No verdict will come: every held request goes on.
  programGone() {
    this.bound = HOLD_MS;
    for (const [tabId, entry] of [...this.tabs]) if (entry.stage === "held") this.release(tabId, entry, GO_ON);
  }

  // tabs.onCreated
  created(tabId, openerTabId) {
    if (this.tabs.has(tabId)) return;
    this.track(tabId, { stage: openerTabId === undefined ? "new" : "fresh" });
  }

  // The tabs open when the worker started ({id, url}): those that show a
  // page are loaded, whatever they do next. A worker woken by a request
  // hears of it before this: a request that waits for the opener's event
  // goes on now if its tab shows a page (a page's new tab shows about:blank
  // until its first request is answered).
  present(tabs) {
    for (const { id, url } of tabs) {
      const entry = this.tabs.get(id);
      if (!entry) {
        this.track(id, { stage: "loaded" });
      } else if (entry.stage === "held" && !entry.opened && url !== "about:blank") {
        this.release(id, entry, GO_ON);
      }
    }
  }

  // onCreatedNavigationTarget: a page opened `tabId`; its first request waits for `decided`.
  opened(tabId) {
    const entry = this.tabs.get(tabId);
    if (!entry || entry.stage === "fresh" || entry.stage === "new") {
      this.track(tabId, { stage: "opened" });
    } else if (entry.stage === "held" && !entry.opened) {
      // Its request came first and waits for this event: now for the verdict.
      entry.opened = true;
      this.restartTimer(tabId, entry, this.bound);
    }
  }

  // The worker's verdict on a page's new tab: "block", or anything else to let it load.
  decided(tabId, verdict) {
    const entry = this.tabs.get(tabId);
    if (!entry) return;
    if (entry.stage === "held") {
      this.release(tabId, entry, verdict === "block" ? CANCEL : GO_ON);
    } else if (entry.stage === "opened" || entry.stage === "fresh") {
      entry.stage = "decided";
      entry.verdict = verdict;
    }
  }

  closed(tabId) {
    const entry = this.tabs.get(tabId);
    if (entry?.stage === "held") this.release(tabId, entry, GO_ON);
    this.tabs.delete(tabId);
  }

  // webRequest.onBeforeRequest for top-level documents: nothing (go on),
  // an answer, or a Promise of one.
  request(details) {
    const { tabId } = details;
    if (details.type !== "main_frame" || typeof tabId !== "number" || tabId < 0) return undefined;
    const entry = this.tabs.get(tabId);
    const byPage = fromAPage(details);
    switch (entry?.stage) {
      case "opened":
        return this.hold(tabId, entry, this.bound, true);
      case "held":
        // The page leads its held new tab elsewhere: that waits as well.
        return byPage ? this.hold(tabId, entry, 0, entry.opened) : undefined;
      case "decided":
        this.track(tabId, { stage: "loaded" });
        return entry.verdict === "block" ? CANCEL : undefined;
      case "fresh":
      case undefined:
        if (byPage) return this.hold(tabId, entry ?? this.track(tabId, {}), ORDER_WAIT_MS, false);
        break;
      default:
        break;
    }
    if (entry?.stage !== "loaded") this.track(tabId, { stage: "loaded" });
    return undefined;
  }

  hold(tabId, entry, ms, opened) {
    if (this.held >= MAX_HELD) {
      if (entry.stage !== "held") this.track(tabId, { stage: "loaded" });
      return undefined;
    }
    if (entry.stage !== "held") {
      Object.assign(entry, { stage: "held", opened, waiters: [] });
      this.restartTimer(tabId, entry, ms);
    }
    this.held += 1;
    return new Promise((resolve) => entry.waiters.push(resolve));
  }

  restartTimer(tabId, entry, ms) {
    clearTimeout(entry.timer);
    entry.timer = setTimeout(() => this.release(tabId, entry, GO_ON), ms);
  }

  release(tabId, entry, answer) {
    clearTimeout(entry.timer);
    this.held -= entry.waiters.length;
    for (const resolve of entry.waiters) resolve(answer);
    if (this.tabs.get(tabId) === entry) this.track(tabId, { stage: "loaded" });
  }

  track(tabId, entry) {
    this.tabs.delete(tabId);
    this.tabs.set(tabId, entry);
    for (const [oldId, old] of this.tabs) {
      if (this.tabs.size <= MAX_TRACKED) break;
      if (old.stage !== "held") this.tabs.delete(oldId);
    }
    return entry;
  }
}

// Where nothing can be held, nothing is tracked either.
const NOTHING_HELD = { opened() {}, decided() {}, switches() {}, programGone() {} };

// Puts the hold in place where the browser lets a blocking listener answer
// later (Firefox: its webRequest has filterResponseData).
export function startRequestHold(api) {
  const webRequest = api.webRequest;
  if (typeof webRequest?.filterResponseData !== "function") return NOTHING_HELD;
  const hold = new RequestHold();
  try {
    webRequest.onBeforeRequest.addListener((details) => hold.request(details),
      { urls: ["<all_urls>"], types: ["main_frame"] }, ["blocking"]);
  } catch (error) {
    console.warn("Quellix: new tabs' first requests cannot be held:", error?.message ?? error);
    return NOTHING_HELD;
  }
  api.tabs.onCreated.addListener((tab) => hold.created(tab.id, tab.openerTabId));
  api.tabs.onRemoved.addListener((tabId) => hold.closed(tabId));
  api.tabs.query({}).then((tabs) => hold.present(tabs), () => {});
  return hold;
}
