#!/usr/bin/env bash
# Runs a Windows executable under Wine with the project's prefix (scripts/wine-env.sh).
# The prefix is created once per machine and its Windows version set once; scripts/test.sh
# keeps one wineserver alive for a whole run so each executable starts in well under a second.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

ensure_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  ensure_windows_version
  flock -u 9
}

# The version the prefix reports decides which redraw clock the editor takes, so it is set
# rather than left to Wine's default; the mark keeps it to one winecfg per prefix.
ensure_windows_version() {
  local mark="$WINEPREFIX/.marlquin-windows"
  [ "$(cat "$mark" 2>/dev/null)" = "$MARLQUIN_WINDOWS" ] && return 0
  wine winecfg -v "$MARLQUIN_WINDOWS" >/dev/null 2>&1 || true
  if [ "$(wine winecfg -v 2>/dev/null | tr -d '\r')" != "$MARLQUIN_WINDOWS" ]; then
    echo "the Wine prefix $WINEPREFIX does not take the Windows version $MARLQUIN_WINDOWS" >&2
    exit 1
  fi
  echo "$MARLQUIN_WINDOWS" >"$mark"
  # Windows opened in the session that set up a new prefix fail to open; that session ends
  # first (bounded: a wineserver kept alive on purpose never ends by itself).
  timeout 60 wineserver -w || true
}

# A display whose server has gone leaves its socket and lock behind; only a live one counts.
display_alive() {
  local pid
  pid=$(tr -d ' ' 2>/dev/null <"/tmp/.X$1-lock") || return 1
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null
}

# Tests that open windows or OpenGL contexts ask for a display; start one Xvfb for them.
ensure_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n=${MARLQUIN_XVFB_DISPLAY:-97}
  exec 8>"/tmp/marlquin-xvfb-$n.lock"
  flock 8
  if ! display_alive "$n"; then
    rm -f "/tmp/.X11-unix/X$n" "/tmp/.X$n-lock"
    (Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 8>&- &)
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
  flock -u 8
  exec 8>&-
  export DISPLAY=":$n"
}

ensure_prefix
[ "${MARLQUIN_NEEDS_DISPLAY:-0}" = 1 ] && ensure_display
exec wine "$@"
