#!/usr/bin/env bash
# The files an installed Quorvane hands to the desktop, AppStream, D-Bus,
# polkit and systemd pass those projects' own validators.
set -uo pipefail
src=$1 build=$2
res=$src/resources
failed=0
check() { # what command...
  local what=$1; shift
  if out=$("$@" 2>&1); then
    echo "ok: $what"
  else
    echo "FAILED: $what"; echo "$out"; failed=1
  fi
}
check "desktop entry" desktop-file-validate "$res/linux/quorvane.desktop"
check "AppStream metainfo" appstreamcli validate --no-net "$res/linux/org.quorvane.Quorvane.metainfo.xml"
check "icon SVG" xmllint --noout "$res/icons/quorvane.svg"
for size in 16 22 24 32 48 64 128 256; do
  got=$(file -b "$res/icons/$size/quorvane.png")
  case $got in
    *"PNG image data, $size x $size,"*) ;;
    *) echo "FAILED: icon $size: $got"; failed=1 ;;
  esac
done
policy=$res/polkit/org.quorvane.helper.policy
busconf=$res/dbus/org.quorvane.Helper1.conf
[ -f "$policy" ] && check "polkit policy" xmllint --noout \
  --dtdvalid /usr/share/polkit-1/policyconfig-1.dtd "$policy"
# Debian's busconfig.dtd predates send_destination and the other attributes
# every system.d file uses (system.conf itself fails it), so dbus-daemon, which
# refuses a file it cannot parse or whose attributes it does not know, reads
# it instead: it prints an address only once the whole configuration loaded.
bus_policy_loads() { # file
  local dir pid status
  dir=$(mktemp -d)
  printf '<busconfig><listen>unix:path=%s/socket</listen><auth>EXTERNAL</auth><include>%s</include></busconfig>\n' \
    "$dir" "$(realpath "$1")" >"$dir/bus.conf"
  xmllint --noout "$1" || { rm -rf "$dir"; return 1; }
  dbus-daemon --config-file="$dir/bus.conf" --nofork --nopidfile --print-address=1 >"$dir/address" &
  pid=$!
  for _ in $(seq 100); do
    [ -s "$dir/address" ] || ! kill -0 "$pid" 2>/dev/null && break
    sleep 0.1
  done
  grep -q "^unix:path=$dir/socket" "$dir/address"
  status=$?
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  rm -rf "$dir"
  return $status
}
[ -f "$busconf" ] && check "bus policy" bus_policy_loads "$busconf"
# systemd-analyze verify wants the units' programs to exist: check copies that
# point at the built ones.
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
for unit in quorvane-helper.service quorvane-watch.service; do
  sed -e "s#/usr/bin/quorvane-cli#$build/src/quorvane-cli#" \
      -e "s#/usr/libexec/quorvane/quorvane-helper#$build/src/quorvane-helper#" \
      "$res/systemd/$unit" >"$tmp/$unit"
  if command -v systemd-analyze >/dev/null && systemd-analyze --version >/dev/null 2>&1; then
    check "systemd unit $unit" systemd-analyze verify --man=no "$tmp/$unit"
  else
    echo "skipped: systemd unit $unit (systemd-analyze does not run here)"
  fi
done
exit $failed
