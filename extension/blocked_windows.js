// The windows the program blocked, per tab: the toolbar button's badge shows
// how many a tab has had since it came to its site, and the panel lists the
// newest of them. Kept in session storage, one key per tab, so that a
// stopped worker and the panel see the same list; the worker alone writes
// it. A tab's list goes with the tab (also one that closed before its
// window's answer came), and all of them together stay within
// BLOCKED_BUDGET bytes: past it, the lists of the tabs that had a window
// blocked least recently go first, whole.
//
// The panel asks the worker (runtime messages, from the extension's own
// pages only) to open a blocked address: the new tab is the user's, and the
// worker's own new-tab path must not ask the program about it.
import { MAX_ADDRESS } from "./address_limits.js";

const BLOCKED_PREFIX = "blocked:";
export const blockedKey = (tabId) => BLOCKED_PREFIX + tabId;
export const MAX_LISTED = 25;
// A longer address (or one the request had cut) is listed cut short and
// cannot be opened from the list.
export const MAX_KEPT_ADDRESS = MAX_ADDRESS;
const SHOWN_WHEN_TOO_LONG = 256;
// About 15 tabs' full lists of the longest addresses; hundreds of usual ones.
export const BLOCKED_BUDGET = 3 * 1024 * 1024;

// Tabs count as on the same site while the host name (and port) of their
// address stays; the letter case of a host does not matter.
export function siteKey(url) {
  try {
    const parsed = new URL(url);
    return parsed.host ? parsed.host.toLowerCase() : parsed.href;
  } catch {
    return String(url ?? "");
  }
}

// The list of `tabId`, or null.
export async function readBlocked(api, tabId) {
  const key = blockedKey(tabId);
  const stored = await api.storage.session.get(key).catch(() => ({}));
  return stored?.[key] ?? null;
}

export class BlockedWindows {
  // `staysListed(tabId)`: the tab, gone to another site, may yet come back.
  constructor(api, staysListed = () => false) {
    this.api = api;
    this.staysListed = staysListed;
    this.writing = Promise.resolve();
    this.sizes = null; // tabId -> bytes of its list, the least recently blocked in first
    this.userTabs = new Set(); // opened from the panel, not to be decided
    this.opening = Promise.resolve();
    this.panelUrl = api.runtime.getURL("panel.html");

    api.action.setBadgeBackgroundColor({ color: "#b3261e" }).catch(() => {});
    api.webNavigation.onCommitted.addListener((details) => {
      if (details.frameId === 0) void this.navigated(details.tabId, details.url);
    });
    api.tabs.onRemoved.addListener((tabId) => {
      this.userTabs.delete(tabId);
      void this.change(tabId, () => null);
    });
    api.runtime.onMessage.addListener((message, sender, respond) => {
      if (!this.fromPanel(sender) || message?.type !== "openBlocked") return undefined;
      this.openForUser(message.tab, message.url).then(respond, () => respond(false));
      return true; // the answer comes later
    });
  }

  // One change at a time, each on what the last one left: `edit` gets the
  // tab's list (or null) and gives the new one, null to remove it, or
  // undefined to leave it.
  change(tabId, edit) {
    this.writing = this.writing.then(async () => {
      await this.measured();
      const record = await readBlocked(this.api, tabId);
      const next = await edit(record);
      if (next === undefined) return;
      if (next === null) {
        if (record) await this.removeLists([tabId]);
        return;
      }
      this.sizes.delete(tabId);
      this.sizes.set(tabId, blockedKey(tabId).length + JSON.stringify(next).length);
      await this.makeRoom();
      await this.api.storage.session.set({ [blockedKey(tabId)]: next }).catch((error) => {
        console.warn("Quellix: the list of blocked windows could not be kept:", error?.message ?? error);
      });
    });
    return this.writing;
  }

