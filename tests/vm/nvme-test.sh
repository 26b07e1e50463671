#!/bin/bash
# nvme-test.sh PATH/TO/quorvane-cli PATH/TO/close-watch PATH/TO/smtp-sink - NVMe
# drives next to an ATA disk, through the real NVMe admin pass-through: boots
# one guest with
#
#   slot 1  /dev/sda    AHCI port 0, 256 MiB (QEMU HARDDISK)
#   slot 2  /dev/nvme0  NVMe, 1024 MiB, healthy at first
#   slot 3  /dev/nvme1  NVMe, 512 MiB, smart_critical_warning=0x04 (reliability degraded)
#
# and runs quorvane-cli scan / smart / metrics / report there next to two
# decoders nobody on the team wrote, nvme-cli (`nvme smart-log`, `id-ctrl`,
# `id-ns`) and smartctl (`-j -a`), one right after the other, so the counters
# must agree field by field (check_nvme.py prints what each one said). Some
# reads and writes on nvme0n1 first make the data units and host commands
# non-zero.
#
# Then the second way QEMU raises a critical warning: while `quorvane-cli
# watch` runs (three ticks, 3 s apart, warnings mailed to an SMTP sink on the
# guest's loopback), Set Features 04h puts nvme0's over-temperature threshold
# at 300 K, below its 323 K. The first tick shows nvme0 O.K., the later ones
# ERROR with "temperature threshold exceeded"; the first tick mails nvme1's
# warning, the second nvme0's (a drive failing anew), the third nothing (the
# repeat rule). The metrics file of the first and the last tick, and the
# peers and our reads after it, show critical warning 2.
#
# Last, the AHCI disk's own self-tests: a short and an extended one with
# `selftest 1 ... --wait` (QEMU runs a test at once and logs it), an abort
# (QEMU refuses it, and smartctl -X too), then `log 1 selftest`, `log 1 error`
# and `metrics` next to `smartctl -c -l selftest -l error` (JSON and text),
# field by field (check_selftest.py); again after 20 more tests, when the
# 21-entry log has gone round its end. The NVMe controllers offer none.
#
# QEMU fills only the critical warning, the temperature, the data units, the
# host commands and the power-on hours; the other counters stay 0 here (the
# real drives' pages in tests/data cover them).
# Exit: 0 pass, 1 fail, 77 skipped (QEMU or guest kernel not installed).
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=vm-lib.sh
. "$HERE/vm-lib.sh"

vm_init "${1:-}"
CLOSE_WATCH=${2:-}
SINK=${3:-}
if [ ! -x "$CLOSE_WATCH" ] || [ ! -x "$SINK" ]; then
    vm_die "usage: $0 PATH/TO/quorvane-cli PATH/TO/close-watch PATH/TO/smtp-sink"
fi
SRC=$(cd "$HERE/../.." && pwd)
NVME=$(command -v nvme || echo /usr/sbin/nvme)
SMARTCTL=$(command -v smartctl || echo /usr/sbin/smartctl)
[ -x "$NVME" ] || vm_die "nvme missing (apt-get install nvme-cli, or run scripts/install-deps.sh)"
[ -x "$SMARTCTL" ] || vm_die "smartctl missing (apt-get install smartmontools)"

DISK_A=$(vm_disk a 256)
DISK_N0=$(vm_disk n0 1024 --disk-id 0x0E0E0E0E)
DISK_N1=$(vm_disk n1 512 --disk-id 0x0E1E1E1E)

