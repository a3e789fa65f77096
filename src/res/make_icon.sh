#!/usr/bin/env bash
# Draws the program's icon and writes korvane.ico beside this script: 48, 32 and 16 pixels,
# each in full colour, in 16 colours and in black and white. Needs imagemagick and icoutils;
# the build uses the committed korvane.ico and needs neither.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# A monitor with a K on its screen.
draw() {  # frame screen letter output
  convert -size 48x48 xc:none -fill "$1" -draw 'roundrectangle 3,6 44,36 4,4' \
    -fill "$2" -draw 'rectangle 7,10 40,32' -fill "$1" -draw 'rectangle 20,36 27,41' -draw 'rectangle 13,41 34,44' \
    -fill "$3" -draw 'polygon 14,13 19,13 19,19 26,13 33,13 24,21 33,29 26,29 19,23 19,29 14,29' "$4"
}
draw '#1f4e8c' '#9cc8f0' '#ffffff' colour.png
draw black white black mono.png
images=()
for s in 48 32 16; do
  convert colour.png -resize ${s}x${s} c$s.png
  convert c$s.png -colors 16 PNG8:p$s.png
  convert mono.png -resize ${s}x${s} mc$s.png
  convert mc$s.png -alpha extract -threshold 50% mask$s.png
  convert mc$s.png -background white -alpha remove -colorspace gray -threshold 60% -type bilevel PNG8:bw$s.png
  convert bw$s.png mask$s.png -alpha off -compose CopyOpacity -composite PNG8:m$s.png
  images+=(c$s.png p$s.png m$s.png)
done
icotool -c -o "$here/korvane.ico" "${images[@]}"
