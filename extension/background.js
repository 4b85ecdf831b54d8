// Puts every new tab or window that a page opens before the running
// Quellix Pop-Up Blocker: the opener's address goes to the program, which
// decides it as it decides an Internet Explorer window's request; a "block"
// closes the new tab at once. Left alone, never asked about: the tabs the
// user opens from a link (user_grants.js), tabs opened from a page whose
// user's input the extension cannot see, and tabs whose opener has no known
// address (tab_addresses.js). The link under the pointer (from content.js)
// goes along as the tab's status text. Blocked windows are listed per tab
// for the badge and the panel (blocked_windows.js). A blocked copy of a page
// whose tab was sent elsewhere brings the tab back (tab_under.js).
import { BlockedWindows } from "./blocked_windows.js";
import { HostConnection, RETRY_ALARM } from "./host_connection.js";
import { PopupRules } from "./popup_rules.js";
import { startRequestHold } from "./request_hold.js";
import { TabUnder } from "./tab_under.js";
import { TrackingStore } from "./tracking_store.js";

const api = globalThis.browser ?? globalThis.chrome;

// New tabs whose user went elsewhere in them before the answer came: the
// answer no longer concerns what the tab shows.
const USER_NAVIGATIONS = new Set(["typed", "auto_bookmark", "generated", "keyword", "keyword_generated"]);
// A press in the opener still under way may yet tell its link's address
// after the page's handlers: a new tab waits this long for it.
const PRESS_SETTLE_MS = 250;
// How long the content script of an opener not heard from may take to answer.
const PING_MS = 300;
const MAX_MESSAGE_TEXT = 64 * 1024;

// A tab that may yet be brought back keeps its list meanwhile: the tab-under
// watch hears each navigation first (its listeners are added first).
const tabUnder = new TabUnder(api, (tabId, url) => void blocked.navigated(tabId, url));
const blocked = new BlockedWindows(api, (tabId) => tabUnder.mayReturn(tabId));

// Firefox: a page's new tab loads nothing before its verdict.
const held = startRequestHold(api);

function applyVerdict(request, verdict) {
  held.decided(request.tab, verdict);
  tabUnder.decided(request, verdict);
  if (verdict !== "block") return;
  // Closed the moment the verdict comes (a tab already gone fails harmlessly);
  // the list follows.
  api.tabs.remove(request.tab).catch(() => {});
  void blocked.add(request);
}

// The program's switches as it last told them; until it has, the link under
// the pointer is not sent.
let exceptionsOn = false;

const host = new HostConnection(api, applyVerdict, heardNews);
const rules = new PopupRules(api.contentSettings?.popups, api.storage.session, async (url) => {
  const answer = await host.question("popupRule", { url });
  return answer?.type === "popupRule" && answer.running === true ? answer.allow === true : null;
});

async function openUrls() {
  return (await api.tabs.query({}).catch(() => [])).map((tab) => tab.url ?? "");
}

function heardNews(message) {
  if (message.type === "switches") {
    exceptionsOn = message.exceptions === true;
    held.switches(message);
    void rules.switches(message, openUrls);
  } else if (message.type === "allowNext") {
    void rules.allowNextSet(message.set);
  } else if (message.type === "listsChanged") {
    void rules.listsChanged(openUrls);
  } else if (message.type === "programGone") {
    exceptionsOn = false;
    held.programGone();
    void rules.programGone();
  }
}

// The tabs' addresses and the user's grants, kept in session storage so that
// a restarted worker goes on from them (tracking_store.js): every event
// applies its change after `tracking` is ready, in the order the events
// came, and names the tabs it changed.
const store = new TrackingStore(api.storage.session);
let addresses = store.addresses;
let grants = store.grants;
const usersTabs = new Set(); // new tabs a grant claimed after they came
const settling = new Map(); // new tab id -> resolve(claimed), while it waits for a press
const linkShown = new Map(); // tab -> when its last status told the program of a link

async function restoreTracking() {
  const goesOn = await store.restore();
  addresses = store.addresses;
  grants = store.grants;
  if (goesOn) return;
  // A fresh start: the pages open now, whose content scripts are asked when needed.
  for (const tab of await api.tabs.query({}).catch(() => [])) {
    if (tab.url && !addresses.page(tab.id)) {
      addresses.committed(tab.id, tab.url);
      store.changed(tab.id);
    }
  }
}
const tracking = restoreTracking();

// Whether the content script runs in the top frame of `tabId` (it cannot in
// the browser's own pages, the extension stores, sites not granted, or pages
// loaded before the extension that the install could not reach).
async function contentScriptAnswers(tabId) {
  const ping = api.tabs.sendMessage(tabId, { type: "quellixPing" }, { frameId: 0 }).catch(() => false);
  const late = new Promise((resolve) => setTimeout(() => resolve(false), PING_MS));
  return (await Promise.race([ping, late])) === true;
}

function claimedWithin(tabId, ms) {
  return new Promise((resolve) => {
    const timer = setTimeout(() => {
      settling.delete(tabId);
      resolve(false);
    }, ms);
    settling.set(tabId, (claimed) => {
      clearTimeout(timer);
      settling.delete(tabId);
      resolve(claimed);
    });
  });
}

api.webNavigation.onCreatedNavigationTarget.addListener((details) => {
  held.opened(details.tabId);
  const leftAlone = () => held.decided(details.tabId, "leave");
  void newTabOpened(details).then((asked) => asked || leftAlone(), leftAlone);
});

