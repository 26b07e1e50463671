#!/usr/bin/env bash
# Runs Quorvane: the desktop program on the real drives, or on the bundled
# sample drives when no real drive can be opened. Without a display it says
# so and prints the drive scan of quorvane-cli instead.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cli=$top/build/src/quorvane-cli
gui=$top/build/src/quorvane
if ! "$cli" scan >/dev/null 2>&1; then
  echo "No real drive could be opened; using the bundled sample drives."
  export QUORVANE_DRIVES=$top/samples/drives
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ ! -x "$gui" ]; then
  echo "No display: the desktop program 'quorvane' needs a graphical session (X11 or Wayland)."
  echo "Here is what it would watch, from 'quorvane-cli scan':"
  exec "$cli" scan
fi
echo "Quorvane runs in the tray: one temperature icon per drive. Click an icon for the"
echo "main window; choose Exit in an icon's menu to end it."
exec "$gui"
