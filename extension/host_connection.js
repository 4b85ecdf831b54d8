// The connection to the native messaging host "quellix.popup_blocker"
// (QuellixBridge.exe), which passes every message to the running program.
//
// Messages (JSON; the program checks each and answers a bad one "leave"):
//   to the host   {type: "newWindow", id, tab, url, target}
//                                                     a page in tab `tab` (its address
//                                                     `url`) opened a new tab at `target`
//                 {type: "status", tab, text}         the link under the pointer, or ""
//                 {type: "tabClosed", tab}
//                 {type: "listen"}                    first on every port: send the news here
//                 {type: "popupRule", id, url}        would a pop-up of that page's site be
//                                                     let through now? (changes nothing)
//   from the host {type: "verdict", id, verdict}      "block": close the new tab;
//                                                     "leave": let it be
//                 {type: "popupRule", id, running, allow}
//                 news, unasked: {type: "switches", blocking, setupMode, exceptions},
//                 {type: "allowNext", set}, {type: "listsChanged"}, {type: "programGone"}
// `id` is this extension's own (a random UUID), one per new tab; the
// program answers each id once, also when it is asked again.
//
// The browser may stop this worker at any time; the requests not yet
// answered are kept in session storage, one key each (a write costs one
// request, not all of them), and a new worker asks them again. So does every
// new port: answers meant for a port that went are lost with it. The program
// is sent addresses cut at MAX_ADDRESS; the stored copy keeps less
// (STORED_ADDRESS, address_limits.js), so that the most that may wait fits
// the storage's quota: a request asked again by a restarted worker is decided
// by the same site, and its window is listed as cut short if blocked.
import { MAX_ADDRESS, STORED_ADDRESS, cutAddress } from "./address_limits.js";

const HOST = "quellix.popup_blocker";
const PENDING_PREFIX = "pending:";
const RETRY_ALARM = "quellix-retry";
// Never more waiting than the program remembers answers (4096): a request
// asked again after a restart is then answered from that memory, never
// decided, counted or sounded twice. Past it a new tab is left alone, as
// without a program.
const MAX_PENDING = 2048;
// Reconnecting after the host went away: a few tries, then the waiting new
// tabs are left alone (a window is never closed without an answer).
const RECONNECT_DELAYS_MS = [200, 1000, 5000];
// A question (not a new tab) not answered in this time counts as unanswered.
const QUESTION_MS = 5000;
// A host that ran this long (not one that cannot start) is started again when it ends.
const LIVED_MS = 5000;
const NEWS = new Set(["switches", "allowNext", "listsChanged", "programGone"]);

// `request` with its addresses cut at `most`; `targetCut` tells the
// blocked windows' list that the new tab's address is not whole.
function cutRequest(request, most) {
  const kept = { ...request, url: cutAddress(request.url, most), target: cutAddress(request.target, most) };
  if (kept.target !== request.target) kept.targetCut = true;
  return kept;
}

function newWindowMessage(id, request) {
  return { type: "newWindow", id, tab: request.opener, url: request.url, target: request.target };
}

export class HostConnection {
  constructor(api, onVerdict, onNews = () => {}) {
    this.api = api;
    this.onVerdict = onVerdict;
    this.onNews = onNews;
    this.questions = new Map(); // id -> resolve(answer or null), for questions that change nothing
    this.port = null;
    this.connectedAt = 0;
    this.failedConnects = 0;
    this.pending = new Map(); // id -> {tab, opener, url, target}
    this.storeFailing = false;
    this.ready = this.restore();
  }

  async restore() {
    const stored = await this.api.storage.session.get(null).catch(() => ({}));
    for (const [key, request] of Object.entries(stored ?? {})) {
      if (key.startsWith(PENDING_PREFIX)) this.pending.set(key.slice(PENDING_PREFIX.length), request);
    }
    // Asked by a worker that was stopped before its answer came: ask again.
    if (this.pending.size > 0) this.resendPending();
  }

  // A write that fails (the quota is full) is reported, once until one
  // succeeds again (a flood would fill the console); the request is still
  // asked and acted on, only a restarted worker will not know it.
  async store(write) {
    try {
      await write(this.api.storage.session);
      this.storeFailing = false;
    } catch (error) {
      if (!this.storeFailing) {
        console.warn("Quellix: a waiting request could not be kept for a restarted worker:", error?.message ?? error);
      }
      this.storeFailing = true;
    }
    if (this.pending.size > 0) {
      this.api.alarms.create(RETRY_ALARM, { delayInMinutes: 0.5 });
    } else {
      this.api.alarms.clear(RETRY_ALARM).catch(() => {});
    }
  }

