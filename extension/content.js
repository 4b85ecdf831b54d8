// Tells the extension which link is under the mouse pointer: its address
// while the pointer is over a link, an empty text once it has left, as a
// browser's status bar shows it. The program lets a window opened from a
// link through when its Exceptions switch is on.
"use strict";

(() => {
  const api = globalThis.browser ?? globalThis.chrome;
  let reported = "";

  function linkAddress(target) {
    const link = target instanceof Element ? target.closest("a[href], area[href]") : null;
    if (!link) return "";
    // An SVG link's href is an animated value, not a text.
    return typeof link.href === "string" ? link.href : (link.href?.baseVal ?? "");
  }

  function report(text) {
    if (text === reported) return;
    reported = text;
    // The extension may be reloading or gone (its context invalidated);
    // nothing here depends on the answer.
    try {
      api.runtime.sendMessage({ type: "status", text }).catch(() => {});
    } catch {
      // no extension to tell
    }
  }

  const options = { capture: true, passive: true };
  document.addEventListener("mouseover", (event) => report(linkAddress(event.target)), options);
  // A touch reaches a link without passing over it; a link reached with the
  // keyboard shows its address as well.
  document.addEventListener("pointerdown", (event) => report(linkAddress(event.target)), options);
  document.addEventListener("focusin", (event) => report(linkAddress(event.target)), options);
  document.addEventListener("mouseout", (event) => {
    if (!event.relatedTarget) report("");
  }, options);
})();
