#!/bin/bash
# make-disk.sh - create a raw disk image with a real MBR and one FAT32
# partition, without loop devices: the filesystem is made in a separate file
# and copied into the image at the partition offset.
#
# Usage: make-disk.sh IMG [--size-mib N] [--disk-id 0xXXXXXXXX]
#                         [--fat-serial XXXXXXXX] [--label NAME] [--active]
#                         [--gpt DISK-GUID,PART-GUID,NAME]
# --gpt: a GUID partition table (sgdisk) instead, with the one partition
# (type Microsoft basic data, the GUIDs and name given) from sector 2048 to
# the last usable sector, 34 before the end.
# Defaults: 64 MiB, disk id 0x12345678, FAT serial 1234ABCD, label QATADISK,
# partition type 0x0c (FAT32 LBA) from sector 2048 to the end, not active.
# Prints a one-line summary: IMG size sectors disk-id part-start part-sectors
# fat-serial label
set -euo pipefail

die() { echo "make-disk: $*" >&2; exit 1; }

IMG=""
SIZE_MIB=64
DISK_ID=0x12345678
FAT_SERIAL=1234ABCD
LABEL=QATADISK
ACTIVE=0
START=2048
GPT=""

while [ $# -gt 0 ]; do
    case "$1" in
        --size-mib) SIZE_MIB=$2; shift 2 ;;
        --disk-id) DISK_ID=$2; shift 2 ;;
        --fat-serial) FAT_SERIAL=$2; shift 2 ;;
        --label) LABEL=$2; shift 2 ;;
        --active) ACTIVE=1; shift ;;
        --gpt) GPT=$2; shift 2 ;;
        -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
        -*) die "unknown option $1" ;;
        *) [ -z "$IMG" ] || die "only one image"; IMG=$1; shift ;;
    esac
done
[ -n "$IMG" ] || die "usage: make-disk.sh IMG [options]"
command -v sfdisk >/dev/null || die "sfdisk missing: apt-get install fdisk"
command -v mkfs.fat >/dev/null || die "mkfs.fat missing: apt-get install dosfstools"
# FAT32 needs at least 65525 clusters; with 512-byte clusters that is ~33 MiB.
[ "$SIZE_MIB" -ge 40 ] || die "--size-mib must be >= 40 for FAT32"
[[ $FAT_SERIAL =~ ^[0-9A-Fa-f]{1,8}$ ]] || die "--fat-serial must be up to 8 hex digits"
[ ${#LABEL} -le 11 ] || die "--label is at most 11 characters"

TOTAL=$((SIZE_MIB * 2048))          # 512-byte sectors
PSECTORS=$((TOTAL - START))

rm -f "$IMG"
truncate -s $((TOTAL * 512)) "$IMG"
if [ -n "$GPT" ]; then
    command -v sgdisk >/dev/null || die "sgdisk missing: apt-get install gdisk"
    IFS=, read -r GPT_DISK GPT_PART GPT_NAME <<< "$GPT"
    PSECTORS=$((TOTAL - 34 - START))
    sgdisk -U "$GPT_DISK" -n 1:$START:$((START + PSECTORS - 1)) -t 1:0700 -u 1:"$GPT_PART" \
        -c 1:"$GPT_NAME" "$IMG" >/dev/null || die "sgdisk failed"
else
    BOOTFLAG=""
    [ $ACTIVE = 1 ] && BOOTFLAG=", bootable"
    sfdisk --quiet --no-reread --no-tell-kernel "$IMG" >/dev/null <<EOF
label: dos
label-id: $DISK_ID
unit: sectors

start=$START, size=$PSECTORS, type=c$BOOTFLAG
EOF
fi

FS=$(mktemp "${TMPDIR:-/tmp}/qemu-ata-fat.XXXXXX")
trap 'rm -f "$FS"' EXIT
truncate -s $((PSECTORS * 512)) "$FS"
# -h: hidden sectors = partition start (stored in the BPB, as a real
# partitioning tool would); -s 1: 512-byte clusters so small images are FAT32.
mkfs.fat -F 32 -s 1 -h $START -i "$FAT_SERIAL" -n "$LABEL" "$FS" >/dev/null
dd if="$FS" of="$IMG" bs=1M seek=$((START * 512)) oflag=seek_bytes conv=notrunc,sparse status=none

printf '%s size=%d sectors=%d disk-id=0x%08x part-start=%d part-sectors=%d fat-serial=%s label=%s\n' \
    "$IMG" $((TOTAL * 512)) $TOTAL $((DISK_ID)) $START $PSECTORS \
    "$(echo "$FAT_SERIAL" | tr a-f A-F)" "$LABEL"
