// The windows the program blocked, per tab: the toolbar button's badge shows
// how many a tab has had since it came to its site, and the panel lists the
// newest of them. Kept in session storage, so that a stopped worker and the
// panel see the same list; the worker alone writes it.
//
// The panel asks the worker (runtime messages, from the extension's own
// pages only) to open a blocked address: the new tab is the user's, and the
// worker's own new-tab path must not ask the program about it.
export const BLOCKED_KEY = "blockedWindows";
export const MAX_LISTED = 25;
// A longer address is listed cut short and cannot be opened from the list.
export const MAX_KEPT_ADDRESS = 64 * 1024;
const SHOWN_WHEN_TOO_LONG = 256;

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

export async function readBlocked(api) {
  const stored = await api.storage.session.get(BLOCKED_KEY).catch(() => ({}));
  return stored[BLOCKED_KEY] ?? {};
}

export class BlockedWindows {
  // `staysListed(tabId)`: the tab, gone to another site, may yet come back.
  constructor(api, staysListed = () => false) {
    this.api = api;
    this.staysListed = staysListed;
    this.writing = Promise.resolve();
    this.userTabs = new Set(); // opened from the panel, not to be decided
    this.opening = Promise.resolve();
    this.panelUrl = api.runtime.getURL("panel.html");

    api.action.setBadgeBackgroundColor({ color: "#b3261e" }).catch(() => {});
    api.webNavigation.onCommitted.addListener((details) => {
      if (details.frameId === 0) void this.navigated(details.tabId, details.url);
    });
    api.tabs.onRemoved.addListener((tabId) => {
      this.userTabs.delete(tabId);
      void this.change((all) => delete all[tabId]);
    });
    api.runtime.onMessage.addListener((message, sender, respond) => {
      if (!this.fromPanel(sender) || message?.type !== "openBlocked") return undefined;
      this.openForUser(message.tab, message.url).then(respond, () => respond(false));
      return true; // the answer comes later
    });
  }

  // One change at a time, each on what the last one left.
  change(edit) {
    this.writing = this.writing.then(async () => {
      const all = await readBlocked(this.api);
      const touched = edit(all);
      if (touched === false) return;
      await this.api.storage.session.set({ [BLOCKED_KEY]: all }).catch(() => {});
    });
    return this.writing;
  }

  // The program blocked the new tab that `request.opener` opened.
  add(request) {
    const opener = request.opener;
    const target = String(request.target ?? "");
    // When the page opened it; answers may come in another order.
    const at = Number.isFinite(request.at) ? request.at : Date.now();
    const entry = target.length > MAX_KEPT_ADDRESS
      ? { url: target.slice(0, SHOWN_WHEN_TOO_LONG), cut: true, at }
      : { url: target, at };
    return this.change((all) => {
      const site = siteKey(request.url);
      const record = all[opener]?.site === site ? all[opener] : { site, count: 0, windows: [] };
      record.page = request.url;
      record.count += 1;
      record.windows = [entry, ...record.windows].sort((a, b) => b.at - a.at).slice(0, MAX_LISTED);
      all[opener] = record;
    }).then(() => this.showCount(opener));
  }

  async navigated(tabId, url) {
    // Asked now: by the time the change runs, the tab may have come back.
    const stays = this.staysListed(tabId);
    await this.change((all) => {
      if (!all[tabId]) return false;
      if (all[tabId].site === siteKey(url) || stays) return false;
      delete all[tabId];
      return true;
    });
    // Some browsers reset a tab's badge on every navigation: set it again.
    await this.showCount(tabId);
  }

  async showCount(tabId) {
    await this.writing;
    const count = (await readBlocked(this.api))[tabId]?.count ?? 0;
    await this.api.action.setBadgeText({ tabId, text: count > 0 ? String(count) : "" }).catch(() => {});
  }

  fromPanel(sender) {
    return sender?.id === this.api.runtime.id && typeof sender.url === "string" && sender.url.startsWith(this.panelUrl);
  }

  // Opens a listed address once, in a new tab beside the one it was blocked in.
  async openForUser(tabId, url) {
    const record = (await readBlocked(this.api))[tabId];
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