cat >"$VM_WORK/scan-expected.json" <<EOF
{
  "drives": [
    {"slot": 1, "device": {"name": "sda", "type": "ata", "number": 0},
     "model_name": "QEMU HARDDISK", "serial_number": "QM00005", "firmware_version": "2.5+",
     "vendor_code": null, "user_capacity": {"blocks": 524288, "bytes": 268435456}, "size_gb": 0,
     "smart_support": {"enabled": true}, "ata_lba48": true,
     "hpa": {"supported": false, "size_bytes": null, "size_mb": null}, "ata_security": {"enabled": false}},
    {"slot": 2, "device": {"name": "nvme0", "type": "nvme", "number": 0},
     "model_name": "QEMU NVMe Ctrl", "serial_number": "QVNVME0001", "firmware_version": "7.2.22",
     "vendor_code": null, "user_capacity": {"blocks": 2097152, "bytes": 1073741824}, "size_gb": 1,
     "smart_support": {"enabled": true}, "ata_lba48": null, "hpa": null, "ata_security": null},
    {"slot": 3, "device": {"name": "nvme1", "type": "nvme", "number": 1},
     "model_name": "QEMU NVMe Ctrl", "serial_number": "QVNVME0002", "firmware_version": "7.2.22",
     "vendor_code": null, "user_capacity": {"blocks": 1048576, "bytes": 536870912}, "size_gb": 0,
     "smart_support": {"enabled": true}, "ata_lba48": null, "hpa": null, "ata_security": null}
  ]
}
EOF

# The watch service's settings: the package's file, warnings mailed in plain
# SMTP to the sink, "Let Drives Sleep" on (it does not apply to NVMe drives).
sed -e 's/^SMTP Warnings=.*/SMTP Warnings=1/' -e 's/^SMTP Host=.*/SMTP Host=127.0.0.1/' \
    -e 's/^SMTP Port=.*/SMTP Port=2525/' -e 's/^SMTP Security=.*/SMTP Security=1/' \
    -e 's/^SMTP Warning Repeat=.*/SMTP Warning Repeat=60/' \
    -e 's/^Let Drives Sleep=.*/Let Drives Sleep=1/' \
    "$SRC/resources/linux/Quorvane.ini" >"$VM_WORK/Quorvane.ini"
for line in 'SMTP Warnings=1' 'SMTP Host=127.0.0.1' 'SMTP Port=2525' 'SMTP Security=1' \
            'SMTP Warning Repeat=60' 'Let Drives Sleep=1'; do
    grep -qx "$line" "$VM_WORK/Quorvane.ini" || vm_die "Quorvane.ini has no '${line%%=*}' line"
done

# Three ticks; right after the first has printed its lines and written its
# metrics file, the over-temperature threshold goes to 300 K.
cat >"$VM_WORK/watch-set-feature.sh" <<'EOF'
quorvane-cli --settings /etc/quorvane/Quorvane.ini watch --count 3 --interval 3 \
    --metrics /tmp/watch.prom >/tmp/watch.out 2>/tmp/watch.err &
pid=$!
i=0
until [ -s /tmp/watch.prom ] && [ "$(wc -l </tmp/watch.out)" -ge 3 ]; do
    i=$((i + 1))
    [ $i -le 300 ] || break
    sleep 0.1
done
cp /tmp/watch.prom /tmp/watch-1.prom
nvme set-feature /dev/nvme0 -f 4 -v 300 >/tmp/set-feature.out 2>&1
echo $? >/tmp/set-feature.rc
wait $pid
rc=$?
cat /tmp/watch.out
cat /tmp/watch.err >&2
exit $rc
EOF

WATCHED=()
watched() { # NAME COMMAND...
    local name=$1
    shift
    WATCHED+=("$name")
    vm_step "$name" close-watch "/tmp/closes-$name.log" /dev/sda /dev/nvme0 /dev/nvme1 -- "$@"
}
vm_step io sh -c 'dd if=/dev/nvme0n1 of=/dev/null bs=64k count=80 &&
    dd if=/dev/zero of=/dev/nvme0n1 bs=64k count=48 seek=100 conv=fsync && sync'
watched scan quorvane-cli scan --json
for k in 0 1; do
    vm_step n$k-ctrl nvme id-ctrl /dev/nvme$k -o json
    vm_step n$k-ns nvme id-ns /dev/nvme${k}n1 -o json
