#!/usr/bin/env bash
# Runs the whole test suite: the native build (plain and with sanitizers) and the
# Windows build under Wine. Installs missing packages first, like scripts/setup.sh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
cd "$root"
"$here/setup.sh" --install-only

export WINEPREFIX=${MARLQUIN_WINEPREFIX:-$HOME/.cache/marlquin/wine}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
jobs=$(nproc)

run_preset() {
  echo "=== $1"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
  ctest --preset "$1" -j "$jobs"
}

keep_wineserver() {
  "$here/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1 || true  # one may already be running for this prefix
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
}

run_preset native
run_preset native-asan
run_preset native-tsan
run_preset native-fuzz
keep_wineserver
run_preset windows
