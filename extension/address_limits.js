// How much of an address the extension sends and keeps. The site comes
// first in an address, so a cut keeps it.
//
// Session storage holds at most 10 MiB in all; what the worker keeps there
// stays inside it by design: at most 2048 waiting requests (a stored copy
// each, both addresses cut to STORED_ADDRESS: about 4.5 MB at worst), one key
// per open tab (its addresses cut the same: about 2 KB at worst, 1 MB for
// 500 tabs) and the blocked windows' lists within their own budget (3 MiB,
// blocked_windows.js).

// What the program is sent: as much as it keeps of a status text.
export const MAX_ADDRESS = 8192;
// What a restarted worker gets back: the site and the start of the path,
// which is what the program decides by.
export const STORED_ADDRESS = 1024;

export function cutAddress(address, most = MAX_ADDRESS) {
  return typeof address === "string" && address.length > most ? address.slice(0, most) : address;
}
