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

# RtAudio and RtMidi are built from Debian's source packages into the program, and Google Benchmark
# into the Windows benchmarks; their sources live outside the tracked tree (MARLQUIN_DEPS_DIR,
# default ~/.cache/marlquin/src).
deps_dir=${MARLQUIN_DEPS_DIR:-$HOME/.cache/marlquin/src}
source_list=/etc/apt/sources.list.d/marlquin-src.sources

add_source_entry() {
  [ -f "$source_list" ] && return 0
  local sudo="" suite
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$suite" | $sudo tee "$source_list" >/dev/null
  $sudo apt-get update
}

fetch_sources() {
  mkdir -p "$deps_dir"
  local pkg
  for pkg in rtaudio rtmidi benchmark; do
    if ! compgen -G "$deps_dir/$pkg-[0-9]*/" >/dev/null; then
      add_source_entry
      (cd "$deps_dir" && apt-get source --download-only "$pkg" && dpkg-source -x "$(ls -t ${pkg}_*.dsc | head -n1)")
    fi
  done
}

build_preset() {
  cmake --preset "$1" -S "$root" -DMARLQUIN_DEPS_DIR="$deps_dir" >/dev/null
  cmake --build --preset "$1" -j "$(nproc)"
}

install_packages
# The panel's fonts: the build embeds them and the image generator draws captions with them.
"$here/fetch-fonts.sh"
fetch_sources
[ "${1:-}" = "--install-only" ] && exit 0
build_preset windows
