#!/bin/bash
# scan-test.sh PATH/TO/quorvane-cli --ide|--ahci PATH/TO/close-watch - the drive scan on real
# (emulated) ATA drives: boots a Linux guest under QEMU with two disks, runs
# `quorvane-cli scan --json` there through the SG_IO backend and checks every
# field against what QEMU's drives report in IDENTIFY DEVICE.
#
#   disk A  3584 MiB, model and serial set on the QEMU side; IDE primary
#           master or AHCI port 0
#   disk B  2560 MiB, QEMU's defaults: serial QM00002 as the IDE primary
#           slave, QM00007 on AHCI port 1; a GPT disk (sgdisk) whose one
#           partition holds the FAT32 volume
#
# On AHCI, QEMU turns a data-in command sent with CK_COND into an abort, so the
# AHCI run guards the way IDENTIFY and SMART READ DATA are sent.
#
# The kernel probes the disks in parallel on either controller (on IDE too:
# sd attaches them asynchronously, and under load the slave can become
# /dev/sda), so the checks pair the drives by serial number and disk id, and
# check_slot_order.py ties each slot's MBR to the scan's drive in that slot.
#
# QEMU's drives: firmware "2.5+", LBA48 supported and enabled, S.M.A.R.T.
# enabled, no HPA (native max = size), no Security. Sizes are chosen so that
# size_gb tells the rounding apart: 3.5 GB gives 4, 2.5 GB gives 2 (halves to
# even; rounding half up would give 3, truncating 3).
#
# Then `quorvane-cli aam 1` / `apm 1`, plain and after a set: QEMU reports
# neither feature and takes SET FEATURES as a no-op.
#
# The sets, a S.M.A.R.T. read and one `watch` tick also run as root with only
# CAP_SYS_RAWIO left, as the helper's and the watch service's units run it.
# Every drive command runs under close-watch: the disks' nodes must only ever
# be closed read-only (no IN_CLOSE_WRITE, which would make udev re-probe them).
#
# More commands can join the same boot: add a vm_step before vm_boot and a
# vm_check with a checker of their own after it.
# Exit: 0 pass, 1 fail, 77 skipped (QEMU or guest kernel not installed).
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=vm-lib.sh
. "$HERE/vm-lib.sh"

vm_init "${1:-}"
CONTROLLER=${2:---ide}
CLOSE_WATCH=${3:-}
[ -x "$CLOSE_WATCH" ] || vm_die "usage: $0 PATH/TO/quorvane-cli --ide|--ahci PATH/TO/close-watch"
SRC=$(cd "$HERE/../.." && pwd)
# util-linux's setpriv, at a path of its own: busybox has a smaller one.
SETPRIV=/usr/libexec/qvm/setpriv
case $CONTROLLER in
    --ide) SERIAL_B=QM00002 ;;
    --ahci) SERIAL_B=QM00007 ;;
    *) vm_die "unknown controller $CONTROLLER (--ide or --ahci)" ;;
esac

MODEL_A="Hitachi HDS721010CLA332"
SERIAL_A="QVM-A-0001"
DISK_A=$(vm_disk a 3584 --disk-id 0x12345678)
GPT_B="0C0FFEE0-1111-4222-8333-444455556666,0BADF00D-AAAA-4BBB-8CCC-DDDDEEEEFFFF,QVM données"
DISK_B=$(vm_disk b 2560 --gpt "$GPT_B" --fat-serial 0BADF00D --label SECOND)

