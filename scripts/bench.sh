#!/bin/sh
# Builds the benchmarks and prints their figures: scripts/bench.sh [BUILD_DIR]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target bench
echo "== INI files: reading time by number of sections"
"$build/bench/bench_ini"
echo "== Tray icons: CPU time, renders and hand-overs per monitoring tick"
if [ -n "${DISPLAY:-}" ]; then
    "$build/bench/bench_tray"
else
    QT_QPA_PLATFORM=offscreen "$build/bench/bench_tray"
fi
echo "== History file: six drives every 15 s for a simulated year (about three minutes)"
"$build/bench/bench_history" "${QUORVANE_HISTORY_DAYS:-365}"
