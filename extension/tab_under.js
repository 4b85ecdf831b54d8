// Tab-under undone. A page opens a copy of itself in a new tab (the user is
// meant to go on reading there) and sends its own tab to another site, an
// ad. When the program blocked that copy, and the page's own tab went to
// another site by script within TAB_UNDER_MS of it, the tab is brought back:
// back in its history when the entry before is the page, otherwise the page's
// address loaded again when it was reached by GET, otherwise left as it is.
//
// Not a tab-under, left alone:
// - the default action of the user's own trusted input in the page: the
//   link's address, a form's action (told by content.js as "follows");
// - the browser's and the user's own navigations (typed, bookmarks, back);
// - a pop-up at another address than the page's (a login page falling back
//   to its blocked pop-up's address goes to another address than its own).
//
// Every page is hostile: it may open windows and navigate in a loop. So
// everything here is bounded (a few records per tab, a few dozen in all, each
// for a limited time), a tab is brought back at most twice per blocked copy
// (back, then the address), never after the user's input in it or after
// anything else navigated it, and no tab other than the copy's opener is
// touched. Kept in memory only: a worker stopped within these seconds leaves
// the tab as it is.
import { matchKey } from "./user_grants.js";
import { siteKey } from "./blocked_windows.js";

export const TAB_UNDER_MS = 2000;
// The copy's creation and the page's navigation come from one task of the
// page; the browser may report them in either order.
const REPORTED_EARLY_MS = 250;
// How long the verdict on the copy, or the navigation's commit, may take
// (the program's setup-mode prompt waits for the user).
const DECIDED_WITHIN_MS = 60000;
// How long the commit that follows bringing a tab back may take; past it a
// commit in the tab (the user's own Back, say) is no longer taken as ours.
const RETURNED_WITHIN_MS = 5000;
// How long a trusted press's address counts as where the tab is going.
const PRESS_MS = 3000;
const PRESSES_PER_TAB = 8;
const MAX_CANDIDATES = 32;
// A page that sends its tab away again each time it is back is brought back
// this often in a minute, then left where it goes.
const RETURNS_PER_MINUTE = 3;
const MAX_ADDRESS = 64 * 1024;
const BROWSERS_OWN = new Set(["typed", "auto_bookmark", "generated", "keyword", "keyword_generated", "start_page",
  "reload", "auto_toplevel"]);
// Transitions whose page was surely fetched by GET (a form may have posted;
// an entry gone back to or reloaded may have been either).
const BY_GET = new Set(["link", "typed", "auto_bookmark", "generated", "keyword", "keyword_generated", "start_page",
  "auto_toplevel"]);

// A form's action counts whatever query the form puts on it.
function formKey(url) {
  return matchKey(url).replace(/\?.*$/, "");
}

function byThePage(details) {
  const qualifiers = details.transitionQualifiers ?? [];
  return !BROWSERS_OWN.has(details.transitionType) && !qualifiers.includes("forward_back") &&
    !qualifiers.includes("from_address_bar");
}

