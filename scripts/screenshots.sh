#!/usr/bin/env bash
# Takes the panel's pictures after a Windows build
# (cmake --build build/windows --target panel_screenshot panel_golden):
# - the README's screenshots: panel-screenshot opens the built module's editor as a host does,
#   and for each side this script dumps the X window that holds the editor's pixels
#   (x-window-dump, built for this machine with the tools) for the tool to save;
# - the panel tests' golden images (front and back at scale 1 and 2): panel-golden reads the
#   frame the editor drew, the way the tests do.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
tools="$root/build/windows/plugin/tools"
export MARLQUIN_NEEDS_DISPLAY=1
# The display wine-run.sh starts when none is set.
display=${DISPLAY:-:${MARLQUIN_XVFB_DISPLAY:-97}}

dump=$(mktemp --suffix=.xwd)
trap 'rm -f "$dump"' EXIT
coproc shot { "$here/wine-run.sh" "$tools/panel-screenshot.exe" 1 "$root/docs/panel_face.png" "$root/docs/panel_back.png"; }
shot_pid=$shot_PID
# Bash drops the coprocess's descriptors when it ends: keep copies for the last lines.
exec {from_shot}<&"${shot[0]}" {to_shot}>&"${shot[1]}"
while IFS=' ' read -r word side width height <&"$from_shot"; do
  [ "$word" = capture ] || continue
  DISPLAY=$display "$tools/x-window-dump" "$width" "$height" "$dump"
  echo "$dump" >&"$to_shot"
  echo "screenshot of the $side taken"
done
wait "$shot_pid"

for side in face back; do
  for scale in 1 2; do
    "$here/wine-run.sh" "$tools/panel-golden.exe" "$side" "$scale" "$root/tests/plugin/golden/panel_${side}_${scale}x.png"
  done
done