# The identity is IDENTIFY DEVICE's: no vendor letter for QEMU's own model
# name, no HPA (native max = size), so no HPA size either.
cat >"$VM_WORK/scan-expected.json" <<EOF
{
  "drives": [
    {"slot": 1, "device": {"name": "sda", "type": "ata", "number": 0},
     "model_name": "$MODEL_A", "serial_number": "$SERIAL_A", "firmware_version": "2.5+",
     "vendor_code": "H", "user_capacity": {"blocks": 7340032, "bytes": 3758096384}, "size_gb": 4,
     "smart_support": {"enabled": true}, "ata_lba48": true,
     "hpa": {"supported": false, "size_bytes": null, "size_mb": null}, "ata_security": {"enabled": false}},
    {"slot": 2, "device": {"name": "sdb", "type": "ata", "number": 1},
     "model_name": "QEMU HARDDISK", "serial_number": "$SERIAL_B", "firmware_version": "2.5+",
     "vendor_code": null, "user_capacity": {"blocks": 5242880, "bytes": 2684354560}, "size_gb": 2,
     "smart_support": {"enabled": true}, "ata_lba48": true,
     "hpa": {"supported": false, "size_bytes": null, "size_mb": null}, "ata_security": {"enabled": false}}
  ]
}
EOF

# The S.M.A.R.T. window of drive 1 through a real SMART RETURN STATUS, READ
# DATA and READ THRESHOLDS. QEMU's attributes are fixed: 1, 3, 4, 5, 9, 12 and
# 190 (raw 1F 00 1F 1F 00 00: airflow 31, low 31, high from byte 3 as byte 4 is
# 0), flags 0003h but 0002h for 4; there is no 194, so the vendor-coded drive
# has no drive temperature (null). Columns: id, name, value, worst, thresh,
# when_failed, flags, flags text, raw, verdict.
cat >"$VM_WORK/smart-expected.json" <<EOF
{
  "rc": 0, "slot": 1,
  "smart_status": {"passed": true, "string": "O.K."}, "warnings": [], "raw_values_format": "hex",
  "temperature": {"current": null, "airflow": 31, "airflow_lowest": 31, "airflow_highest": 31,
                  "op_limit_max": null, "critical_limit_max": null},
  "attributes": [
    [1, "Raw Read Error Rate", 100, 100, 6, "", 3, "----OF", "000000000000h", "O.K."],
    [3, "Spin Up Time", 100, 100, 0, "", 3, "----OF", "000000000010h", "O.K."],
    [4, "Start/Stop Count", 100, 100, 20, "", 2, "----O-", "000000000064h", "O.K."],
    [5, "Reallocated Sector Count", 100, 100, 36, "", 3, "----OF", "000000000000h", "O.K."],
    [9, "Power-On Hours Count", 100, 100, 0, "", 3, "----OF", "000000000001h", "O.K."],
    [12, "Power Cycle Count", 100, 100, 0, "", 3, "----OF", "000000000000h", "O.K."],
    [190, "Airflow Temperature", 69, 69, 50, "", 3, "----OF", "00001F1F001Fh", "O.K."]
  ]
}
EOF

# The MBR window of both drives through real READ SECTOR(S) EXT commands: the
# MBR (for disk B the protective MBR and the GPT) and FAT32 boot sector
# make-disk.sh wrote (mbr_expected.py).
"$VM_PYTHON" "$HERE/mbr_expected.py" "$DISK_A" 0x12345678 1234ABCD QATADISK >"$VM_WORK/mbr-a.json"
"$VM_PYTHON" "$HERE/mbr_expected.py" "$DISK_B" 0 0BADF00D SECOND "$GPT_B" >"$VM_WORK/mbr-b.json"
MBR=("$VM_WORK/mbr-a.json" "$VM_WORK/mbr-b.json")