export class TabUnder {
  // `left(tabId, url)`: a tab that may have been brought back stays where it went.
  constructor(api, left = () => {}, now = Date.now) {
    this.api = api;
    this.left = left;
    this.now = now;
    this.pages = new Map(); // tabId -> {url, get}: the top-level page it shows
    this.starts = new Map(); // tabId -> {url, at}: its last top-level navigation begun
    this.presses = new Map(); // tabId -> [{key, form, until}]
    this.copies = new Map(); // copy tabId -> {opener, page, at, verdict, away, timer}
    this.returning = new Map(); // tabId -> {page, step: "back"|"load", timer}
    this.returns = new Map(); // tabId -> times it was brought back in the last minute

    const nav = api.webNavigation;
    nav.onCreatedNavigationTarget.addListener((details) => this.created(details));
    nav.onBeforeNavigate.addListener((details) => {
      if (details.frameId === 0) this.starts.set(details.tabId, { url: details.url, at: details.timeStamp });
    });
    nav.onCommitted.addListener((details) => {
      if (details.frameId !== 0 || (details.documentLifecycle ?? "active") !== "active") return;
      this.committed(details);
    });
    for (const event of [nav.onHistoryStateUpdated, nav.onReferenceFragmentUpdated]) {
      event.addListener((details) => {
        const page = this.pages.get(details.tabId);
        if (details.frameId === 0 && page) page.url = details.url;
      });
    }
    // A page shown whole with no commit of its own (a prerendered one): its address, not how it was reached.
    api.tabs.onUpdated.addListener((tabId, change) => {
      if (typeof change.url === "string" && this.pages.get(tabId)?.url !== change.url) {
        this.pages.set(tabId, { url: change.url, get: false });
      }
    });
    api.tabs.onRemoved.addListener((tabId) => this.closed(tabId));
    // A worker started while pages are open: their addresses, not how they were reached.
    void api.tabs.query({}).then((tabs) => {
      for (const tab of tabs) if (tab.url && !this.pages.has(tab.id)) this.pages.set(tab.id, { url: tab.url, get: false });
    }, () => {});
  }

  // A trusted press in `tabId` whose default action goes to `url` (a link's
  // address, or a form's action when `form`).
  follows(tabId, { url, form }) {
    if (typeof url !== "string" || url.length > MAX_ADDRESS) return;
    const now = this.now();
    const live = (this.presses.get(tabId) ?? []).filter((press) => press.until > now);
    live.push({ key: form ? formKey(url) : matchKey(url), form: form === true, until: now + PRESS_MS });
    this.presses.set(tabId, live.slice(-PRESSES_PER_TAB));
  }

  // The user's trusted input in `tabId`: what it shows now is theirs.
  input(tabId) {
    for (const [copy, record] of this.copies) if (record.opener === tabId && record.away) this.giveUp(copy);
    this.endReturn(tabId);
  }

  // The program's verdict on a new tab it was asked about.
  decided(request, verdict) {
    const record = this.copies.get(request?.tab);
    if (!record) return;
    if (verdict !== "block") {
      this.giveUp(request.tab);
      return;
    }
    record.verdict = "block";
    if (record.away) this.bringBack(request.tab);
  }

  // Whether `tabId`, gone to another site, may yet be brought back: its list
  // of blocked windows stays meanwhile.
  mayReturn(tabId) {
    if (this.returning.has(tabId)) return true;
    for (const record of this.copies.values()) if (record.opener === tabId && record.away) return true;
    return false;
  }

  created(details) {
    const page = this.pages.get(details.sourceTabId);
    this.pages.set(details.tabId, { url: details.url, get: false });
    if (!page || matchKey(details.url) !== matchKey(page.url)) return;
    if (this.copies.size >= MAX_CANDIDATES) this.giveUp(this.copies.keys().next().value);
    const record = { opener: details.sourceTabId, page: { ...page }, at: details.timeStamp, verdict: null, away: null };
    record.timer = setTimeout(() => this.giveUp(details.tabId), DECIDED_WITHIN_MS);
    this.copies.set(details.tabId, record);
  }

  committed(details) {
    const tabId = details.tabId;
    const before = this.pages.get(tabId);
    this.pages.set(tabId, { url: details.url, get: BY_GET.has(details.transitionType) &&
      !(details.transitionQualifiers ?? []).includes("forward_back") });
    if (this.returning.has(tabId)) {
      this.returned(tabId, details);
      return;
    }
    for (const [copy, record] of this.copies) {
      if (record.opener !== tabId) continue;
      if (record.away || !this.tabUnder(record, details)) {
        // The tab went on from where it was: its entries are not what they were.
        this.giveUp(copy);
        continue;
      }
      const replaced = (details.transitionQualifiers ?? []).includes("client_redirect");
      record.away = { url: details.url, from: before?.url ?? record.page.url, replaced };
      if (record.verdict === "block") this.bringBack(copy);
    }
  }

