#!/usr/bin/env bash
# Draws the program's menu icon as SVG (resources/icons/quorvane.svg) and
# renders the hicolor sizes from it with rsvg-convert (Debian librsvg2-bin):
# a drive's platter with the "Q" under a green health frame, as in the tray.
set -euo pipefail
cd "$(dirname "$0")/.."
out=resources/icons
mkdir -p "$out"
cat >"$out/quorvane.svg.tmp" <<'SVG'
<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <title>Quorvane</title>
  <rect x="16" y="16" width="224" height="224" rx="36" ry="36"
        fill="#202830" stroke="#40c040" stroke-width="16"/>
  <circle cx="128" cy="128" r="84" fill="#9aa4ae"/>
  <circle cx="128" cy="128" r="70" fill="none" stroke="#b4bcc4" stroke-width="3"/>
  <circle cx="128" cy="128" r="56" fill="none" stroke="#b4bcc4" stroke-width="3"/>
  <circle cx="128" cy="128" r="40" fill="#202830"/>
  <path d="M128 92 a36 36 0 1 0 0.01 0 Z M128 108 a20 20 0 1 1 -0.01 0 Z"
        fill="#ffe000" fill-rule="evenodd"/>
  <path d="M136 136 L166 170" stroke="#ffe000" stroke-width="14" stroke-linecap="round"/>
</svg>
SVG
mv "$out/quorvane.svg.tmp" "$out/quorvane.svg"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "$out/$size"
  rsvg-convert -w "$size" -h "$size" "$out/quorvane.svg" -o "$out/$size/quorvane.png.tmp"
  mv "$out/$size/quorvane.png.tmp" "$out/$size/quorvane.png"
done
echo "make-app-icon: $out/quorvane.svg and $out/{16..256}/quorvane.png"
