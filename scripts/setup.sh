#!/usr/bin/env bash
# Installs every Debian package the project needs (when missing) and builds the
# deliverables: build/windows/Marlquin.exe and build/windows/Marlquin.vst3.
# Idempotent: a second run installs nothing and rebuilds only what changed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")

install_packages() {
  local wanted missing=()
  mapfile -t wanted < <(grep -v -E '^\s*(#|$)' "$here/packages.txt")
  local line p command
  for line in "${wanted[@]}"; do
    read -r p command <<<"$line"
    [ -n "$command" ] && command -v "$command" >/dev/null 2>&1 && continue
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

build_preset() {
  cmake --preset "$1" -S "$root" >/dev/null
  cmake --build --preset "$1" -j "$(nproc)"
}

install_packages
# The panel's fonts: the build embeds them and the image generator draws captions with them.
"$here/fetch-fonts.sh"
[ "${1:-}" = "--install-only" ] && exit 0
build_preset windows
