#!/usr/bin/env bash
# Builds the core, the command-line program and the unit tests with
# AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ and runs the
# whole suite except the QEMU guest tests (label vm). Any sanitizer report
# ends the test program, so the test fails.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# The desktop program stays out: its tests need the Qt build, which would
# double the build time; its core logic runs in the core tests.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_WERROR=ON \
  -DQUORVANE_SANITIZE=ON -DQUORVANE_GUI=OFF "${launcher[@]}" >/dev/null
cmake --build build-asan -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$top/tests/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build-asan
ctest --output-on-failure -j"$(nproc)" -LE vm -E "^pkg_"
