// What only the page's user can do, seen from inside the page and told to
// the extension's worker. Only trusted events count: a page's script cannot
// make them (it can dispatch look-alikes, and `element.focus()` fires a
// trusted focusin, so focus counts only right after a trusted Tab key).
// - The link under the pointer (its address while the pointer is over it,
//   an empty text once it has left, the page is hidden or left), as a
//   browser's status bar shows it: with the program's Exceptions switch on
//   it lets through a window this tab opens to that very address.
// - A press that opens a link in a new tab (middle button, Ctrl/Cmd or Shift
//   with a click, modifier+Enter) or the context menu on a link: a grant of
//   one new tab at the link's address, told again after the page's own
//   handlers have run (search and social sites rewrite links as they are
//   pressed).
// - The first input in the page (the user works in it), and the first after
//   a context menu (which ends the menu's grant).
// - Where a press's default action takes this tab: the link's address, or a
//   form's action for its submit button or Enter in its field ("follows",
//   told before and after the page's handlers): a navigation there is the
//   user's, not the page's sending its tab elsewhere.
"use strict";

(() => {
  const api = globalThis.browser ?? globalThis.chrome;
  const runs = () => {
    try {
      return Boolean(api.runtime?.id);
    } catch {
      return false;
    }
  };
  // Put into open pages again when the extension is installed or updated:
  // one live copy per page (an old version's copy is cut off from the worker).
  if (globalThis.quellixContentRuns?.()) return;
  globalThis.quellixContentRuns = runs;

  const HTML = "http://www.w3.org/1999/xhtml";
  const SVG = "http://www.w3.org/2000/svg";

  function send(message) {
    // The extension may be reloading or gone; nothing here waits on it.
    try {
      api.runtime.sendMessage(message).catch(() => {});
    } catch {
      // no extension to tell
    }
  }

  // The link the event happened on, inside shadow trees too.
  function linkOf(event) {
    for (const node of event.composedPath()) {
      if (!(node instanceof Element)) continue;
      const html = node.namespaceURI === HTML && (node.localName === "a" || node.localName === "area");
      const svg = node.namespaceURI === SVG && node.localName === "a";
      if ((html || svg) && (node.hasAttribute("href") || node.hasAttributeNS("http://www.w3.org/1999/xlink", "href")))
        return node;
    }
    return null;
  }

  function addressOf(link) {
    if (!link) return "";
    if (typeof link.href === "string") return link.href;
    // An SVG link's href is an animated value, relative to the document.
    try {
      return new URL(link.href?.baseVal ?? "", document.baseURI).href;
    } catch {
      return "";
    }
  }

  let reported = "";
  function report(text) {
    if (text === reported) return;
    reported = text;
    send({ type: "status", text });
  }

  let tabKeyPressed = false;
  let heardInput = false;
  let menuGranted = false;
  let presses = 0;
  const pageKey = `${Math.random().toString(36).slice(2)}-`;
  let press = null; // {id, link} of the button press under way

  function input() {
    if (heardInput && !menuGranted) return;
    heardInput = true;
    menuGranted = false;
    send({ type: "input" });
  }

  function grant(id, kind, link) {
    const before = addressOf(link);
    if (before) send({ type: "grant", press: id, kind, url: before });
    setTimeout(() => {
      const after = addressOf(link);
      if (after && after !== before) send({ type: "grant", press: id, kind, url: after });
    }, 0);
  }

  function follows(url, form) {
    if (url) send({ type: "follows", url, form });
  }

  // The form a press submits, and the address it goes to.
  function submitted(event) {
    const control = event.composedPath().find((node) => node instanceof Element && node.form instanceof HTMLFormElement);
    if (!control) return null;
    const type = control.type;
    if (event.type === "keydown") return control.localName === "input" ? control.form.action : null;
    const submits = (control.localName === "button" && type === "submit") ||
      (control.localName === "input" && (type === "submit" || type === "image"));
    return submits && control.hasAttribute("formaction") ? control.formAction : submits ? control.form.action : null;
  }

  function followsPress(event) {
    const link = linkOf(event);
    if (!link) {
      follows(submitted(event), true);
      return;
    }
    const before = addressOf(link);
    follows(before, false);
    setTimeout(() => {
      const after = addressOf(link);
      if (after !== before) follows(after, false);
    }, 0);
  }

  const opensNewTab = (event) =>
    event.button === 1 || (event.button === 0 && (event.ctrlKey || event.metaKey || event.shiftKey));

  const options = { capture: true, passive: true };
  addEventListener("mouseover", (event) => {
    if (event.isTrusted) report(addressOf(linkOf(event)));
  }, options);
  addEventListener("mouseout", (event) => {
    if (!event.relatedTarget) report("");
  }, options);
  addEventListener("pointerdown", (event) => {
    // A touch reaches a link without passing over it.
    if (event.isTrusted) report(addressOf(linkOf(event)));
  }, options);
  addEventListener("focusin", (event) => {
    if (!event.isTrusted || !tabKeyPressed) return;
    tabKeyPressed = false;
    report(addressOf(linkOf(event)));
  }, options);
  addEventListener("pagehide", () => report(""), options);
  document.addEventListener("visibilitychange", () => {
    if (document.hidden) report("");
  }, options);

  addEventListener("mousedown", (event) => {
    if (!event.isTrusted) return;
    input();
    const link = linkOf(event);
    press = link && opensNewTab(event) ? { id: `${pageKey}${++presses}`, link } : null;
    if (press) grant(press.id, "press", link);
  }, options);
  addEventListener("click", (event) => {
    if (event.isTrusted && event.button === 0) followsPress(event);
  }, options);
  for (const type of ["auxclick", "click"]) {
    addEventListener(type, (event) => {
      if (!event.isTrusted || !opensNewTab(event)) return;
      const link = linkOf(event);
      if (!link) return;
      // The same press told again, with the address its link has by now.
      const id = press?.link === link ? press.id : `${pageKey}${++presses}`;
      press = null;
      grant(id, "press", link);
    }, options);
  }
  addEventListener("keydown", (event) => {
    if (!event.isTrusted) return;
    input();
    tabKeyPressed = event.key === "Tab";
    if (event.key === "Enter") follows(submitted(event), true);
    const link = event.key === "Enter" && (event.ctrlKey || event.metaKey || event.shiftKey) ? linkOf(event) : null;
    // Enter makes a click on the link, the same press.
    press = link ? { id: `${pageKey}${++presses}`, link } : null;
    if (press) grant(press.id, "press", link);
  }, options);
  addEventListener("contextmenu", (event) => {
    if (!event.isTrusted) return;
    const link = linkOf(event);
    if (!link) return;
    grant(`${pageKey}${++presses}`, "menu", link);
    menuGranted = true;
  }, options);

  api.runtime.onMessage.addListener((message, sender, respond) => {
    if (message?.type !== "quellixPing" || sender.id !== api.runtime.id) return undefined;
    respond(true);
    return undefined;
  });
  if (window === window.top) send({ type: "hello" });
})();
