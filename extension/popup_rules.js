// Chromium's own pop-up blocker stops a page's pop-ups that come without a
// user gesture before any extension hears of them, unless the site's pop-up
// setting is "allow". So the sites whose pop-ups the program lets through get
// an exact-origin "allow" rule (chrome.contentSettings.popups), and while
// allow-next is set one rule for every site lets the next pop-up reach the
// program. Every other site keeps Chromium's blocking.
//
// The program is asked, without side effects, at each top-level navigation;
// its news keeps the rules in step. All rules go when the program goes, when
// blocking is switched off, and at browser start until the program has
// answered. Firefox offers no such setting: there this does nothing.
export const MAX_RULES = 500;
// Rules cannot be taken out one by one (clear takes them all), so when there
// are too many the least recently used go this many at a time: one rebuild
// per batch, not one per new origin.
export const EVICTED_TOGETHER = 50;
const RULES_KEY = "popupRules";
const EVERY_SITE = "<all_urls>";

// The exact origin's pattern, its port always written (a pattern without one
// would match every port); nothing for an address that is not http or https.
export function originPattern(url) {
  let parsed;
  try {
    parsed = new URL(url);
  } catch {
    return null;
  }
  if (parsed.protocol !== "http:" && parsed.protocol !== "https:") return null;
  const port = parsed.port || (parsed.protocol === "https:" ? "443" : "80");
  return `${parsed.protocol}//${parsed.hostname}:${port}/*`;
}

export class PopupRules {
  // `settings`: chrome.contentSettings.popups (absent in Firefox);
  // `storage`: the session storage; `ask(url)`: the program's answer, true,
  // false, or null when it is not there.
  constructor(settings, storage, ask) {
    this.settings = settings;
    this.storage = storage;
    this.ask = ask;
    this.patterns = []; // least recently used first
    this.allowNext = false;
    this.blocking = false; // as the program last said; false until it has
    this.work = Promise.resolve();
    this.ready = this.start();
  }

  get enabled() {
    return Boolean(this.settings);
  }

  // One change at a time, in the order they came.
  queue(step) {
    this.work = this.work.then(step).catch(() => {});
    return this.work;
  }

  async start() {
    if (!this.enabled) return;
    const stored = (await this.storage.get(RULES_KEY).catch(() => ({})))[RULES_KEY];
    if (stored) {
      // A restarted worker: the rules it set are still there.
      ({ patterns: this.patterns, allowNext: this.allowNext, blocking: this.blocking } = stored);
      return;
    }
    // The browser has just started: rules left from before are not the program's word now.
    await this.settings.clear({ scope: "regular" }).catch(() => {});
    await this.save();
  }

  save() {
    const value = { patterns: this.patterns, allowNext: this.allowNext, blocking: this.blocking };
    return this.storage.set({ [RULES_KEY]: value }).catch(() => {});
  }

  set(pattern) {
    return this.settings.set({ primaryPattern: pattern, setting: "allow", scope: "regular" }).catch(() => {});
  }

  // Rules cannot be taken out one by one: all go, and those that stay are set again.
  async rebuild() {
    await this.settings.clear({ scope: "regular" }).catch(() => {});
    if (this.allowNext) await this.set(EVERY_SITE);
    for (const pattern of this.patterns) await this.set(pattern);
    await this.save();
  }

  // A top-level page at `url`: its origin gets a rule when the program lets
  // its pop-ups through, and loses it otherwise.
  visited(url) {
    const pattern = originPattern(url);
    if (!this.enabled || !pattern) return this.work;
    return this.queue(async () => {
      await this.ready;
      if (!this.blocking) return;
      const allow = await this.ask(url);
      if (allow === null) return;
      await this.follow(pattern, allow);
    });
  }

  async follow(pattern, allow) {
    const at = this.patterns.indexOf(pattern);
    if (at >= 0) this.patterns.splice(at, 1);
    if (!allow) {
      if (at >= 0) await this.rebuild();
      return;
    }
    this.patterns.push(pattern);
    if (this.patterns.length > MAX_RULES) {
      this.patterns.splice(0, EVICTED_TOGETHER);
      await this.rebuild();
      return;
    }
    if (at < 0) await this.set(pattern);
    await this.save();
  }

  // The program's news. `openUrls()`: the addresses the tabs show now.
  switches(message, openUrls) {
    if (!this.enabled) return this.work;
    return this.queue(async () => {
      await this.ready;
      const was = this.blocking;
      this.blocking = message.blocking === true;
      if (!this.blocking) {
        await this.clearAll();
      } else if (!was) {
        await this.save();
        await this.askAgain(await openUrls());
      }
    });
  }

  allowNextSet(set) {
    if (!this.enabled) return this.work;
    return this.queue(async () => {
      await this.ready;
      const wanted = set === true && this.blocking;
      if (wanted === this.allowNext) return;
      this.allowNext = wanted;
      if (wanted) {
        await this.set(EVERY_SITE);
        await this.save();
      } else {
        await this.rebuild();
      }
    });
  }

  // The lists changed: every origin with a rule, and every page open now, is asked again.
  listsChanged(openUrls) {
    if (!this.enabled) return this.work;
    return this.queue(async () => {
      await this.ready;
      if (!this.blocking) return;
      const urls = this.patterns.map((pattern) => pattern.slice(0, -2)).concat(await openUrls());
      await this.askAgain(urls);
    });
  }

  async askAgain(urls) {
    const seen = new Set();
    for (const url of urls) {
      const pattern = originPattern(url);
      if (!pattern || seen.has(pattern)) continue;
      seen.add(pattern);
      const allow = await this.ask(url);
      if (allow === null) return;
      await this.follow(pattern, allow);
    }
  }

  programGone() {
    if (!this.enabled) return this.work;
    return this.queue(async () => {
      await this.ready;
      this.blocking = false;
      await this.clearAll();
    });
  }

  async clearAll() {
    this.patterns = [];
    this.allowNext = false;
    await this.settings.clear({ scope: "regular" }).catch(() => {});
    await this.save();
  }
}
