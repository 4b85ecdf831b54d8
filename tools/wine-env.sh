# Sourced by the scripts that run Windows programs: a Wine prefix of the
# build's own (never ~/.wine), no debug noise, no dialogs.
QUELLIX_ROOT="${QUELLIX_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
export WINEPREFIX="${QUELLIX_WINEPREFIX:-$QUELLIX_ROOT/build/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No page engine and no .NET runtime: Wine must never offer to download them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# Creates the prefix once; later calls reuse it.
quellix_wine_prefix() {
  local stamp="$WINEPREFIX/.quellix-ready"
  [ -f "$stamp" ] && return 0
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  # A crashing test must fail, not wait for someone to close a dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
  touch "$stamp"
}

# Starts Xvfb on a free display unless one is given in QUELLIX_XVFB_DISPLAY;
# sets DISPLAY and QUELLIX_XVFB_PID.
quellix_start_xvfb() {
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X${n}-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    QUELLIX_XVFB_PID=$!
    local i
    for i in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    if kill -0 "$QUELLIX_XVFB_PID" 2>/dev/null; then
      export DISPLAY=":$n"
      return 0
    fi
  done
  echo "could not start Xvfb" >&2
  return 1
}

# Runs a command and passes its output and exit code on, the output through a
# file: Wine's helper processes (services, the desktop window) outlive the
# programs and would otherwise hold the caller's pipe (CTest's) open until
# they end.
quellix_through_file() {
  local out rc=0
  out="$(mktemp)"
  "$@" </dev/null >"$out" 2>&1 || rc=$?
  cat "$out"
  rm -f "$out"
  return $rc
}

# For a script's whole run (or a subshell's): Xvfb, the prefix and one
# wineserver that every Windows program it starts shares (starting Wine while
# a server shuts down stalls); the server and Xvfb end when it exits.
quellix_wine_session() {
  quellix_start_xvfb
  trap 'wineserver -k >/dev/null 2>&1 || true; kill "$QUELLIX_XVFB_PID" 2>/dev/null || true' EXIT
  quellix_wine_prefix
  wineserver -p || true  # already running for this prefix: share it
}
