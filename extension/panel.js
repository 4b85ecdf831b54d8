// The toolbar button's panel: the windows blocked in one tab (newest first),
// each of which the user may open once, "Always allow" for the tab's site,
// and how the program stands. The program is asked through its host, one
// question per connection; the list comes from the worker's session storage.
//
// The panel is about the active tab of its window, or about the tab that
// its address names (panel.html?tab=<id>), as when it is opened in a tab.
import { blockedKey, readBlocked } from "./blocked_windows.js";

const api = globalThis.browser ?? globalThis.chrome;
const HOST = "quellix.popup_blocker";
// Starting the host and reaching the program takes well under a second; a
// host that has hung is not waited for longer than this.
const ANSWER_TIMEOUT_MS = 20000;

const element = (id) => document.getElementById(id);
let tab = null;
let record = null;
let site = "";
let running = false;

async function panelTab() {
  const query = new URLSearchParams(location.search);
  if (query.has("tab")) {
    const id = Number(query.get("tab"));
    return Number.isSafeInteger(id) && id >= 0 ? api.tabs.get(id).catch(() => null) : null;
  }
  const [active] = await api.tabs.query({ active: true, currentWindow: true }).catch(() => []);
  return active ?? null;
}

function describeTrouble(error) {
  const text = String(error?.message ?? error);
  if (/not found|no such native application/i.test(text)) {
    return "The Quellix Pop-Up Blocker host is not installed for this browser: install the program " +
      "(its installer registers the host), then open this panel again.";
  }
  if (text === "timeout") return "Quellix Pop-Up Blocker did not answer.";
  return `Quellix Pop-Up Blocker could not be reached: ${text}`;
}

// One question to the program: {answer} or {trouble: a text for the user}.
async function askProgram(message) {
  let timer;
  const timeout = new Promise((resolve, reject) => {
    timer = setTimeout(() => reject(new Error("timeout")), ANSWER_TIMEOUT_MS);
  });
  try {
    const answer = await Promise.race([
      api.runtime.sendNativeMessage(HOST, { ...message, id: crypto.randomUUID() }),
      timeout,
    ]);
    return { answer };
  } catch (error) {
    return { trouble: describeTrouble(error) };
  } finally {
    clearTimeout(timer);
  }
}

const NOT_RUNNING = "Quellix Pop-Up Blocker is not running: new windows open as the browser lets them.";

function showProgram(text, trouble) {
  const line = element("program");
  line.textContent = text;
  line.classList.toggle("trouble", trouble);
}

async function refreshProgram() {
  const { answer, trouble } = await askProgram({ type: "state", url: pageAddress() });
  running = answer?.type === "state" && answer.running === true;
  site = running ? answer.site : "";
  if (trouble) {
    showProgram(trouble, true);
  } else if (answer?.type === "state" && !answer.running) {
    showProgram(NOT_RUNNING, true);
  } else if (!running) {
    showProgram("Quellix Pop-Up Blocker did not take this panel's question.", true);
  } else {
    const count = answer.stopped === 1 ? "1 pop-up blocked" : `${answer.stopped} pop-ups blocked`;
    showProgram(`Blocking is ${answer.blocking ? "on" : "off"}. Setup mode is ${answer.setupMode ? "on" : "off"}. ` +
      `${count} to date.`, !answer.blocking);
  }
  showSite();
}

// The page the blocked windows came from; the tab's own address otherwise.
function pageAddress() {
  return record?.page ?? tab?.url ?? "";
}

function when(at) {
  const date = new Date(at);
  const today = new Date().toDateString() === date.toDateString();
  return today ? date.toLocaleTimeString() : date.toLocaleString();
}

function showList() {
  const windows = record?.windows ?? [];
  const count = record?.count ?? 0;
  element("blocked-heading").textContent = count === 0 ? "Blocked in this tab"
    : `Blocked in this tab: ${count}${count > windows.length ? ` (the newest ${windows.length} shown)` : ""}`;
  element("nothing-blocked").hidden = windows.length > 0;
  const list = element("blocked-list");
  const template = element("blocked-entry");
  list.replaceChildren(...windows.map((entry) => {
    const item = template.content.firstElementChild.cloneNode(true);
    item.querySelector(".address").textContent = entry.url || "(a window without an address)";
    const time = item.querySelector("time");
    time.dateTime = new Date(entry.at).toISOString();
    time.textContent = when(entry.at);
    const open = item.querySelector(".open");
    open.setAttribute("aria-label", `Open ${entry.url}`);
    if (entry.cut || !entry.url) {
      open.disabled = true;
      open.title = "This address is too long to be opened from here.";
    }
    open.addEventListener("click", () => openBlocked(entry.url, open));
    return item;
  }));
  showSite();
}

function showSite() {
  const section = element("site");
  section.hidden = !running || !site || !record?.windows.length;
  element("site-name").textContent = site;
  const button = element("always-allow");
  if (button.dataset.site !== site) {
    button.dataset.site = site;
    button.textContent = `Always allow ${site}`;
    button.disabled = false;
    element("allow-outcome").textContent = "";
  }
}

async function openBlocked(url, button) {
  const opened = await api.runtime.sendMessage({ type: "openBlocked", tab: tab?.id, url }).catch(() => false);
  if (!opened) {
    button.disabled = true;
    button.textContent = "Could not open";
  }
}

async function alwaysAllow() {
  const button = element("always-allow");
  const outcome = element("allow-outcome");
  button.disabled = true;
  outcome.className = "";
  outcome.textContent = "Adding\u2026";
  // The site the button names: the program adds it only while it is still the page's.
  const { answer, trouble } = await askProgram({ type: "allowSite", url: pageAddress(), site: button.dataset.site });
  if (answer?.type === "siteAllowed" && answer.running && answer.ok) {
    outcome.className = "good";
    outcome.textContent = `${answer.site} is on the allowed list: its pages may open new windows.`;
  } else {
    outcome.className = "bad";
    button.disabled = false;
    if (trouble) outcome.textContent = trouble;
    else if (answer?.type === "siteAllowed" && !answer.running) outcome.textContent = NOT_RUNNING;
    else outcome.textContent = answer?.problem || "Quellix Pop-Up Blocker did not take the site.";
  }
  await refreshProgram();
}

async function start() {
  tab = await panelTab();
  record = tab ? await readBlocked(api, tab.id) : null;
  element("always-allow").addEventListener("click", () => void alwaysAllow());
  showList();
  // Windows blocked while the panel is open join the list.
  api.storage.onChanged.addListener((changes, area) => {
    if (area !== "session" || !tab || !changes[blockedKey(tab.id)]) return;
    record = changes[blockedKey(tab.id)].newValue ?? null;
    showList();
  });
  await refreshProgram();
  document.body.dataset.ready = "true";
}

void start();
