#!/usr/bin/env bash
# The S.M.A.R.T. read of an NVMe drive in the QEMU guest, next to nvme-cli and
# smartctl in the same boot: scripts/bench-vm-nvme.sh [BUILD_DIR] [RUNS]
# The guest has an AHCI disk (slot 1) and an NVMe disk (slot 2, /dev/nvme0).
# Prints the median wall time of RUNS rounds (default 41) of the commands
# taking turns (with a C hello linked dynamically and statically as the floors
# of a process start), the ratios nvme smart-log / smart 2 and smartctl -a / smart 2
# (the aim: at least 2x and 3x), then where one quorvane-cli smart 2 spends
# its start-up: the syscalls (strace -f -c) and the dynamic loader's counts
# (LD_DEBUG=statistics), with nvme-cli's for comparison.
# Needs what tests/vm needs plus nvme-cli, smartmontools and strace.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-41}
cli=$build/src/quorvane-cli
[ -x "$cli" ] || cmake --build "$build" --target quorvane-cli
need() { # NAME PACKAGE: the tool's path
    local path
    path=$(command -v "$1" || echo "/usr/sbin/$1")
    [ -x "$path" ] || { echo "bench-vm-nvme: $1 missing (apt-get install $2)" >&2; exit 1; }
    echo "$path"
}
nvme=$(need nvme nvme-cli)
smartctl=$(need smartctl smartmontools)
strace=$(need strace strace)

. tests/vm/vm-lib.sh
vm_init "$cli"
timer=$VM_WORK/run_times
cc -O2 -static -o "$timer" bench/run_times.c
# The floors of a process start in this guest: the same C program linked
# dynamically (libc) and statically.
printf '#include <stdio.h>\nint main(void) { return puts("hello") < 0; }\n' >"$VM_WORK/hello.c"
cc -O2 -o "$VM_WORK/hello-dynamic" "$VM_WORK/hello.c"
cc -O2 -static -o "$VM_WORK/hello-static" "$VM_WORK/hello.c"
ata=$(vm_disk a 256)
ssd=$(vm_disk n 1024)

vm_step warm sh -c 'quorvane-cli smart 2 && nvme smart-log /dev/nvme0 && smartctl -a /dev/nvme0'
vm_step times run_times "$runs" quorvane-cli smart 2 -- nvme smart-log /dev/nvme0 \
    -- smartctl -a /dev/nvme0 -- quorvane-cli --version -- nvme version -- hello-dynamic \
    -- hello-static
vm_step s_smart "$strace" -f -w -c -o /tmp/strace.txt quorvane-cli smart 2
vm_step s_smart_out cat /tmp/strace.txt
vm_step s_nvme "$strace" -f -w -c -o /tmp/strace-nvme.txt nvme smart-log /dev/nvme0
vm_step s_nvme_out cat /tmp/strace-nvme.txt
vm_step ld_smart env LD_DEBUG=statistics quorvane-cli smart 2
vm_step ld_nvme env LD_DEBUG=statistics nvme smart-log /dev/nvme0
vm_boot --ahci --disk "$ata" --nvme-disk "$ssd" --include "$timer:/usr/local/bin/run_times" \
    --include "$nvme:/usr/local/bin/nvme" --include "$smartctl:/usr/local/bin/smartctl" \
    --include "$strace" --include "$VM_WORK/hello-dynamic:/usr/local/bin/hello-dynamic" \
    --include "$VM_WORK/hello-static:/usr/local/bin/hello-static"

steps=$VM_WORK/steps
for s in warm times; do
    [ "$(cat "$steps/$s/rc")" = 0 ] || { echo "bench-vm-nvme: step $s failed:" >&2; cat "$steps/$s/err" >&2; exit 1; }
done
echo "== QEMU guest (AHCI + NVMe, TCG): wall time, median (min..max) of $runs rounds, the commands taking turns"
awk 'BEGIN { split("quorvane-cli smart 2|nvme smart-log /dev/nvme0|smartctl -a /dev/nvme0|quorvane-cli --version|nvme version|hello, dynamic (libc)|hello, static", name, "|") }
     /^median_us/ { ++n; m[n] = $2; printf "%-26s %7.1f ms  (%.1f..%.1f)\n", name[n], $2 / 1000, $3 / 1000, $4 / 1000 }
     END { printf "nvme smart-log / smart 2: %.2fx (aim 2x)   smartctl -a / smart 2: %.2fx (aim 3x)\n", m[2] / m[1], m[3] / m[1]
           printf "smart 2 - --version: %.1f ms   nvme smart-log - nvme version: %.1f ms\n", (m[1] - m[4]) / 1000, (m[2] - m[5]) / 1000 }' \
    "$steps/times/out"
top() { # the syscalls that took most time, and the totals
    awk '/^ *%|^-|total/ { print; next } NF >= 5 && n++ < 8' "$1"
}
echo "== syscalls of one quorvane-cli smart 2 (strace -f -w -c: wall time in each call)"
top "$steps/s_smart_out/out"
echo "== syscalls of one nvme smart-log /dev/nvme0 (strace -f -w -c)"
top "$steps/s_nvme_out/out"
echo "== dynamic loader (LD_DEBUG=statistics): quorvane-cli smart 2, then nvme smart-log"
for s in ld_smart ld_nvme; do
    grep -E 'total startup time|time needed (for relocation|to load objects)|number of relocations:' \
        "$steps/$s/err" | sed 's/^ *[0-9]*: *//' | awk '!seen[$0]++'
done