// Whether the program was asked about a page's new tab.
async function newTabOpened(details) {
  if (details.sourceTabId === undefined || details.sourceTabId < 0) return false;
  await tracking;
  // Read now: the opener's page may change or close in the next moment.
  const opener = addresses.page(details.sourceTabId);
  addresses.created(details.tabId, details.sourceTabId, details.url);
  const theUsers = grants.claim(details.tabId, details.sourceTabId, details.url);
  const pressUnderWay = !theUsers && grants.pressing(details.sourceTabId);
  store.changed(details.tabId, details.sourceTabId);
  if (theUsers) return false;
  // Opened by the user from the panel: neither decided nor counted.
  if (await blocked.openedByUser(details.tabId)) return false;
  if (pressUnderWay && (await claimedWithin(details.tabId, PRESS_SETTLE_MS))) return false;
  if (!opener?.address) return false; // no address known: left alone, as a failure is
  if (!opener.heard) {
    if (!opener.open || !(await contentScriptAnswers(details.sourceTabId))) return false;
    addresses.heard(details.sourceTabId);
    store.changed(details.sourceTabId);
  }
  if (usersTabs.has(details.tabId)) return false;
  return host.ask(crypto.randomUUID(), {
    tab: details.tabId, opener: details.sourceTabId, url: opener.address, target: details.url, at: details.timeStamp,
  });
}

function tellStatus(tabId, text) {
  // With Exceptions off the program has no use for what the user points at.
  if (text !== "" && !exceptionsOn) return;
  if (text === "" && !linkShown.has(tabId)) return;
  if (text === "") linkShown.delete(tabId);
  else linkShown.set(tabId, Date.now());
  void host.tell({ type: "status", tab: tabId, text });
}

async function pageChanged(tabId, url, sameDocument) {
  await tracking;
  addresses.committed(tabId, url, { sameDocument });
  store.changed(tabId);
}

// A top-level navigation asks for its origin's pop-up rule as early as it
// can: a page's pop-up on load comes soon after it commits.
api.webNavigation.onBeforeNavigate.addListener((details) => {
  if (details.frameId === 0) void rules.visited(details.url);
});

api.webNavigation.onCommitted.addListener((details) => {
  // Prerendered and cached pages commit too, as frames other than 0 or in
  // another lifecycle: not what the tab shows.
  if (details.frameId !== 0 || (details.documentLifecycle ?? "active") !== "active") return;
  void rules.visited(details.url);
  if (USER_NAVIGATIONS.has(details.transitionType)) void host.forget(details.tabId);
  // The link of the page left goes; one the new page told already stays
  // (its message may come before this event).
  if (linkShown.get(details.tabId) < details.timeStamp) tellStatus(details.tabId, "");
  void pageChanged(details.tabId, details.url, false);
});
for (const event of [api.webNavigation.onHistoryStateUpdated, api.webNavigation.onReferenceFragmentUpdated]) {
  event.addListener((details) => {
    if (details.frameId === 0) void pageChanged(details.tabId, details.url, true);
  });
}
// A page brought in whole (a prerendered or cached one shown at once).
api.tabs.onUpdated.addListener(async (tabId, change) => {
  if (typeof change.url !== "string") return;
  await tracking;
  addresses.shows(tabId, change.url);
  store.changed(tabId);
});

api.tabs.onActivated.addListener(({ previousTabId }) => {
  if (previousTabId !== undefined) tellStatus(previousTabId, "");
});

api.tabs.onRemoved.addListener(async (tabId) => {
  void host.forget(tabId);
  linkShown.delete(tabId);
  void host.tell({ type: "tabClosed", tab: tabId });
  await tracking;
  addresses.closed(tabId);
  grants.tabClosed(tabId);
  store.changed(tabId);
});

function validGrant(message) {
  return typeof message.press === "string" && message.press.length <= 64 && typeof message.url === "string" &&
    message.url.length <= MAX_MESSAGE_TEXT && (message.kind === "press" || message.kind === "menu");
}

async function heardFrom(message, sender) {
  const tab = sender.tab?.id;
  await tracking;
  if (message.type === "hello") {
    if (sender.frameId === 0) addresses.heard(tab);
  } else if (message.type === "input") {
    // Trusted input: it ends the context menu's grants, and a new tab the
    // user works in is not closed by an answer that comes late.
    grants.input(tab);
    tabUnder.input(tab);
    void host.forget(tab);
  } else if (message.type === "grant" && validGrant(message)) {
    const claimed = grants.grant(tab, message);
    if (claimed !== null) {
      usersTabs.add(claimed);
      setTimeout(() => usersTabs.delete(claimed), 60000);
      settling.get(claimed)?.(true);
      held.decided(claimed, "leave");
      void host.forget(claimed);
      store.changed(claimed);
    }
  } else {
    return;
  }
  store.changed(tab);
}

api.runtime.onMessage.addListener((message, sender) => {
  const tab = sender.tab?.id;
  if (tab === undefined || sender.id !== api.runtime.id || typeof message?.type !== "string") return;
  if (message.type === "status") {
    if (typeof message.text === "string" && message.text.length <= MAX_MESSAGE_TEXT) tellStatus(tab, message.text);
    return;
  }
  if (message.type === "follows") {
    tabUnder.follows(tab, message);
    return;
  }
  void heardFrom(message, sender);
});

// Installed or updated: the pages open now have no content script of ours
// (or one of the old version, cut off): put it in.
api.runtime.onInstalled.addListener(async () => {
  for (const tab of await api.tabs.query({}).catch(() => [])) {
    api.scripting.executeScript({ target: { tabId: tab.id, allFrames: true }, files: ["content.js"] }).catch(() => {});
  }
});

api.alarms.onAlarm.addListener((alarm) => {
  if (alarm.name === RETRY_ALARM) void host.woken();
});

// Whenever the worker starts (with the browser, or woken by an event):
// connect now, so that the first new tab does not wait for the host to start.
void host.ready.then(() => host.connected());
