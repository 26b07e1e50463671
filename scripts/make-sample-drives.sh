#!/usr/bin/env bash
# Rebuilds samples/drives/ from page files of real drives.
#   scripts/make-sample-drives.sh [PAGES_DIR]
# PAGES_DIR holds NAME.identify.bin, NAME.smart-data.bin, NAME.smart-thresholds.bin
# and NAME.smart-status.bin (4 bytes, big-endian: 1 = no threshold exceeded, 0 = exceeded)
# as split from libatasmart's blob examples; the default is tests/data/smart-pages.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
pages=${1:-$top/tests/data/smart-pages}
out=$top/samples/drives

# drive number : page name : extra drive.ini lines
drives=(
  "0:ST9160821AS--3.CLH:"
  "1:WDC_WD20EARS-00MVWB0:"
  "2:SAMSUNG_HD501LJ--CR100-12:native-max = 976977967"
  "3:Hitachi_HDS721010CLA632:"
  "5:INTEL_SSDSA2CW120G3--4PC10302:"
)

for entry in "${drives[@]}"; do
  IFS=: read -r number name extra <<<"$entry"
  dir=$out/drive$number
  mkdir -p "$dir"
  for page in identify smart-data smart-thresholds; do
    cp "$pages/$name.$page.bin" "$dir/$page.bin"
  done
  status=ok
  if [ -f "$pages/$name.smart-status.bin" ] && [ "$(od -An -tx1 "$pages/$name.smart-status.bin" | tr -d ' \n')" = 00000000 ]; then
    status=exceeded
  fi
  {
    echo "; $name"
    echo "[drive]"
    echo "status = $status"
    [ -n "$extra" ] && echo "$extra"
  } > "$dir/drive.ini"
done
# One NVMe controller, from a real drive's pages (tests/data/nvme).
nvme_name=Samsung_SSD_970_EVO_Plus_1TB--4B2QEXM7
dir=$out/drive4
mkdir -p "$dir"
for page in identify-ctrl identify-ns smart-log; do
  cp "$top/tests/data/nvme/$nvme_name/$page.bin" "$dir/$page.bin"
done
{
  echo "; $nvme_name"
  echo "[drive]"
  echo "kind = nvme"
} > "$dir/drive.ini"
echo "sample drives written to $out"
