#!/usr/bin/env bash
# Builds samples/drives/drive0/disk.img with the real tools: the start of a
# disk the size of the sample drive (ST9160821AS, 312,581,808 sectors) with
# an MBR made by sfdisk, a 4 MiB NTFS volume (mkntfs, active, slot 1) and a
# 64 GiB FAT32 volume (mkfs.fat, slot 2).
#   scripts/make-sample-disk.sh [OUTPUT]
# The disk is put together in a sparse file; disk.img keeps its first 6 MiB:
# the MBR, the whole NTFS volume and the FAT32 volume's reserved sectors and
# the head of its first FAT. The simulated drive answers reads beyond the
# image with an abort.
set -euo pipefail
export PATH=$PATH:/usr/sbin:/sbin
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/samples/drives/drive0/disk.img}

disk_sectors=312581808
ntfs_start=2048
ntfs_sectors=8192 # 4 MiB
fat_start=10240
fat_sectors=134217728 # 64 GiB
keep_bytes=$(((fat_start + 2048) * 512))

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

truncate -s $((disk_sectors * 512)) "$work/disk"
sfdisk -q "$work/disk" <<EOF
label: dos
label-id: 0x5A3C9E17
unit: sectors
start=$ntfs_start, size=$ntfs_sectors, type=7, bootable
start=$fat_start, size=$fat_sectors, type=c
EOF

truncate -s $((ntfs_sectors * 512)) "$work/ntfs"
mkntfs -F -Q -q -c 4096 -s 512 -p $ntfs_start -H 255 -S 63 -L System "$work/ntfs" >/dev/null 2>&1
ntfslabel -q --new-serial=51F3C0D86BA14E2F "$work/ntfs" >/dev/null

truncate -s $((fat_sectors * 512)) "$work/fat"
mkfs.fat -F 32 -s 64 -h $fat_start -i 1C2D3E4F -n DATA "$work/fat" >/dev/null

dd if="$work/ntfs" of="$work/disk" bs=512 seek=$ntfs_start conv=notrunc status=none
# Only the part of the FAT32 volume that disk.img keeps.
dd if="$work/fat" of="$work/disk" bs=512 seek=$fat_start count=2048 conv=notrunc status=none

mkdir -p "$(dirname "$out")"
head -c $keep_bytes "$work/disk" >"$out.tmp.$$"
mv "$out.tmp.$$" "$out"
echo "sample disk written to $out ($((keep_bytes / 1048576)) MiB of a $((disk_sectors / 2097152)) GiB disk)"
