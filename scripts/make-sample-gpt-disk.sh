#!/usr/bin/env bash
# Builds samples/drives/drive1/disk.img with the real tools: the start of a
# GPT disk the size of the sample drive 1 (WD20EARS, 3,907,029,168 sectors),
# partitioned by sgdisk, with FAT16, NTFS, swap, ext4 and Btrfs volumes made
# by their mkfs tools:
#   1 BIOS boot              1 MiB
#   2 EFI System             4 MiB  FAT16 "EFI"
#   3 Microsoft basic data   4 MiB  NTFS "Windows"
#   4 Linux swap             1 MiB
#   5 Linux filesystem       2 MiB  ext4 "boot", legacy BIOS bootable
#   6 Linux root x86-64    200 GiB  Btrfs "debian"
#   7 Linux home           the rest, named "Persönliche Dateien"
#   scripts/make-sample-gpt-disk.sh [OUTPUT]
# disk.img keeps the disk up to the Btrfs superblock (64 KiB into partition
# 6); the simulated drive aborts reads beyond it, so partition 7 shows its
# type and name only and the backup header is not there (the primary is
# used).
set -euo pipefail
export PATH=$PATH:/usr/sbin:/sbin
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/samples/drives/drive1/disk.img}

disk_sectors=3907029168
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
truncate -s $((disk_sectors * 512)) "$work/disk"
sgdisk -U 5EC7A2D1-4B9F-4E3A-9C61-2F0D8B7E6A15 \
  -n 1:2048:4095 -t 1:ef02 -c 1:"BIOS boot partition" -u 1:1A1A1A1A-0001-4000-8000-000000000001 \
  -n 2:4096:12287 -t 2:ef00 -c 2:"EFI system partition" -u 2:1A1A1A1A-0002-4000-8000-000000000002 \
  -n 3:12288:20479 -t 3:0700 -c 3:"Basic data partition" -u 3:1A1A1A1A-0003-4000-8000-000000000003 \
  -n 4:20480:22527 -t 4:8200 -c 4:"swap" -u 4:1A1A1A1A-0004-4000-8000-000000000004 \
  -n 5:22528:26623 -t 5:8300 -c 5:"boot" -A 5:set:2 -u 5:1A1A1A1A-0005-4000-8000-000000000005 \
  -n 6:26624:+200G -t 6:8304 -c 6:"root" -u 6:1A1A1A1A-0006-4000-8000-000000000006 \
  -n 7:0:0 -t 7:8302 -c 7:"Persönliche Dateien" -u 7:1A1A1A1A-0007-4000-8000-000000000007 \
  "$work/disk" >/dev/null

fs() { # NAME SECTORS START COPY_SECTORS COMMAND... ({} is the file)
  local name=$1 sectors=$2 start=$3 copy=$4
  shift 4
  truncate -s $((sectors * 512)) "$work/$name"
  "${@//\{\}/$work/$name}" >/dev/null 2>&1
  dd if="$work/$name" of="$work/disk" bs=512 seek="$start" count="$copy" conv=notrunc status=none
}
fs efi 8192 4096 8192 mkfs.fat -F 16 -s 1 -i 5EF10016 -n EFI {}
fs ntfs 8192 12288 8192 sh -c "mkntfs -F -Q -q -c 4096 -L Windows {} && ntfslabel -q --new-serial=0D1E2F3A4B5C6D7E {}"

fs swap 2048 20480 2048 mkswap -L swap -U 2c4e6a8b-0d1f-4a3c-9e5b-7d9f1b3d5f70 {}
fs ext4 4096 22528 4096 mkfs.ext4 -q -L boot -U 6b8d0f21-4365-4a7b-8c9d-e0f1a2b3c4d5 {}
fs btrfs 262144 26624 130 mkfs.btrfs -q -L debian -U 3f5a7c9e-1b2d-4f60-8a9b-c0d1e2f3a4b5 {}

keep_sectors=$((26624 + 130))
mkdir -p "$(dirname "$out")"
head -c $((keep_sectors * 512)) "$work/disk" >"$out.tmp.$$"
mv "$out.tmp.$$" "$out"
echo "sample GPT disk written to $out ($((keep_sectors / 2048)) MiB of a $((disk_sectors / 2097152)) GiB disk)"
