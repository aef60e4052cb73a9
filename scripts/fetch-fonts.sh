#!/usr/bin/env bash
# Puts the panel's fonts and their licences into one folder (default build/fonts):
#   Jost-Regular.ttf, Jost-Medium.ttf, Jost-SemiBold.ttf and Jost-OFL.txt from the npm package
#   @expo-google-fonts/jost 0.4.2, fetched with Debian's npm and checked against
#   scripts/jost.integrity; Roboto-Regular.ttf and Roboto-LICENSE.txt from fonts-roboto-unhinted.
# The fonts are never committed. Does nothing when the folder is complete.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
dest=${1:-$root/build/fonts}
package=@expo-google-fonts/jost@0.4.2
roboto_dir=/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF
roboto_notice=/usr/share/doc/fonts-roboto-unhinted/copyright

wanted=(Jost-Regular.ttf Jost-Medium.ttf Jost-SemiBold.ttf Jost-OFL.txt Roboto-Regular.ttf Roboto-LICENSE.txt)
complete=1
for f in "${wanted[@]}"; do [ -s "$dest/$f" ] || complete=0; done
[ $complete -eq 1 ] && exit 0

mkdir -p "$dest"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && npm pack --silent "$package" >/dev/null)
tarball=$(ls "$work"/*.tgz)
expected=$(tr -d '[:space:]' < "$here/jost.integrity")
actual="sha512-$(openssl dgst -sha512 -binary "$tarball" | base64 -w0)"
if [ "$actual" != "$expected" ]; then
  echo "fetch-fonts: $package does not match scripts/jost.integrity" >&2
  exit 1
fi

tar -xzf "$tarball" -C "$work" package/LICENSE_FONT package/400Regular/Jost_400Regular.ttf \
  package/500Medium/Jost_500Medium.ttf package/600SemiBold/Jost_600SemiBold.ttf
cp "$work/package/400Regular/Jost_400Regular.ttf" "$dest/Jost-Regular.ttf"
cp "$work/package/500Medium/Jost_500Medium.ttf" "$dest/Jost-Medium.ttf"
cp "$work/package/600SemiBold/Jost_600SemiBold.ttf" "$dest/Jost-SemiBold.ttf"
cp "$work/package/LICENSE_FONT" "$dest/Jost-OFL.txt"
cp "$roboto_dir/Roboto-Regular.ttf" "$dest/Roboto-Regular.ttf"
cat "$roboto_notice" /usr/share/common-licenses/Apache-2.0 > "$dest/Roboto-LICENSE.txt"