done
# The counters, read back to back by the three decoders.
vm_step n0-log nvme smart-log /dev/nvme0 -o json
vm_step n0-log-text nvme smart-log /dev/nvme0
vm_step n0-smart quorvane-cli smart 2 --json
vm_step n0-smart-dec quorvane-cli smart 2 --dec --json
vm_step n0-smart-text quorvane-cli smart 2
vm_step n0-smartctl smartctl -j -a /dev/nvme0
watched metrics quorvane-cli metrics
vm_step n0-report sh -c 'quorvane-cli report 2 /tmp/report-2.txt >/dev/null && cat /tmp/report-2.txt'
vm_step n0-error-log quorvane-cli log 2 error --json
vm_step n0-nvme-error-log nvme error-log /dev/nvme0 -o json
vm_step n1-log nvme smart-log /dev/nvme1 -o json
vm_step n1-smart quorvane-cli smart 3 --json
vm_step n1-smart-text quorvane-cli smart 3
vm_step n1-smartctl smartctl -j -a /dev/nvme1
# The monitoring tick sees Set Features 04h and mails.
vm_step lo ip link set lo up
vm_step sink sh -c 'mkdir -p /tmp/mail && smtp-sink 2525 /tmp/mail'
vm_step watch sh /etc/qvm/watch-set-feature.sh
vm_step set-feature sh -c 'cat /tmp/set-feature.out; exit "$(cat /tmp/set-feature.rc)"'
vm_step watch-1-prom cat /tmp/watch-1.prom
vm_step watch-prom cat /tmp/watch.prom
vm_step mails ls /tmp/mail
vm_step mail-1 cat /tmp/mail/mail-1.txt
vm_step mail-2 cat /tmp/mail/mail-2.txt
vm_step n0-log-hot nvme smart-log /dev/nvme0 -o json
vm_step n0-smart-hot quorvane-cli smart 2 --json
vm_step n0-smart-hot-text quorvane-cli smart 2
vm_step n0-smartctl-hot smartctl -j -a /dev/nvme0
vm_step metrics-hot quorvane-cli metrics
# Self-tests on the ATA disk: QEMU runs each test at once and logs it as
# completed without error (at 4660 h); it refuses the abort (127) and
# offers no conveyance test. Each log read is compared with smartctl's.
vm_step st-log-empty quorvane-cli log 1 selftest --json
vm_step st-peer-empty smartctl -j -c -l selftest -l error /dev/sda
vm_step st-short quorvane-cli selftest 1 short --wait
vm_step st-extended quorvane-cli selftest 1 extended --wait
vm_step st-abort-start quorvane-cli selftest 1 extended
vm_step st-abort quorvane-cli selftest 1 abort
vm_step st-abort-peer smartctl -X /dev/sda
vm_step st-conveyance quorvane-cli selftest 1 conveyance
vm_step st-log quorvane-cli log 1 selftest --json
vm_step st-log-text quorvane-cli log 1 selftest
vm_step st-error quorvane-cli log 1 error --json
vm_step st-peer smartctl -j -c -l selftest -l error /dev/sda
vm_step st-peer-text smartctl -l selftest -l error /dev/sda
vm_step st-metrics quorvane-cli metrics
# 20 more, so that the 21-entry log has gone round its end: the newest 21
# of the 23 tests, in a pattern that shows any slip of the index.
MORE=(short short extended short extended extended short short short extended
      short extended extended extended short short extended short short extended)
vm_step st-more sh -c 'for k in "$@"; do quorvane-cli selftest 1 "$k" >/dev/null || exit 1; done' \
    sh "${MORE[@]}"
