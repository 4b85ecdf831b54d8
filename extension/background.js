// Puts every new tab or window that a page opens before the running
// Quellix Pop-Up Blocker: the opener's address goes to the program, which
// decides it as it decides an Internet Explorer window's request; a "block"
// closes the new tab at once. The link under the pointer (from content.js)
// goes along as the tab's status text. Blocked windows are listed per tab
// for the badge and the panel (blocked_windows.js).
import { BlockedWindows } from "./blocked_windows.js";
import { HostConnection, RETRY_ALARM } from "./host_connection.js";

const api = globalThis.browser ?? globalThis.chrome;

// New tabs whose user went elsewhere in them before the answer came: the
// answer no longer concerns what the tab shows.
const USER_NAVIGATIONS = new Set(["typed", "auto_bookmark", "generated", "keyword", "keyword_generated"]);

const blocked = new BlockedWindows(api);

async function applyVerdict(request, verdict) {
  if (verdict !== "block") return;
  void blocked.add(request);
  // Only the new tab that was asked about, and only while it is still there.
  const tab = await api.tabs.get(request.tab).catch(() => null);
  if (!tab) return;
  await api.tabs.remove(request.tab).catch(() => {});
}

const host = new HostConnection(api, applyVerdict);

async function openerAddress(details) {
  const opener = await api.tabs.get(details.sourceTabId).catch(() => null);
  if (opener?.url) return opener.url;
  // A tab whose address this extension may not read: the asking frame's.
  const frame = await api.webNavigation
    .getFrame({ tabId: details.sourceTabId, frameId: details.sourceFrameId })
    .catch(() => null);
  return frame?.url ?? "";
}

api.webNavigation.onCreatedNavigationTarget.addListener(async (details) => {
  if (details.sourceTabId === undefined || details.sourceTabId < 0) return;
  // Opened by the user from the panel: neither decided nor counted.
  if (await blocked.openedByUser(details.tabId)) return;
  const url = await openerAddress(details);
  await host.ask(crypto.randomUUID(), {
    tab: details.tabId, opener: details.sourceTabId, url, target: details.url, at: details.timeStamp,
  });
});

api.webNavigation.onCommitted.addListener((details) => {
  if (details.frameId === 0 && USER_NAVIGATIONS.has(details.transitionType)) void host.forget(details.tabId);
});

api.tabs.onRemoved.addListener((tabId) => {
  void host.forget(tabId);
  void host.tell({ type: "tabClosed", tab: tabId });
});

api.runtime.onMessage.addListener((message, sender) => {
  const tab = sender.tab?.id;
  if (message?.type !== "status" || typeof message.text !== "string" || tab === undefined) return;
  void host.tell({ type: "status", tab, text: message.text });
});

api.alarms.onAlarm.addListener((alarm) => {
  if (alarm.name === RETRY_ALARM) void host.woken();
});

// Whenever the worker starts (with the browser, or woken by an event):
// connect now, so that the first new tab does not wait for the host to start.
void host.ready.then(() => host.connected());
