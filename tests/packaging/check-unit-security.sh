#!/usr/bin/env bash
# check-unit-security.sh BUILD - installs the build for the prefix /usr into a
# throw-away root and rates the two installed units, quorvane-helper.service
# and quorvane-watch.service, with `systemd-analyze security --offline`: both
# services run as root, so each must stay confined to an exposure of 3.0 or
# less ("OK"). Exit 77 (skipped) only when systemd-analyze is not installed.
set -euo pipefail
build=$1
limit=3.0
command -v systemd-analyze >/dev/null || { echo "skipped: systemd-analyze is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

DESTDIR=$work/staged cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 || {
  cat "$work/install.log"; echo "FAILED: cmake --install"; exit 1; }
failed=0
unitdir=lib/systemd/system # below the install root, whatever the prefix
for unit in quorvane-helper.service quorvane-watch.service; do
  file=$work/staged/$unitdir/$unit
  [ -f "$file" ] || { echo "FAILED: $unit is not installed in $unitdir"; failed=1; continue; }
  out=$(systemd-analyze security --offline=yes --no-pager "$file" 2>&1) || true
  score=$(sed -n "s/^→ Overall exposure level for $unit: \([0-9.]*\) .*/\1/p" <<<"$out")
  if [ -z "$score" ]; then
    echo "$out"; echo "FAILED: $unit: no exposure level"; failed=1
  elif awk -v s="$score" -v l="$limit" 'BEGIN { exit !(s > l) }'; then
    grep '✗' <<<"$out" || true
    echo "FAILED: $unit: exposure $score, above $limit"; failed=1
  else
    echo "ok: $unit: exposure $score"
  fi
done
exit $failed
