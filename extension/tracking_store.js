// The tabs' addresses and the user's grants in session storage, so that a
// restarted worker goes on from them: one key per tab ("tab:<id>"), written
// for the tabs an event changed, so that a write is a tab's worth (its
// addresses cut short), never the whole set; a tab's key goes when nothing
// is known of it any more.
import { TabAddresses } from "./tab_addresses.js";
import { UserGrants } from "./user_grants.js";

export const TAB_PREFIX = "tab:";
// Set once in a browser session: the tabs were followed before this worker
// (perhaps none is stored), so the pages open now need not be read afresh.
const STARTED_KEY = "trackingStarted";

export class TrackingStore {
  // `storage`: the session storage; `now`: the clock, given so that tests can drive it.
  constructor(storage, now = Date.now) {
    this.storage = storage;
    this.now = now;
    this.addresses = new TabAddresses({}, now);
    this.grants = new UserGrants({}, now);
    this.written = new Set(); // tabs with a key
    this.dirty = new Set();
    this.scheduled = false;
    this.writing = Promise.resolve();
    this.failing = false;
  }

  // Reads back what an earlier worker of this session stored; false: it is
  // the session's first worker.
  async restore() {
    const stored = (await this.storage.get(null).catch(() => ({}))) ?? {};
    const pages = {};
    const grants = {};
    const unclaimed = [];
    for (const [key, value] of Object.entries(stored)) {
      const tabId = Number(key.slice(TAB_PREFIX.length));
      if (!key.startsWith(TAB_PREFIX) || !Number.isSafeInteger(tabId) || typeof value !== "object" || !value) continue;
      this.written.add(tabId);
      if (value.page) pages[tabId] = value.page;
      if (Array.isArray(value.grants)) grants[tabId] = value.grants;
      if (value.unclaimed) unclaimed.push({ ...value.unclaimed, tabId });
    }
    this.addresses = new TabAddresses(pages, this.now);
    this.grants = new UserGrants({ grants, unclaimed }, this.now);
    if (stored[STARTED_KEY] === true) return true;
    await this.storage.set({ [STARTED_KEY]: true }).catch((error) => this.failed(error));
    return false;
  }

  // What changed in `tabIds` is written soon, after whatever the same turn changes too.
  changed(...tabIds) {
    for (const tabId of tabIds) if (Number.isSafeInteger(tabId)) this.dirty.add(tabId);
    if (this.scheduled) return;
    this.scheduled = true;
    setTimeout(() => {
      this.scheduled = false;
      this.writing = this.writing.then(() => this.write());
    }, 0);
  }

  valueOf(tabId) {
    const page = this.addresses.stored(tabId);
    const grants = this.grants.stored(tabId);
    return page || grants ? { ...(page ? { page } : {}), ...grants } : null;
  }

  async write() {
    // Also the tabs whose grants or address ran out since they were written.
    for (const tabId of this.written) if (this.valueOf(tabId) === null) this.dirty.add(tabId);
    const values = {};
    const gone = [];
    for (const tabId of this.dirty) {
      const value = this.valueOf(tabId);
      if (value) {
        values[TAB_PREFIX + tabId] = value;
        this.written.add(tabId);
      } else if (this.written.delete(tabId)) {
        gone.push(TAB_PREFIX + tabId);
      }
    }
    this.dirty.clear();
    const writes = [];
    if (gone.length > 0) writes.push(this.storage.remove(gone));
    if (Object.keys(values).length > 0) writes.push(this.storage.set(values));
    try {
      await Promise.all(writes);
      this.failing = false;
    } catch (error) {
      this.failed(error);
    }
  }

  // A refused write (the quota is full) is told once until one succeeds
  // again; the worker goes on from what it holds, only a restarted one would
  // not know the tabs concerned.
  failed(error) {
    if (this.failing) return;
    this.failing = true;
    console.warn("Quellix: the tabs' addresses could not be kept for a restarted worker:", error?.message ?? error);
  }
}