# Every drive command runs under close-watch, which logs the inotify events
# on the disks' nodes: a node closed after an open for writing makes udev
# re-probe the disk (and spin up a drive left asleep), so there must be only
# read-only closes.
WATCHED=()
watched() { # NAME COMMAND...
    local name=$1
    shift
    WATCHED+=("$name")
    vm_step "$name" close-watch "/tmp/closes-$name.log" /dev/sda /dev/sdb -- "$@"
}
# As the services run: root with no capability but CAP_SYS_RAWIO.
RAWIO_ONLY=("$SETPRIV" --inh-caps=-all --bounding-set=-all,+sys_rawio)
watched scan quorvane-cli scan --json
watched smart quorvane-cli smart 1 --json
watched mbr1 quorvane-cli mbr 1 --json
watched mbr2 quorvane-cli mbr 2 --json
# AAM and APM through a real IDENTIFY and SET FEATURES: QEMU's drives support
# neither and take SET FEATURES as a no-op, so the reads after the sets still
# show both unsupported, and the text reads after them level bytes 0.
watched aam quorvane-cli aam 1 --json
watched apm quorvane-cli apm 1 --json
watched aam-set "${RAWIO_ONLY[@]}" quorvane-cli aam 1 --set 128 --json
watched apm-off "${RAWIO_ONLY[@]}" quorvane-cli apm 1 --off --json
# The documents leave out the level bytes of a feature the drive lacks; the
# text still shows them.
watched aam-text quorvane-cli aam 1
watched apm-text quorvane-cli apm 1
watched metrics quorvane-cli metrics
watched rawio-smart "${RAWIO_ONLY[@]}" quorvane-cli smart 1 --json
# One monitoring tick as quorvane-watch.service runs it, with the package's
# settings file and "Let Drives Sleep" on (CHECK POWER MODE first).
watched watch "${RAWIO_ONLY[@]}" quorvane-cli --settings /etc/quorvane/Quorvane.ini \
    watch --count 1 --metrics /tmp/watch.prom
vm_step watch-metrics cat /tmp/watch.prom
vm_step closes sh -c 'for f in /tmp/closes-*.log; do n=${f#/tmp/closes-}; echo "== ${n%.log}"; cat "$f"; done'
sed 's/^Let Drives Sleep=.*/Let Drives Sleep=1/' "$SRC/resources/linux/Quorvane.ini" >"$VM_WORK/Quorvane.ini"
grep -qx 'Let Drives Sleep=1' "$VM_WORK/Quorvane.ini" || vm_die "Quorvane.ini has no 'Let Drives Sleep' line"
vm_boot "$CONTROLLER" --disk "$DISK_A,model=$MODEL_A,serial=$SERIAL_A" --disk "$DISK_B" \
    --include "$CLOSE_WATCH:/usr/local/bin/close-watch" --include "/usr/bin/setpriv:$SETPRIV" \
    --include "$VM_WORK/Quorvane.ini:/etc/quorvane/Quorvane.ini"
S=$VM_WORK/steps
vm_check scan "$HERE/check_scan.py" "$VM_WORK/scan-expected.json" --any-order
vm_check smart "$HERE/check_smart.py" "$VM_WORK/smart-expected.json" "$S/scan"
vm_check mbr1 "$HERE/check_mbr.py" 1 "$S/scan" "${MBR[@]}"
vm_check mbr2 "$HERE/check_mbr.py" 2 "$S/scan" "${MBR[@]}"
vm_check aam "$HERE/check_feature.py" AAM 1 "$S/scan"
vm_check apm "$HERE/check_feature.py" APM 1 "$S/scan"
vm_check aam-set "$HERE/check_feature.py" AAM 1 "$S/scan" --set 128
vm_check apm-off "$HERE/check_feature.py" APM 1 "$S/scan" --off
vm_check aam-text "$HERE/check_feature.py" AAM 1 --text
vm_check apm-text "$HERE/check_feature.py" APM 1 --text
vm_schema scan scan
vm_schema smart smart rawio-smart
vm_schema mbr mbr1 mbr2
vm_schema aam aam aam-set
vm_schema apm apm apm-off
vm_check metrics "$HERE/check_metrics.py" "$SERIAL_A" "$SERIAL_B"
vm_check rawio-smart "$HERE/check_same.py" --like "$VM_WORK/steps/smart"
vm_check watch "$HERE/check_same.py" --rc 0 --out-has "$MODEL_A" --out-has "QEMU HARDDISK"
vm_check watch-metrics "$HERE/check_metrics.py" "$SERIAL_A" "$SERIAL_B"
vm_check closes "$HERE/check_closes.py" sda sdb --steps "${WATCHED[@]}"
# A GPT disk's MBR has no disk id: disk B's is 00000000.
vm_check scan "$HERE/check_slot_order.py" "$SERIAL_A=12345678" "$SERIAL_B=00000000"
vm_finish
