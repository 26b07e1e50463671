#!/usr/bin/env bash
# Draws the program's pictures into resources/ with ImageMagick 6
# (apt-get install imagemagick): the nine 121 x 33 vendor wordmarks in the
# order of the vendor table, the program icon and the 32 x 16 About picture.
# The wordmarks are plain type in a colour of our choosing; no vendor artwork.
set -euo pipefail
cd "$(dirname "$0")/.."
IM=/usr/bin/convert-im6.q16
[ -x "$IM" ] || IM=$(command -v magick || true)
[ -n "$IM" ] || { echo "make-images: ImageMagick is not installed" >&2; exit 1; }
BOLD=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
COND=/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf
mkdir -p resources/logos

# index  wordmark   text colour  underline colour
logos=(
  "0|SEAGATE|#1f6f3a|#63b37d"
  "1|WD|#1a3f8f|#6f93d6"
  "2|SAMSUNG|#1428a0|#8090d8"
  "3|HITACHI|#b01c22|#e07a7e"
  "4|MAXTOR|#8a1c1c|#d08a40"
  "5|FUJITSU|#c0161c|#555555"
  "6|IBM|#1f5aa6|#7fa8d8"
  "7|TOSHIBA|#d0101a|#777777"
  "8|QUANTUM|#2d2d6e|#9090c0"
)
for entry in "${logos[@]}"; do
  IFS='|' read -r index word ink line <<<"$entry"
  out=resources/logos/logo$index.png
  # Type as large as fits 113 x 24, centred above a thin rule.
  "$IM" -size 121x33 xc:none \
    \( -background none -fill "$ink" -font "$COND" -size 113x24 -gravity center label:"$word" \) \
    -gravity north -geometry +0+2 -composite \
    -fill "$line" -draw "rectangle 10,28 110,29" \
    -define png:exclude-chunks=date,time -strip "PNG32:$out.tmp"
  mv "$out.tmp" "$out"
done

# The program icon: a drive's platter under a thermometer-red frame.
icon() { # size out
  local s=$1 out=$2 m=$(( $1 / 16 )) r=$(( $1 * 7 / 16 ))
  "$IM" -size "${s}x${s}" xc:none \
    -fill '#202830' -stroke '#40c040' -strokewidth "$(( m > 0 ? m : 1 ))" \
    -draw "roundrectangle $m,$m $((s - m - 1)),$((s - m - 1)) $((2 * m + 1)),$((2 * m + 1))" \
    -fill '#9aa4ae' -stroke none -draw "circle $((s / 2)),$((s / 2)) $((s / 2)),$((s / 2 - r + m))" \
    -fill '#202830' -draw "circle $((s / 2)),$((s / 2)) $((s / 2)),$((s / 2 - s / 10))" \
    -fill '#ffe000' -font "$BOLD" -pointsize "$(( s * 5 / 16 ))" -gravity center -annotate +0+0 'Q' \
    -define png:exclude-chunks=date,time -strip "PNG32:$out.tmp"
  mv "$out.tmp" "$out"
}
icon 32 resources/quorvane-32.png
icon 64 resources/quorvane-64.png
icon 128 resources/quorvane-128.png

# FlagI: a small 32 x 16 picture beside the version: a temperature scale.
"$IM" -size 32x16 gradient:'#2060e0'-'#e03020' -rotate 90 -resize 32x16\! \
  -fill none -stroke '#000000' -draw "rectangle 0,0 31,15" \
  -define png:exclude-chunks=date,time -strip "PNG32:resources/flag.png.tmp"
mv resources/flag.png.tmp resources/flag.png
echo "make-images: resources/logos/logo0..8.png, quorvane-*.png, flag.png"
