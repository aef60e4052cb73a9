#!/usr/bin/env bash
# Times the engine against packaged LV2 effects doing comparable work, side by
# side in one run: 60 s of stereo 48 kHz pink noise, the whole process (file
# reading and writing included), CPU seconds (user + system). Each pair runs
# alternately RUNS times; the table shows the medians and engine / peer.
#
#   bench/compare.sh [RUNS]          (default 5)
#
# Installs the peers and sox when missing, makes the test file, builds the
# engine's render program (native preset, build/native) and prints the table.
# Only ratios from one run mean anything: absolute times depend on the machine
# and its load.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
runs=${1:-5}
work=${MARLQUIN_BENCH_DIR:-$root/build/compare}
render=$root/build/native/bench/marlquin_render
calf=http://calf.sourceforge.net/plugins

peer_packages=(calf-plugins mda-lv2 lv2file sox libsndfile1-dev pkg-config)

# Installs the peers and the render program's needs unless all are installed.
install_missing() {
  local states
  states=$(dpkg-query -W -f='${db:Status-Abbrev}\n' "${peer_packages[@]}" 2>/dev/null || true)
  [ "$(grep -c '^ii' <<<"$states")" -eq ${#peer_packages[@]} ] && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${peer_packages[@]}"
}

build_render() {
  cmake --preset native -S "$root" >/dev/null
  cmake --build "$root/build/native" --target marlquin_render -j "$(nproc)" >/dev/null
}

make_input() {
  mkdir -p "$work"
  [ -f "$work/pink.wav" ] || sox -n -r 48000 -c 2 -b 32 -e floating-point "$work/pink.wav" synth 60 pinknoise vol 0.5
}

# CPU seconds (user + system) of one command.
cpu_seconds() {
  local TIMEFORMAT='%3U %3S' t
  t=$({ time "$@" >/dev/null 2>"$work/last.err"; } 2>&1)
  awk '{printf "%.3f\n", $1 + $2}' <<<"$t"
}

median() {
  sort -g | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}

# scenario | peer name | peer plug-in and its parameters
pairs=(
  "defaults|Calf Pulsator|$calf/Pulsator"
  "trem|Calf Pulsator|$calf/Pulsator"
  "heavy-trem|Calf Tape Simulator|$calf/TapeSimulator"
  "repeat|Calf Vintage Delay|$calf/VintageDelay"
  "heavy-repeat|Calf Vintage Delay|-p feedback:0.95 $calf/VintageDelay"
  "loops|Calf Reverse Delay (amount 0.5)|-p amount:0.5 $calf/ReverseDelay"
  "echo|Calf Vintage Delay|$calf/VintageDelay"
)

install_missing
build_render
make_input

echo "Engine against packaged peers, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg), $runs runs each"
echo
echo "| scenario | engine (s) | peer | peer (s) | engine / peer | worst engine block |"
echo "|---|---|---|---|---|---|"
for pair in "${pairs[@]}"; do
  IFS='|' read -r scenario peer plugin <<<"$pair"
  engine_times=() peer_times=() worst=""
  for ((i = 0; i < runs; i++)); do
    engine_times+=("$(cpu_seconds "$render" "$scenario" "$work/pink.wav" "$work/engine.wav")")
    worst=$(sed -n 's/^worst block .*(\(.*\) of its budget)$/\1/p' "$work/last.err")
    # shellcheck disable=SC2086 # the peer's parameters are separate words
    peer_times+=("$(cpu_seconds lv2file --ignore-clipping -b 512 -i "$work/pink.wav" -o "$work/peer.wav" $plugin)")
  done
  e=$(printf '%s\n' "${engine_times[@]}" | median)
  p=$(printf '%s\n' "${peer_times[@]}" | median)
  ratio=$(awk -v e="$e" -v p="$p" 'BEGIN {printf "%.2f", e / p}')
  echo "| $scenario | $e | $peer | $p | $ratio | $worst |"
done
