#!/usr/bin/env bash
# Takes the panel's pictures with the project's screenshot tool (front and back at scale 1 and 2)
# and stores them as the panel tests' golden images and the README's screenshots.
# Needs the Windows build (cmake --build build/windows --target panel_screenshot).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
tool="$root/build/windows/plugin/tools/panel-screenshot.exe"
export MARLQUIN_NEEDS_DISPLAY=1
for side in face back; do
  for scale in 1 2; do
    "$here/wine-run.sh" "$tool" "$side" "$scale" "$root/tests/plugin/golden/panel_${side}_${scale}x.png"
  done
  cp "$root/tests/plugin/golden/panel_${side}_1x.png" "$root/docs/panel_${side}.png"
done