vm_step st-log-wrapped quorvane-cli log 1 selftest --json
vm_step st-log-wrapped-text quorvane-cli log 1 selftest
vm_step st-error-wrapped quorvane-cli log 1 error --json
vm_step st-peer-wrapped smartctl -j -c -l selftest -l error /dev/sda
vm_step st-peer-wrapped-text smartctl -l selftest -l error /dev/sda
vm_step st-metrics-wrapped quorvane-cli metrics
# The NVMe controllers have no Device Self-test (OACS bit 4 clear).
vm_step st-nvme quorvane-cli selftest 2 short
vm_step st-nvme-log quorvane-cli log 2 selftest
vm_step closes sh -c 'for f in /tmp/closes-*.log; do n=${f#/tmp/closes-}; echo "== ${n%.log}"; cat "$f"; done'
vm_boot --ahci --disk "$DISK_A" --nvme-disk "$DISK_N0" \
    --nvme-disk "$DISK_N1,smart_critical_warning=0x04" \
    --include "$NVME:/usr/local/bin/nvme" --include "$SMARTCTL:/usr/local/bin/smartctl" \
    --include "$CLOSE_WATCH:/usr/local/bin/close-watch" --include "$SINK:/usr/local/bin/smtp-sink" \
    --include "$VM_WORK/Quorvane.ini:/etc/quorvane/Quorvane.ini" \
    --include "$VM_WORK/watch-set-feature.sh:/etc/qvm/watch-set-feature.sh"

S=$VM_WORK/steps
vm_check io "$HERE/check_same.py" --rc 0
vm_check scan "$HERE/check_scan.py" "$VM_WORK/scan-expected.json"
vm_check n0-smart "$HERE/check_nvme.py" --slot 2 --device nvme0 --warning 0x00 \
    --nvme-log "$S/n0-log" --nvme-log-text "$S/n0-log-text" --nvme-ctrl "$S/n0-ctrl" \
    --nvme-ns "$S/n0-ns" --smartctl "$S/n0-smartctl" --smart-dec "$S/n0-smart-dec" --text "$S/n0-smart-text" \
    --scan "$S/scan" --metrics "$S/metrics" --report "$S/n0-report" \
    --error-log "$S/n0-error-log" --nvme-error-log "$S/n0-nvme-error-log"
vm_check n1-smart "$HERE/check_nvme.py" --slot 3 --device nvme1 --warning 0x04 \
    --nvme-log "$S/n1-log" --nvme-ctrl "$S/n1-ctrl" --nvme-ns "$S/n1-ns" \
    --smartctl "$S/n1-smartctl" --text "$S/n1-smart-text" --scan "$S/scan" --metrics "$S/metrics"
vm_check set-feature "$HERE/check_same.py" --rc 0 --out-has "Temperature Threshold"
ATA="1  QEMU HARDDISK  0 C  O.K."
N0_OK="2  QEMU NVMe Ctrl  50 C  O.K."
N0_HOT="2  QEMU NVMe Ctrl  50 C  ERROR  temperature threshold exceeded"
N1="3  QEMU NVMe Ctrl  50 C  ERROR  reliability degraded"
vm_check watch "$HERE/check_ticks.py" --tick "$ATA|$N0_OK|$N1" --tick "$ATA|$N0_HOT|$N1" \
    --tick "$ATA|$N0_HOT|$N1" --err-count "Report sending O.K.=2"
vm_check watch-1-prom "$HERE/check_same.py" --rc 0 \
    --out-has 'smartctl_device_critical_warning{device="nvme0"} 0' \
    --out-has 'smartctl_device_smart_status{device="nvme0"} 1' \
    --out-has 'smartctl_device_critical_warning{device="nvme1"} 4' \
    --out-has 'smartctl_device_smart_status{device="nvme1"} 0'
vm_check watch-prom "$HERE/check_same.py" --rc 0 \
    --out-has 'smartctl_device_critical_warning{device="nvme0"} 2' \
    --out-has 'smartctl_device_smart_status{device="nvme0"} 0' \
    --out-has 'smartctl_device_critical_warning{device="nvme1"} 4'
vm_check mails "$HERE/check_same.py" --rc 0 --out $'mail-1.txt\nmail-2.txt'
for n in 1 2; do
    vm_check mail-$n "$HERE/check_same.py" --rc 0 --out-has "RCPT TO:<root@example.org>" \
        --out-has "QEMU NVMe Ctrl" --out-has "S.M.A.R.T.: ERROR"
