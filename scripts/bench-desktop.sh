#!/usr/bin/env bash
# The desktop program next to a bare Qt 6 program with six tray icons
# (bench/bare_tray.cpp), both under one private Xvfb with a real tray
# (trayer, as tools/xshot starts it): scripts/bench-desktop.sh [BUILD_DIR] [STARTS] [IDLE_SECONDS]
# For each program: the median time from start to six exposed tray icons over
# STARTS starts (default 7, the two programs taking turns), then in one more
# run its resident set and the CPU time of all its threads per 15 s tick over
# IDLE_SECONDS (default 60) of idling, as the mean and the median of its 15 s
# windows (the median leaves out a one-time cost such as the first write of a
# new history file); and the same of the bare program woken by an empty 15 s
# timer, the floor of any tick. The desktop program reads the six
# simulated drives of samples/drives (copies: five ATA drives and an NVMe
# controller, each its own drive) with the default settings, so it monitors
# them every 15 s.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
starts=${2:-7}
idle=${3:-60}
for tool in Xvfb trayer; do
    command -v $tool >/dev/null || { echo "bench-desktop: $tool missing (scripts/install-deps.sh)" >&2; exit 1; }
done
cmake --build "$build" --target quorvane bench_bare_tray bench_tray_start >/dev/null

work=$(mktemp -d)
xpid="" tpid=""
cleanup() {
    [ -n "$tpid" ] && kill "$tpid" 2>/dev/null
    [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Six drives, every one with its tray icon (the default).
for n in 0 1 2 3 4 5; do
    cp -r samples/drives/drive$n "$work/drive$n"
done
# A home of its own: no settings file, no autostart entry, its own lock.
mkdir -p "$work/home" "$work/run"
chmod 700 "$work/run"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run
export QUORVANE_DRIVES=$work QUORVANE_SETTINGS=$work/home/Quorvane.ini
# No session bus: both programs take the X tray directly.
unset DBUS_SESSION_BUS_ADDRESS
export QT_QPA_PLATFORM=xcb

disp=""
for n in $(seq 150 199); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || { disp=":$n"; break; }
done
[ -n "$disp" ] || { echo "bench-desktop: no free display" >&2; exit 1; }
Xvfb "$disp" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${disp#:}" ] && break; sleep 0.1; done
export DISPLAY=$disp
trayer --edge top --align right --widthtype request --height 24 --transparent false --tint 0xdddddd \
    >/dev/null 2>&1 &
tpid=$!
sleep 1

bare=$build/bench/bench_bare_tray
desk=${QUORVANE_DESKTOP:-$build/src/quorvane} # another build of the program to compare
measure=$build/bench/bench_tray_start
: >"$work/bare.start"
: >"$work/desk.start"
for _ in $(seq "$starts"); do
    "$measure" --idle 0 -- "$bare" | sed -n 's/^start_ms //p' >>"$work/bare.start"
    "$measure" --idle 0 -- "$desk" | sed -n 's/^start_ms //p' >>"$work/desk.start"
done
"$measure" --idle "$idle" -- "$bare" >"$work/bare.idle"
"$measure" --idle "$idle" -- "$bare" --timer >"$work/timer.idle"
"$measure" --idle "$idle" -- "$desk" >"$work/desk.idle"

median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
field() { sed -n "s/^$2 //p" "$1"; }
[ "$(wc -l <"$work/bare.start")" = "$starts" ] && [ "$(wc -l <"$work/desk.start")" = "$starts" ] ||
    { echo "bench-desktop: some starts showed no six icons" >&2; exit 1; }
bs=$(median "$work/bare.start") ds=$(median "$work/desk.start")
br=$(field "$work/bare.idle" rss_kb) dr=$(field "$work/desk.idle" rss_kb)
bc=$(field "$work/bare.idle" cpu_ms_tick) dc=$(field "$work/desk.idle" cpu_ms_tick)
tc=$(field "$work/timer.idle" cpu_ms_tick)
bm=$(field "$work/bare.idle" cpu_ms_tick_median) dm=$(field "$work/desk.idle" cpu_ms_tick_median)
tm=$(field "$work/timer.idle" cpu_ms_tick_median)
echo "== Xvfb + trayer: quorvane vs a bare Qt program with six tray icons"
awk -v bs="$bs" -v ds="$ds" -v br="$br" -v dr="$dr" -v bc="$bc" -v dc="$dc" -v tc="$tc" -v bm="$bm" -v dm="$dm" -v tm="$tm" -v n="$starts" '
# A window in which the bare program used no measurable CPU has no ratio.
function cpu(what, ours, theirs) {
    if (theirs > 0)
        printf "%-34s %7.3f ms %7.3f ms %6.2fx\n", what, ours, theirs, ours / theirs
    else
        printf "%-34s %7.3f ms %7.3f ms %7s\n", what, ours, theirs, "-"
}
BEGIN {
    printf "%-34s %10s %10s %7s\n", "", "quorvane", "bare", "ratio"
    printf "%-34s %7.1f MB %7.1f MB %6.2fx\n", "RSS", dr / 1024, br / 1024, dr / br
    printf "%-34s %7.1f ms %7.1f ms %6.2fx\n", "start to six icons (median of " n ")", ds, bs, ds / bs
    cpu("CPU per idle 15 s tick, mean", dc, bc)
    cpu("  median tick", dm, bm)
    # The bare program woken every 15 s to do nothing: what any tick costs.
    cpu("  mean against bare + empty timer", dc, tc)
    cpu("  median against bare + empty timer", dm, tm)
}'
