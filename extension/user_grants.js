// The user's own new tabs. The browser reports a tab the user opens from a
// link (middle button, Ctrl/Cmd or Shift, modifier+Enter, the context menu)
// exactly as a pop-up a page opens; only the user's input, seen by the
// content script as trusted events, tells them apart. Each such input on a
// link grants its tab one new tab at the link's address: for a short time
// after a press, and after a context menu until the next input in that tab.
// The first new tab from that tab at that address (scheme and fragment
// aside) uses the grant up and is the user's.
//
// The grant and the new tab reach the worker by different roads, in either
// order: a new tab that came first is kept for a moment as "asked" and
// claimed by a grant that follows.
export const PRESS_GRANT_MS = 3000;
export const MENU_GRANT_MS = 60000;
// How long a new tab that no grant claimed yet may still be claimed.
export const LATE_GRANT_MS = 3000;

// A press's grants in one tab that are kept: more than a hand can make in
// the few seconds a grant lasts.
export const MAX_GRANTS_PER_TAB = 16;

// 64 bits of `text`, as 16 hex digits: the same text, the same digest.
function digest(text) {
  let high = 0xdeadbeef;
  let low = 0x41c6ce57;
  for (let i = 0; i < text.length; i += 1) {
    const unit = text.charCodeAt(i);
    high = Math.imul(high ^ unit, 2654435761);
    low = Math.imul(low ^ unit, 1597334677);
  }
  high = Math.imul(high ^ (high >>> 16), 2246822507) ^ Math.imul(low ^ (low >>> 13), 3266489909);
  low = Math.imul(low ^ (low >>> 16), 2246822507) ^ Math.imul(high ^ (high >>> 13), 3266489909);
  return (high >>> 0).toString(16).padStart(8, "0") + (low >>> 0).toString(16).padStart(8, "0");
}

// The address as matched: no scheme, no fragment.
export function matchKey(url) {
  const text = String(url ?? "");
  const hash = text.indexOf("#");
  const whole = hash < 0 ? text : text.slice(0, hash);
  return whole.replace(/^[a-z][a-z0-9+.-]*:/i, "");
}

// What a grant or a waiting new tab keeps of its address: the matched
// address's length and digest, a few bytes whatever the address (a page may
// make one of megabytes). A page that found two addresses of one digest
// would gain nothing: it may set its link's address to anything before the
// press ends anyway.
function grantKey(url) {
  const key = matchKey(url);
  return `${key.length}:${digest(key)}`;
}

export class UserGrants {
  constructor(saved = {}, now = Date.now) {
    this.now = now;
    // tabId -> [{press, kind: "press"|"menu", key, until, spent}]
    this.grants = new Map(Object.entries(saved.grants ?? {}).map(([tab, list]) => [Number(tab), list]));
    // New tabs asked about without a grant: [{tabId, sourceTabId, key, at}]
    this.unclaimed = Array.isArray(saved.unclaimed) ? saved.unclaimed : [];
    this.drop();
  }

  toJSON() {
    return { grants: Object.fromEntries(this.grants), unclaimed: this.unclaimed };
  }

  // A trusted input in `tabId` on a link now at `url`. The same press told
  // again (its link rewritten by the page's own handlers) replaces its address.
  // Returns the new tab id it claims, if one came first.
  grant(tabId, { press, kind, url }) {
    this.drop();
    const key = grantKey(url);
    const until = this.now() + (kind === "menu" ? MENU_GRANT_MS : PRESS_GRANT_MS);
    const waiting = this.unclaimed.findIndex((entry) => entry.sourceTabId === tabId && entry.key === key);
    const list = this.grants.get(tabId) ?? [];
    const before = list.find((entry) => entry.press === press);
    // A press grants one tab, however often it is told.
    const spent = before?.spent ?? false;
    const others = list.filter((entry) => entry !== before);
    const claims = !spent && waiting >= 0;
    this.grants.set(tabId, [...others, {
      press, kind: kind === "menu" ? "menu" : "press", key, until: before?.until ?? until, spent: spent || claims,
    }].slice(-MAX_GRANTS_PER_TAB));
    return claims ? this.unclaimed.splice(waiting, 1)[0].tabId : null;
  }

  // Any further trusted input in `tabId` ends the grants of its context menu.
  input(tabId) {
    const list = this.grants.get(tabId);
    if (list) this.grants.set(tabId, list.filter((entry) => entry.kind !== "menu"));
    this.drop();
  }

  // New tab `tabId`, opened from `sourceTabId` at `url`: true when it is the
  // user's (the grant is used up). Otherwise it stays claimable for a moment.
  claim(tabId, sourceTabId, url) {
    this.drop();
    const key = grantKey(url);
    const list = this.grants.get(sourceTabId) ?? [];
    const found = list.find((entry) => !entry.spent && entry.key === key);
    if (found) {
      found.spent = true;
      return true;
    }
    this.unclaimed.push({ tabId, sourceTabId, key, at: this.now() });
    return false;
  }

  // Whether a press in `sourceTabId` is still granting: its address may yet
  // be told again, after the page's handlers have run.
  pressing(sourceTabId) {
    this.drop();
    return (this.grants.get(sourceTabId) ?? []).some((entry) => entry.kind === "press" && !entry.spent);
  }

  // What a restarted worker needs of `tabId`: the grants its presses made,
  // and its own wait for a grant as a new tab; null when neither.
  stored(tabId) {
    const list = this.grants.get(tabId);
    const waiting = this.unclaimed.find((entry) => entry.tabId === tabId);
    if (!list && !waiting) return null;
    return {
      ...(list ? { grants: list } : {}),
      ...(waiting ? { unclaimed: { sourceTabId: waiting.sourceTabId, key: waiting.key, at: waiting.at } } : {}),
    };
  }

  tabClosed(tabId) {
    this.grants.delete(tabId);
    this.unclaimed = this.unclaimed.filter((entry) => entry.tabId !== tabId);
  }

  drop() {
    const now = this.now();
    for (const [tab, list] of this.grants) {
      const live = list.filter((entry) => entry.until > now);
      if (live.length > 0) this.grants.set(tab, live);
      else this.grants.delete(tab);
    }
    this.unclaimed = this.unclaimed.filter((entry) => now - entry.at <= LATE_GRANT_MS);
  }
}