done
# The first tick's mail: nvme0 still healthy; the second's: both named.
vm_check mail-1 "$HERE/check_same.py" --out-has $'QEMU NVMe Ctrl:\n\nS.M.A.R.T.: O.K.\nTemperature: 50' \
    --out-has $'S.M.A.R.T.: ERROR\nWarnings: reliability degraded\n'
vm_check mail-2 "$HERE/check_same.py" \
    --out-has $'S.M.A.R.T.: ERROR\nWarnings: temperature threshold exceeded\n' \
    --out-has $'S.M.A.R.T.: ERROR\nWarnings: reliability degraded\n'
vm_check n0-smart-hot "$HERE/check_nvme.py" --slot 2 --device nvme0 --warning 0x02 \
    --nvme-log "$S/n0-log-hot" --smartctl "$S/n0-smartctl-hot" --text "$S/n0-smart-hot-text" --metrics "$S/metrics-hot"
vm_check closes "$HERE/check_closes.py" sda nvme0 nvme1 --steps "${WATCHED[@]}"

vm_check st-log-empty "$HERE/check_selftest.py" --device sda --smartctl "$S/st-peer-empty" --kinds ""
vm_check st-short "$HERE/check_same.py" --rc 0 --out $'Slot 1: the drive started its short self-test (the drive expects 2 min)\nResult: Short offline, Completed without error, 0 % remaining, 4660 h'
vm_check st-extended "$HERE/check_same.py" --rc 0 --out $'Slot 1: the drive started its extended self-test (the drive expects 54 min)\nResult: Extended offline, Completed without error, 0 % remaining, 4660 h'
vm_check st-abort-start "$HERE/check_same.py" --rc 0 --out 'Slot 1: the drive started its extended self-test (the drive expects 54 min)'
vm_check st-abort "$HERE/check_same.py" --rc 1 --out 'Slot 1: the drive refused to abort the self-test'
vm_check st-abort-peer "$HERE/check_same.py" --rc 4 \
    --out-has 'Command "Abort SMART off-line mode self-test routine" failed: scsi error aborted command'
vm_check st-conveyance "$HERE/check_same.py" --rc 1 --out 'Slot 1: the drive offers no conveyance self-test'
vm_check st-log "$HERE/check_selftest.py" --device sda --smartctl "$S/st-peer" \
    --smartctl-text "$S/st-peer-text" --text "$S/st-log-text" --error-log "$S/st-error" \
    --metrics "$S/st-metrics" --kinds "Extended offline,Extended offline,Short offline"
RAN=(short extended extended "${MORE[@]}")
KINDS=""
for ((i = ${#RAN[@]} - 1; i >= ${#RAN[@]} - 21; i--)); do
    case ${RAN[i]} in short) KINDS+=",Short offline" ;; extended) KINDS+=",Extended offline" ;; esac
done
vm_check st-more "$HERE/check_same.py" --rc 0
vm_check st-log-wrapped "$HERE/check_selftest.py" --device sda --smartctl "$S/st-peer-wrapped" \
    --smartctl-text "$S/st-peer-wrapped-text" --text "$S/st-log-wrapped-text" \
    --error-log "$S/st-error-wrapped" --metrics "$S/st-metrics-wrapped" --kinds "${KINDS#,}"
vm_check st-nvme "$HERE/check_same.py" --rc 1 --out 'Slot 2: the drive offers no short self-test'
vm_check st-nvme-log "$HERE/check_same.py" --rc 1 \
    --err-has 'slot 2: the controller has no Device Self-test'
vm_schema scan scan
vm_schema smart n0-smart n0-smart-dec n1-smart n0-smart-hot
vm_schema log n0-error-log st-log-empty st-log st-error st-log-wrapped st-error-wrapped
vm_finish
