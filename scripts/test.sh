#!/usr/bin/env bash
# Builds Quorvane and runs every test, then the unit tests again built with
# the address and undefined-behaviour sanitizers, then the fuzz targets.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/build.sh"
(cd "$top/build" && ctest --output-on-failure -j"$(nproc)")
"$top/scripts/test-asan.sh"
"$top/scripts/fuzz.sh"
