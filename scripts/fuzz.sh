#!/usr/bin/env bash
# Builds the libFuzzer targets with Clang (-fsanitize=fuzzer,address,undefined)
# in build-fuzz/ and runs each for QUORVANE_FUZZ_SECONDS (default 30) on its
# corpus, seeded from tests/data, the sample drives and disks made by the
# partitioning and file-system tools. A crash, a sanitizer report or a broken
# property fails the run; the input that did it stays in build-fuzz/findings/.
# Prints each target's executions and coverage.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${QUORVANE_FUZZ_SECONDS:-30}
jobs=${QUORVANE_FUZZ_JOBS:-$(nproc)}
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_WERROR=ON \
  -DCMAKE_CXX_COMPILER=clang++ -DQUORVANE_FUZZ=ON -DQUORVANE_TESTS=OFF -DQUORVANE_GUI=OFF \
  "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_targets

out=build-fuzz
rm -rf "$out/seeds" "$out/logs"
mkdir -p "$out/seeds" "$out/logs" "$out/findings" "$out/corpus"
/usr/bin/python3 tests/fuzz/make-seeds.py "$out/seeds"
targets=$(cd "$out/tests/fuzz" && ls fuzz_* | grep -v '\.' | sort)

run_one() {
  local t=$1
  mkdir -p "$out/corpus/$t" "$out/seeds/$t"
  # -timeout: an input that takes longer than 10 s counts as a hang.
  if "$out/tests/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$out/findings/$t-" \
      "$out/corpus/$t" "$out/seeds/$t" >"$out/logs/$t.log" 2>&1; then
    echo ok >"$out/logs/$t.status"
  else
    echo failed >"$out/logs/$t.status"
  fi
}
export -f run_one
export out seconds
printf '%s\n' $targets | xargs -P "$jobs" -I{} bash -c 'run_one {}'

failed=0
printf '%-22s %12s %8s %8s %8s  %s\n' target executions cov ft corpus result
for t in $targets; do
  log="$out/logs/$t.log"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$done_line")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$done_line")
  corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$done_line")
  status=$(cat "$out/logs/$t.status")
  printf '%-22s %12s %8s %8s %8s  %s\n' "$t" "${runs:--}" "${cov:--}" "${ft:--}" "${corp:--}" "$status"
  if [ "$status" != ok ]; then
    failed=1
    grep -E -m5 -A8 'ERROR|property broken|runtime error|Test unit written' "$log" >&2 || true
  fi
done
if [ "$failed" != 0 ]; then
  echo "fuzzing found a fault; inputs in $out/findings/, logs in $out/logs/" >&2
  exit 1
fi