  // Whether the commit `details` in the copy's opener is its tab-under.
  // (No other commit came in between: that would have ended the record.)
  tabUnder(record, details) {
    if (!byThePage(details)) return false;
    const start = this.starts.get(details.tabId);
    const begun = start && start.at >= record.at - REPORTED_EARLY_MS ? start : { url: details.url, at: details.timeStamp };
    if (begun.at - record.at > TAB_UNDER_MS) return false;
    if (siteKey(details.url) === siteKey(record.page.url)) return false;
    const now = this.now();
    const pressed = (this.presses.get(details.tabId) ?? []).some((press) => press.until > now &&
      press.key === (press.form ? formKey(begun.url) : matchKey(begun.url)));
    return !pressed;
  }

  bringBack(copy) {
    const record = this.copies.get(copy);
    this.drop(copy);
    const tabId = record.opener;
    // Many copies, one navigation: brought back once.
    if (this.returning.has(tabId)) return;
    const now = this.now();
    const times = (this.returns.get(tabId) ?? []).filter((at) => now - at < 60000);
    // Only the tab as the page left it: not once it shows anything else.
    if (this.pages.get(tabId)?.url !== record.away.url || times.length >= RETURNS_PER_MINUTE) {
      this.left(tabId, this.pages.get(tabId)?.url ?? record.away.url);
      return;
    }
    // A replaced entry (Chromium tells a client redirect) is not the page's.
    this.returns.set(tabId, [...times, now]);
    // The page as it was left (its own history state) or as it was copied.
    const page = { ...record.page, left: record.away.from };
    this.returnTo(tabId, page, record.away.replaced ? "load" : "back");
  }

  returnTo(tabId, page, step) {
    if (step === "load" && !page.get) {
      this.endReturn(tabId);
      this.left(tabId, this.pages.get(tabId)?.url ?? "");
      return;
    }
    clearTimeout(this.returning.get(tabId)?.timer);
    const timer = setTimeout(() => this.endReturn(tabId), RETURNED_WITHIN_MS);
    this.returning.set(tabId, { page, step, timer });
    const going = step === "back" ? this.api.tabs.goBack(tabId) : this.api.tabs.update(tabId, { url: page.url });
    going.catch(() => {
      // No entry to go back to, or the tab is gone.
      if (this.returning.get(tabId)?.step === "back") this.returnTo(tabId, page, "load");
      else this.endReturn(tabId);
    });
  }

  // The commit that follows bringing `tabId` back.
  returned(tabId, details) {
    const { page, step } = this.returning.get(tabId);
    const ours = step === "back" ? (details.transitionQualifiers ?? []).includes("forward_back") : true;
    if (ours && [page.url, page.left].some((url) => matchKey(url) === matchKey(details.url))) {
      this.endReturn(tabId);
    } else if (ours && step === "back") {
      // The entry before was not the page (it had replaced it): its address instead.
      this.returnTo(tabId, page, "load");
    } else {
      // Something else navigated the tab meanwhile: left to it.
      this.endReturn(tabId);
      this.left(tabId, details.url);
    }
  }

  endReturn(tabId) {
    clearTimeout(this.returning.get(tabId)?.timer);
    this.returning.delete(tabId);
  }

  drop(copy) {
    clearTimeout(this.copies.get(copy)?.timer);
    this.copies.delete(copy);
  }

  giveUp(copy) {
    const record = this.copies.get(copy);
    if (!record) return;
    this.drop(copy);
    if (record.away) this.left(record.opener, this.pages.get(record.opener)?.url ?? record.away.url);
  }

  closed(tabId) {
    // The copy's own tab is closed by the block: its record stays for its opener.
    for (const [copy, record] of this.copies) if (record.opener === tabId) this.drop(copy);
    this.endReturn(tabId);
    this.pages.delete(tabId);
    this.starts.delete(tabId);
    this.presses.delete(tabId);
    this.returns.delete(tabId);
  }
}
