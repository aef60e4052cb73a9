#!/usr/bin/env bash
# The layering holds whatever an include's spelling. Each case puts one include into a scratch copy
# of the tree and builds what compiles that file, natively or with the Windows toolchain (the panel
# exists only in that build); the build must fail with the layering's refusal naming the file and
# the file it reaches. The unmodified copy builds first, so a failure is the include's alone.
#   LayeringTest.sh <source folder> <font folder>
set -euo pipefail
root=$1
fonts=$2
jobs=2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# toolchain | file changed | include put after its first line | what to build | file the include reaches
# @ stands for the scratch copy's folder.
cases=(
  'native|engine/modes/TremMode.cpp|#include "../stages/AmountStage.h"|marlquin_engine_modes|engine/stages/AmountStage.h'
  'native|engine/modes/TremMode.h|#include "../../framework/core/BlockGate.h"|marlquin_engine_modes|framework/core/BlockGate.h'
  'native|engine/modes/EchoMode.cpp|#include "@/engine/stages/AmountStage.h"|marlquin_engine_modes|engine/stages/AmountStage.h'
  'native|engine/dsp/InterpolatedRead.h|#include "engine/modes/TransientMap.h"|marlquin_engine_dsp|engine/modes/TransientMap.h'
  'native|engine/dsp/HistoryRing.h|#include <unistd.h>|marlquin_engine_dsp|/usr/include/unistd.h'
  'native|plugin/state/ParamBlock.cpp|#include "../presets/PresetFiles.h"|marlquin_plugin_state|plugin/presets/PresetFiles.h'
  'windows|plugin/panel/widgets/WHitButton.cpp|#include "../../Quorrel.h"|@/plugin/panel/widgets/WHitButton.cpp^|plugin/Quorrel.h'
  'windows|plugin/panel/widgets/WHitButton.h|#include <plugin/Quorrel.h>|@/plugin/panel/widgets/WHitButton.cpp^|plugin/Quorrel.h'
)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

configure() {
  local toolchain=$1 options=()
  [ "$toolchain" = windows ] && options=(-DCMAKE_TOOLCHAIN_FILE="$scratch/cmake/mingw-w64-x86_64.cmake")
  cmake -S "$scratch" -B "$scratch/build/$toolchain" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG= \
    -DMARLQUIN_BENCH=OFF -DMARLQUIN_FONT_DIR="$fonts" "${options[@]}" >"$scratch/configure-$toolchain.log" 2>&1 \
    || { cat "$scratch/configure-$toolchain.log"; fail "the scratch copy does not configure for $toolchain"; }
}

build() {
  ninja -C "$scratch/build/$1" -j "$jobs" "${2//@/$scratch}" >"$scratch/build.log" 2>&1
}

tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$scratch" -xf -
for toolchain in native windows; do
  configure "$toolchain"
done

for case in "${cases[@]}"; do
  IFS='|' read -r toolchain file _ target _ <<<"$case"
  build "$toolchain" "$target" || { cat "$scratch/build.log"; fail "the unmodified copy does not build $target"; }
done
echo "ok: the unmodified copy builds"

for case in "${cases[@]}"; do
  IFS='|' read -r toolchain file include target reached <<<"$case"
  include=${include//@/$scratch}
  cp "$scratch/$file" "$scratch/$file.orig"
  sed -i "1a $include" "$scratch/$file"
  if build "$toolchain" "$target"; then
    fail "$file with $include built"
  fi
  grep -qF "error: layering: $file includes $reached," "$scratch/build.log" \
    || { cat "$scratch/build.log"; fail "$file with $include failed without the layering's refusal"; }
  mv "$scratch/$file.orig" "$scratch/$file"
  echo "ok: $file refused $include"
done
