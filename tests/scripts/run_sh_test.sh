#!/bin/sh
# scripts/run.sh tells what will happen: a display that cannot be opened, and
# one without a system tray. The desktop program is a stand-in that says it
# started; quorvane-cli is the real one. Usage: run_sh_test.sh SOURCE_DIR CLI
set -u
src=$1
cli=$2
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
xvfb=
mkdir -p "$work/scripts" "$work/build/src"
cp "$src/scripts/run.sh" "$src/scripts/display-check.py" "$work/scripts/"
ln -s "$src/samples" "$work/samples"
ln -s "$cli" "$work/build/src/quorvane-cli"
printf '#!/bin/sh\necho "desktop program started"\n' >"$work/build/src/quorvane"
chmod +x "$work/build/src/quorvane"
failed=0
check() { # name, output, text that must be there, text that must not
  case $2 in *"$3"*) ;; *) echo "FAIL $1: no '$3' in:"; echo "$2"; failed=1 ;; esac
  case $2 in *"$4"*) echo "FAIL $1: '$4' in:"; echo "$2"; failed=1 ;; esac
}

out=$(env -u WAYLAND_DISPLAY DISPLAY=:4711 "$work/scripts/run.sh" 2>&1)
check "unopenable display" "$out" "cannot be opened" "runs in the tray"
check "unopenable display" "$out" "Slot Drive Model" "desktop program started"

Xvfb :4712 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -e /tmp/.X11-unix/X4712 ] && break; sleep 0.1; done
out=$(env -u WAYLAND_DISPLAY DISPLAY=:4712 DBUS_SESSION_BUS_ADDRESS= "$work/scripts/run.sh" 2>&1)
check "display without tray" "$out" "has no system tray" "runs in the tray"
check "display without tray" "$out" "desktop program started" "Slot Drive Model"

out=$(env -u WAYLAND_DISPLAY -u DISPLAY "$work/scripts/run.sh" 2>&1)
check "no display" "$out" "No display" "desktop program started"
[ $failed = 0 ] && echo "run.sh: all cases passed"
exit $failed
