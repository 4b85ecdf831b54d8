// The address each tab's page stands at, as the program decides a new window
// by it: the committed top-level address of the tab's active page, followed
// as it changes, so that the opener of a new tab is read the moment the new
// tab is reported (never by a later lookup, which a page can race by going
// back or closing itself). A closed tab's last address is kept for a while,
// since a page may open a window and close itself at once.
//
// A page at about:blank, about:srcdoc or data: has no site of its own: it
// speaks for the page that made it (the tab's opener when it was opened as
// such, or the page the tab showed before). A blob: address names its
// maker's origin itself ("blob:https://site/..." is https://site).
//
// `heard`: the content script of the tab's present page has spoken, so the
// user's input in that page is seen (a new tab from a page the extension
// cannot watch is the user's business, not the program's).
import { STORED_ADDRESS, cutAddress } from "./address_limits.js";

export const KEPT_AFTER_CLOSE_MS = 30000;

const MADE_BY_ANOTHER_PAGE = /^(about:|data:)/i;

// The address a page at `url` is decided by; null when it has none of its own.
export function ownAddress(url) {
  if (typeof url !== "string" || url === "") return null;
  if (/^blob:/i.test(url)) {
    try {
      const origin = new URL(url).origin;
      return origin && origin !== "null" ? origin : null;
    } catch {
      return null;
    }
  }
  return MADE_BY_ANOTHER_PAGE.test(url) ? null : url;
}

export class TabAddresses {
  // `saved`: tabId -> a record as toJSON or stored gave it; `now`: the
  // clock (milliseconds), given so that tests can drive it.
  constructor(saved = {}, now = Date.now) {
    this.now = now;
    this.tabs = new Map(); // tabId -> {url, address, heard, closedAt}
    for (const [id, record] of Object.entries(saved ?? {})) {
      if (!record || typeof record !== "object" || typeof record.url !== "string") continue;
      const address = "address" in record ? record.address : record.url;
      this.tabs.set(Number(id), { url: record.url, address, heard: record.heard === true, closedAt: record.closedAt ?? null });
    }
    this.forgetClosed();
  }

  toJSON() {
    return Object.fromEntries(this.tabs);
  }

  // What a restarted worker needs of an open tab, its addresses cut short
  // (the address only where it is not the tab's own); null for a tab closed
  // or unknown: a closed tab is kept only for the moment after it closes,
  // which a worker restart does not fall into.
  stored(tabId) {
    const record = this.tabs.get(tabId);
    if (!record || record.closedAt !== null) return null;
    const kept = { url: cutAddress(record.url, STORED_ADDRESS), heard: record.heard };
    if (record.address !== record.url) kept.address = cutAddress(record.address, STORED_ADDRESS);
    return kept;
  }

  // The tab's top-level page is now `url` (a new document, or the same one
  // at another address); its content script has not spoken there yet unless
  // `sameDocument`.
  committed(tabId, url, { sameDocument = false } = {}) {
    const before = this.tabs.get(tabId);
    const address = ownAddress(url) ?? before?.address ?? null;
    this.tabs.set(tabId, { url, address, heard: sameDocument && (before?.heard ?? false), closedAt: null });
    this.forgetClosed();
  }

  // The tab shows `url` now, told by the tab rather than by a commit: a
  // change only when it differs from what the tab is known to show.
  shows(tabId, url) {
    const record = this.tabs.get(tabId);
    if (record && record.closedAt === null && record.url === url) return;
    this.committed(tabId, url);
  }

  // A page in `sourceTabId` opened tab `tabId` at `url`.
  created(tabId, sourceTabId, url) {
    const creator = this.tabs.get(sourceTabId)?.address ?? null;
    this.tabs.set(tabId, { url, address: ownAddress(url) ?? creator, heard: false, closedAt: null });
  }

  heard(tabId) {
    const record = this.tabs.get(tabId);
    if (record && record.closedAt === null) record.heard = true;
  }

  closed(tabId) {
    const record = this.tabs.get(tabId);
    if (record) record.closedAt = this.now();
    this.forgetClosed();
  }

  // What is known of the page in `tabId` now: {address (null: none), heard, open}; null: nothing.
  page(tabId) {
    const record = this.tabs.get(tabId);
    if (!record || this.expired(record)) return null;
    return { address: record.address, heard: record.heard, open: record.closedAt === null };
  }

  expired(record) {
    return record.closedAt !== null && this.now() - record.closedAt > KEPT_AFTER_CLOSE_MS;
  }

  forgetClosed() {
    for (const [id, record] of this.tabs) if (this.expired(record)) this.tabs.delete(id);
  }
}
