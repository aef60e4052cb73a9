#!/usr/bin/env bash
# Runs the whole test suite: the native build (plain and with sanitizers) and the
# Windows build under Wine. Installs missing packages first, like scripts/setup.sh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
cd "$root"
"$here/setup.sh" --install-only

. "$here/wine-env.sh"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
jobs=$(nproc)

run_preset() {
  echo "=== $1"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
  ctest --preset "$1" -j "$jobs"
}

end_wineserver() {
  wineserver -k >/dev/null 2>&1 || true
}

# The first program of a wineserver starts its desktop, which every later window uses: it
# starts with the display (a desktop without one fails the first DPI test after it).
keep_wineserver() {
  MARLQUIN_NEEDS_DISPLAY=1 "$here/wine-run.sh" cmd /c exit 0 >/dev/null
  wineserver -p >/dev/null 2>&1 || true  # one may already be running for this prefix
  trap end_wineserver EXIT
}

# The editor takes its redraw clock from the Windows version: the prefix of the whole run
# reports Windows 7 (a timer); the tests that open editors run again in one that reports
# Windows 10, where the editor takes the vertical-blank clock of every current Windows.
run_editor_tests_on_windows10() {
  echo "=== windows: editor tests on Windows 10 (vertical-blank clock)"
  end_wineserver
  MARLQUIN_WINDOWS=win10
  . "$here/wine-env.sh"
  keep_wineserver
  ctest --preset windows -L editor -j "$jobs"
}

run_preset native
run_preset native-asan
run_preset native-tsan
run_preset native-fuzz
keep_wineserver
run_preset windows
run_editor_tests_on_windows10
