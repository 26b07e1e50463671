#!/usr/bin/env bash
# Runs Quorvane on the real drives, or on the bundled sample drives when no
# real drive can be opened.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cli=$top/build/src/quorvane-cli
if ! "$cli" scan 2>/dev/null; then
  echo "No real drive could be opened; showing the bundled sample drives."
  "$cli" --drives "$top/samples/drives" scan
fi
