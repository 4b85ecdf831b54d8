// The parts of the browser's extension API that the worker's storage and
// host connection use, scripted: a session storage that enforces its quota
// as the browser counts it (key plus JSON value) and outlives workers, the
// native ports opened (each with what was posted to it), and the open tabs.
export const QUOTA_BYTES = 10 * 1024 * 1024; // storage.session's

export const storedBytes = (key, value) => key.length + JSON.stringify(value).length;

export function scriptedBrowser(session = new Map(), openTabs = new Set()) {
  let used = [...session].reduce((sum, [key, value]) => sum + storedBytes(key, value), 0);
  const listeners = (list = []) => ({ list, addListener: (listener) => list.push(listener) });
  const browser = {
    session,
    openTabs,
    ports: [],
    writes: 0,
    badges: new Map(),
    used: () => used,
    storage: {
      session: {
        async get(key) {
          if (key !== null) return session.has(key) ? { [key]: structuredClone(session.get(key)) } : {};
          return Object.fromEntries([...session].map(([k, v]) => [k, structuredClone(v)]));
        },
        async set(items) {
          browser.writes += 1;
          const grown = Object.entries(items).reduce(
            (sum, [key, value]) => sum + storedBytes(key, value) - (session.has(key) ? storedBytes(key, session.get(key)) : 0), 0);
          if (used + grown > QUOTA_BYTES) throw new Error("Session storage quota bytes exceeded.");
          used += grown;
          for (const [key, value] of Object.entries(items)) session.set(key, structuredClone(value));
        },
        async remove(keys) {
          for (const key of [keys].flat()) {
            if (session.has(key)) used -= storedBytes(key, session.get(key));
            session.delete(key);
          }
        },
      },
    },
    alarms: { create() {}, clear: async () => true },
    tabs: {
      async get(tabId) {
        if (!openTabs.has(tabId)) throw new Error(`No tab with id: ${tabId}.`);
        return { id: tabId, windowId: 1, index: 0 };
      },
      query: async () => [...openTabs].map((id) => ({ id })),
      onRemoved: listeners(),
    },
    // The user closes a tab.
    closeTab(tabId) {
      openTabs.delete(tabId);
      for (const listener of browser.tabs.onRemoved.list) listener(tabId);
    },
    action: {
      setBadgeBackgroundColor: async () => {},
      async setBadgeText({ tabId, text }) {
        browser.badges.set(tabId, text);
      },
    },
    webNavigation: { onCommitted: listeners() },
    runtime: {
      id: "quellix",
      lastError: undefined,
      getURL: (path) => `chrome-extension://quellix/${path}`,
      onMessage: listeners(),
      connectNative() {
        const port = { posted: [], listeners: [], dropListeners: [] };
        port.postMessage = (message) => port.posted.push(message);
        port.onMessage = { addListener: (listener) => port.listeners.push(listener) };
        port.onDisconnect = { addListener: (listener) => port.dropListeners.push(listener) };
        port.drop = () => port.dropListeners.forEach((listener) => listener());
        port.answer = (message) => port.listeners.forEach((listener) => listener(message));
        browser.ports.push(port);
        return port;
      },
    },
  };
  return browser;
}
