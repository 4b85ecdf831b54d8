// The connection to the native messaging host "quellix.popup_blocker"
// (QuellixBridge.exe), which passes every message to the running program.
//
// Messages (JSON; the program checks each and answers a bad one "leave"):
//   to the host   {type: "newWindow", id, tab, url, target}
//                                                     a page in tab `tab` (its address
//                                                     `url`) opened a new tab at `target`
//                 {type: "status", tab, text}         the link under the pointer, or ""
//                 {type: "tabClosed", tab}
//   from the host {type: "verdict", id, verdict}      "block": close the new tab;
//                                                     "leave": let it be
// `id` is this extension's own (a random UUID), one per new tab; the
// program answers each id once, also when it is asked again.
//
// The browser may stop this worker at any time; the requests not yet
// answered are kept in session storage, and a new worker asks them again.
const HOST = "quellix.popup_blocker";
const PENDING_KEY = "pendingRequests";
const RETRY_ALARM = "quellix-retry";
// Reconnecting after the host went away: a few tries, then the waiting new
// tabs are left alone (a window is never closed without an answer).
const RECONNECT_DELAYS_MS = [200, 1000, 5000];

function newWindowMessage(id, request) {
  return { type: "newWindow", id, tab: request.opener, url: request.url, target: request.target };
}

export class HostConnection {
  constructor(api, onVerdict) {
    this.api = api;
    this.onVerdict = onVerdict;
    this.port = null;
    this.failedConnects = 0;
    this.pending = new Map(); // id -> {tab, opener, url}
    this.ready = this.restore();
  }

  async restore() {
    const stored = await this.api.storage.session.get(PENDING_KEY).catch(() => ({}));
    for (const [id, request] of Object.entries(stored[PENDING_KEY] ?? {})) this.pending.set(id, request);
    // Asked by a worker that was stopped before its answer came: ask again.
    if (this.pending.size > 0) this.resendPending();
  }

  async save() {
    await this.api.storage.session.set({ [PENDING_KEY]: Object.fromEntries(this.pending) }).catch(() => {});
    if (this.pending.size > 0) {
      this.api.alarms.create(RETRY_ALARM, { delayInMinutes: 0.5 });
    } else {
      this.api.alarms.clear(RETRY_ALARM).catch(() => {});
    }
  }

  connected() {
    if (this.port) return this.port;
    const port = this.api.runtime.connectNative(HOST);
    port.onMessage.addListener((message) => this.received(message));
    port.onDisconnect.addListener(() => this.disconnected(port));
    this.port = port;
    return port;
  }

  post(message) {
    try {
      this.connected().postMessage(message);
    } catch {
      this.disconnected(this.port);
    }
  }

  async ask(id, request) {
    await this.ready;
    this.pending.set(id, request);
    // Sent before it is stored: a message told after it (the link under the
    // pointer changing, say) must not reach the program first.
    this.post(newWindowMessage(id, request));
    await this.save();
  }

  async tell(message) {
    await this.ready;
    this.post(message);
  }

  // The request about a new tab is given up (the tab went, or the user took it elsewhere).
  async forget(tabId) {
    await this.ready;
    let changed = false;
    for (const [id, request] of this.pending) {
      if (request.tab === tabId) changed = this.pending.delete(id);
    }
    if (changed) await this.save();
  }

  async received(message) {
    await this.ready;
    if (message?.type !== "verdict" || typeof message.id !== "string") return;
    const request = this.pending.get(message.id);
    if (!request) return; // answered before, or given up: never acted on twice
    this.failedConnects = 0;
    this.pending.delete(message.id);
    await this.save();
    this.onVerdict(request, message.verdict);
  }

  resendPending() {
    for (const [id, request] of this.pending) {
      this.post(newWindowMessage(id, request));
    }
  }

  disconnected(port) {
    if (port !== this.port) return;
    this.port = null;
    void this.api.runtime.lastError; // read, so the browser does not report it as unchecked
    if (this.pending.size === 0) return;
    const delay = RECONNECT_DELAYS_MS[this.failedConnects];
    this.failedConnects += 1;
    if (delay === undefined) {
      // No host: every waiting new tab stays open.
      this.failedConnects = 0;
      this.pending.clear();
      void this.save();
      return;
    }
    setTimeout(() => {
      if (!this.port) this.resendPending();
    }, delay);
  }

  // The retry alarm woke a worker that has nothing else to do.
  async woken() {
    await this.ready;
    if (!this.port && this.pending.size > 0) this.resendPending();
  }
}

export { RETRY_ALARM };