  // The sizes of the lists stored, read once per worker; the lists of tabs
  // no longer open (closed while no worker ran) go.
  async measured() {
    if (this.sizes) return;
    this.sizes = new Map();
    const stored = (await this.api.storage.session.get(null).catch(() => ({}))) ?? {};
    const open = new Set((await this.api.tabs.query({}).catch(() => [])).map((tab) => tab.id));
    const gone = [];
    for (const [key, value] of Object.entries(stored)) {
      if (!key.startsWith(BLOCKED_PREFIX)) continue;
      const tabId = Number(key.slice(BLOCKED_PREFIX.length));
      if (open.has(tabId)) this.sizes.set(tabId, key.length + JSON.stringify(value).length);
      else gone.push(tabId);
    }
    await this.removeLists(gone);
  }

  async makeRoom() {
    let total = [...this.sizes.values()].reduce((sum, bytes) => sum + bytes, 0);
    const evicted = [];
    for (const [tabId, bytes] of this.sizes) {
      if (total <= BLOCKED_BUDGET || this.sizes.size - evicted.length === 1) break;
      evicted.push(tabId);
      total -= bytes;
    }
    await this.removeLists(evicted);
  }

  async removeLists(tabIds) {
    if (tabIds.length === 0) return;
    for (const tabId of tabIds) this.sizes.delete(tabId);
    await this.api.storage.session.remove(tabIds.map(blockedKey)).catch(() => {});
    for (const tabId of tabIds) this.api.action.setBadgeText({ tabId, text: "" }).catch(() => {});
  }

  // The program blocked the new tab that `request.opener` opened.
  add(request) {
    const opener = request.opener;
    const target = String(request.target ?? "");
    // When the page opened it; answers may come in another order.
    const at = Number.isFinite(request.at) ? request.at : Date.now();
    const entry = request.targetCut === true || target.length > MAX_KEPT_ADDRESS
      ? { url: target.slice(0, SHOWN_WHEN_TOO_LONG), cut: true, at }
      : { url: target, at };
    return this.change(opener, async (before) => {
      // An answer that comes after its opener closed is listed nowhere.
      if (!(await this.api.tabs.get(opener).then(() => true, () => false))) return null;
      const site = siteKey(request.url);
      const record = before?.site === site ? before : { site, count: 0, windows: [] };
      record.page = request.url;
      record.count += 1;
      record.windows = [entry, ...record.windows].sort((a, b) => b.at - a.at).slice(0, MAX_LISTED);
      return record;
    }).then(() => this.showCount(opener));
  }

  async navigated(tabId, url) {
    // Asked now: by the time the change runs, the tab may have come back.
    const stays = this.staysListed(tabId);
    await this.change(tabId, (record) => (record && record.site !== siteKey(url) && !stays ? null : undefined));
    // Some browsers reset a tab's badge on every navigation: set it again.
    await this.showCount(tabId);
  }

  async showCount(tabId) {
    await this.writing;
    const count = (await readBlocked(this.api, tabId))?.count ?? 0;
    await this.api.action.setBadgeText({ tabId, text: count > 0 ? String(count) : "" }).catch(() => {});
  }

  fromPanel(sender) {
    return sender?.id === this.api.runtime.id && typeof sender.url === "string" && sender.url.startsWith(this.panelUrl);
  }

  // Opens a listed address once, in a new tab beside the one it was blocked in.
  async openForUser(tabId, url) {
    const record = await readBlocked(this.api, tabId);
    const listed = record?.windows.some((entry) => entry.url === url && !entry.cut);
    if (!listed) return false;
    const beside = await this.api.tabs.get(tabId).catch(() => null);
    const creating = this.api.tabs.create({
      url,
      ...(beside ? { windowId: beside.windowId, index: beside.index + 1 } : {}),
    });
    const marked = creating.then((tab) => this.userTabs.add(tab.id));
    this.opening = Promise.all([this.opening, marked.catch(() => {})]);
    await marked;
    return true;
  }

  // Whether a new tab is one the user opened from the panel.
  async openedByUser(tabId) {
    await this.opening;
    return this.userTabs.has(tabId);
  }
}