  async drop(ids) {
    for (const id of ids) this.pending.delete(id);
    await this.store((session) => session.remove(ids.map((id) => PENDING_PREFIX + id)));
  }

  connected() {
    if (this.port) return this.port;
    const port = this.api.runtime.connectNative(HOST);
    port.onMessage.addListener((message) => this.received(message));
    port.onDisconnect.addListener(() => this.disconnected(port));
    this.port = port;
    this.connectedAt = Date.now();
    // This port hears the program's news (the panel's one-shot questions do not).
    port.postMessage({ type: "listen" });
    for (const [id, request] of this.pending) port.postMessage(newWindowMessage(id, request));
    return port;
  }

  post(message) {
    try {
      const fresh = !this.port;
      const port = this.connected();
      // A new port has just asked every waiting request, this one included.
      if (!(fresh && message.type === "newWindow")) port.postMessage(message);
    } catch {
      this.disconnected(this.port);
    }
  }

  // Whether it was asked (past MAX_PENDING it is not: the new tab is left alone).
  async ask(id, request) {
    await this.ready;
    if (this.pending.size >= MAX_PENDING) return false;
    const kept = cutRequest(request, MAX_ADDRESS);
    this.pending.set(id, kept);
    // Sent before it is stored: a message told after it (the link under the
    // pointer changing, say) must not reach the program first.
    this.post(newWindowMessage(id, kept));
    await this.store((session) => session.set({ [PENDING_PREFIX + id]: cutRequest(kept, STORED_ADDRESS) }));
    return true;
  }

  // A question whose answer comes back here (not stored: it changes nothing
  // and is asked again when needed); null when none comes.
  question(type, fields) {
    const id = crypto.randomUUID();
    return new Promise((resolve) => {
      const timer = setTimeout(() => this.answered(id, null), QUESTION_MS);
      this.questions.set(id, (answer) => {
        clearTimeout(timer);
        resolve(answer);
      });
      this.post({ type, id, ...fields });
    });
  }

  answered(id, answer) {
    const resolve = this.questions.get(id);
    if (!resolve) return;
    this.questions.delete(id);
    resolve(answer);
  }

  async tell(message) {
    await this.ready;
    this.post(message);
  }

  // The request about a new tab is given up (the tab went, or the user took it elsewhere).
  async forget(tabId) {
    await this.ready;
    const given_up = [...this.pending].filter(([, request]) => request.tab === tabId).map(([id]) => id);
    if (given_up.length > 0) await this.drop(given_up);
  }

  async received(message) {
    if (NEWS.has(message?.type)) {
      this.onNews(message);
      return;
    }
    if (typeof message?.id === "string" && this.questions.has(message.id)) {
      this.answered(message.id, message.type === "verdict" ? null : message);
      return;
    }
    await this.ready;
    if (message?.type !== "verdict" || typeof message.id !== "string") return;
    const request = this.pending.get(message.id);
    if (!request) return; // answered before, or given up: never acted on twice
    this.failedConnects = 0;
    this.onVerdict(request, message.verdict);
    await this.drop([message.id]);
  }

  resendPending() {
    if (this.port) {
      for (const [id, request] of this.pending) this.port.postMessage(newWindowMessage(id, request));
      return;
    }
    try {
      this.connected();
    } catch {
      this.disconnected(this.port);
    }
  }

  disconnected(port) {
    if (port !== this.port) return;
    this.port = null;
    void this.api.runtime.lastError; // read, so the browser does not report it as unchecked
    for (const id of [...this.questions.keys()]) this.answered(id, null);
    // No host, no program: as if it had said it has gone.
    this.onNews({ type: "programGone" });
    if (this.pending.size === 0) {
      // Started again, to hear the program's news.
      if (Date.now() - this.connectedAt >= LIVED_MS) {
        setTimeout(() => {
          if (!this.port) this.resendPending();
        }, RECONNECT_DELAYS_MS[1]);
      }
      return;
    }
    const delay = RECONNECT_DELAYS_MS[this.failedConnects];
    this.failedConnects += 1;
    if (delay === undefined) {
      // No host: every waiting new tab stays open.
      this.failedConnects = 0;
      void this.drop([...this.pending.keys()]);
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

export { MAX_PENDING, RETRY_ALARM };
