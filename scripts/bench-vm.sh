#!/usr/bin/env bash
# Start-up and S.M.A.R.T. read times in the QEMU guest (AHCI, one disk), next
# to smartctl in the same boot: scripts/bench-vm.sh [BUILD_DIR] [RUNS]
# Prints the median wall time of RUNS rounds (default 21) of the four commands
# taking turns, the ratios smartctl / quorvane-cli, and the file syscalls of
# one quorvane-cli smart 1 (strace -f -c). Needs what tests/vm needs plus smartmontools and strace.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-21}
cli=$build/src/quorvane-cli
[ -x "$cli" ] || cmake --build "$build" --target quorvane-cli
smartctl=$(command -v smartctl || echo /usr/sbin/smartctl)
[ -x "$smartctl" ] || { echo "bench-vm: smartctl missing (apt-get install smartmontools)" >&2; exit 1; }
strace=$(command -v strace || true)
[ -n "$strace" ] || { echo "bench-vm: strace missing (apt-get install strace)" >&2; exit 1; }

. tests/vm/vm-lib.sh
vm_init "$cli"
timer=$VM_WORK/run_times
cc -O2 -static -o "$timer" bench/run_times.c
disk=$(vm_disk a 256)

trace="strace -f -c -e trace=openat,newfstatat,stat,statx,open"
vm_step warm quorvane-cli smart 1
vm_step times run_times "$runs" quorvane-cli smart 1 -- smartctl -A -H /dev/sda \
    -- quorvane-cli --version -- smartctl -V
vm_step s_smart $trace -o /tmp/strace.txt quorvane-cli smart 1
vm_step s_smart_out cat /tmp/strace.txt
vm_boot --ahci --disk "$disk" --include "$timer:/usr/local/bin/run_times" \
    --include "$smartctl:/usr/local/bin/smartctl" --include "$strace:/usr/local/bin/strace"

steps=$VM_WORK/steps
for s in warm times; do
    [ "$(cat "$steps/$s/rc")" = 0 ] || { echo "bench-vm: step $s failed:" >&2; cat "$steps/$s/err" >&2; exit 1; }
done
echo "== QEMU guest (AHCI, TCG): wall time, median (min..max) of $runs rounds, the commands taking turns"
awk 'BEGIN { split("quorvane-cli smart 1|smartctl -A -H /dev/sda|quorvane-cli --version|smartctl -V", name, "|") }
     /^median_us/ { ++n; m[n] = $2; printf "%-26s %7.1f ms  (%.1f..%.1f)\n", name[n], $2 / 1000, $3 / 1000, $4 / 1000 }
     END { printf "smartctl -A -H / smart 1: %.2fx   smartctl -V / --version: %.2fx\n", m[2] / m[1], m[4] / m[3] }' \
    "$steps/times/out"
echo "== file syscalls of one quorvane-cli smart 1 (strace -f -c)"
awk '/calls|----|total/ || $NF ~ /^(openat|newfstatat|stat|statx|open)$/' "$steps/s_smart_out/out"
