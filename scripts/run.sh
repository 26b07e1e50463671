#!/usr/bin/env bash
# Runs Quorvane: the desktop program on the real drives, or on the bundled
# sample drives when no real drive can be opened. Without a display it says
# so and prints the drive scan of quorvane-cli instead.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cli=$top/build/src/quorvane-cli
gui=$top/build/src/quorvane
if ! "$cli" scan >/dev/null 2>&1; then
  echo "No real drive could be reached (directly or through quorvane-helper);"
  echo "using the bundled sample drives."
  export QUORVANE_DRIVES=$top/samples/drives
fi
no_display() {
  echo "$1"
  echo "Here is what it would watch, from 'quorvane-cli scan':"
  exec "$cli" scan
}
[ -x "$gui" ] || no_display "The desktop program $gui is not built (scripts/build.sh builds it)."
wayland_socket=${XDG_RUNTIME_DIR:-/nonexistent}/${WAYLAND_DISPLAY:-}
if [ -n "${WAYLAND_DISPLAY:-}" ] && [ -S "$wayland_socket" ] && [ -z "${DISPLAY:-}" ]; then
  echo "Quorvane starts on the Wayland display $WAYLAND_DISPLAY: one temperature icon per drive"
  echo "in the tray when the desktop offers one, else the main window opens."
  exec "$gui"
fi
if [ -z "${DISPLAY:-}" ]; then
  no_display "No display: the desktop program 'quorvane' needs a graphical session (X11 or Wayland)."
fi
/usr/bin/python3 "$top/scripts/display-check.py"
case $? in
0)
  echo "Quorvane runs in the tray: one temperature icon per drive. Click an icon for the"
  echo "main window; choose Exit in an icon's menu to end it."
  ;;
1)
  echo "The display $DISPLAY has no system tray: Quorvane opens its main window instead,"
  echo "and minimising it minimises it the ordinary way."
  ;;
*)
  no_display "The display $DISPLAY cannot be opened, so the desktop program cannot start."
  ;;
esac
exec "$gui"
