#!/usr/bin/env bash
# check-maintainer-scripts.sh CONTROL_DIR - the package's prerm, postinst and
# postrm (as dpkg-deb -e unpacked them): shellcheck finds nothing, and run as
# dpkg runs them they stop the watch service and the helper before a removal
# (an upgrade leaves them running), restart them after an upgrade if they ran,
# and remove the metrics file, so no stale health stays exported.
#
# Everything happens under DPKG_ROOT in a temporary folder, with systemctl,
# deb-systemd-invoke and dbus-send replaced by programs that only log their
# arguments. With DPKG_ROOT set the scripts must not call systemd at all; to
# see what they do where systemd runs, each is also run as a copy whose
# "systemd_runs" test answers yes.
set -euo pipefail
control=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAILED: $*"; failed=1; }

for script in prerm postinst postrm; do
  [ -x "$control/$script" ] || { fail "no executable $script in the package"; continue; }
  shellcheck -s sh "$control/$script" || fail "shellcheck: $script"
done
[ $failed = 0 ] || exit 1

mkdir -p "$work/bin"
for tool in systemctl deb-systemd-invoke dbus-send; do
  printf '#!/bin/sh\necho "%s $*" >>"%s/calls"\n' "$tool" "$work" >"$work/bin/$tool"
  chmod +x "$work/bin/$tool"
done
for script in prerm postinst postrm; do
  sed 's/^systemd_runs() {.*}$/systemd_runs() { true; }/' "$control/$script" >"$work/$script-systemd"
  chmod +x "$work/$script-systemd"
  cmp -s "$control/$script" "$work/$script-systemd" && fail "$script has no systemd_runs() test"
done
[ $failed = 0 ] || exit 1

root=$work/root
metrics=$root/var/lib/prometheus/node-exporter
wants=$root/etc/systemd/system/multi-user.target.wants
# run SCRIPT ARGS...: SCRIPT (a path) on a fresh root with a metrics file, a temporary one cut
# short, another collector's file and the service's enablement link.
run() {
  local script=$1
  shift
  rm -rf "$root" "$work/calls"
  mkdir -p "$metrics" "$wants"
  echo 'smartctl_device_smart_status{device="sda"} 1' >"$metrics/quorvane.prom"
  echo 'smartctl_device_smart_status{device="sda"} 1' >"$metrics/.quorvane.prom.aB3dE5gH7jK9"
  echo 'apt_upgrades_pending 0' >"$metrics/apt.prom"
  ln -s /lib/systemd/system/quorvane-watch.service "$wants/quorvane-watch.service"
  touch "$work/calls"
  DPKG_ROOT=$root PATH="$work/bin:$PATH" "$script" "$@" ||
    fail "$script $* exited with $?"
}
calls() { tr '\n' ';' <"$work/calls"; }
expect_calls() { # what expected
  [ "$(calls)" = "$2" ] || fail "$1: calls '$(calls)', expected '$2'"
}
# expect_files WHAT kept|gone: the metrics files are still there or gone.
expect_files() {
  local what=$1 state=$2 present=0
  if [ -e "$metrics/quorvane.prom" ] || [ -e "$metrics/.quorvane.prom.aB3dE5gH7jK9" ]; then
    present=1
  fi
  case $state in
    kept) [ $present = 1 ] || fail "$what removed the metrics file" ;;
    gone) [ $present = 0 ] || fail "$what left the metrics file: $(ls -A "$metrics")" ;;
  esac
  [ -e "$metrics/apt.prom" ] || fail "$what removed another collector's file"
}
STOP="deb-systemd-invoke stop quorvane-watch.service quorvane-helper.service;"
RESTART="deb-systemd-invoke try-restart quorvane-watch.service quorvane-helper.service;"
RELOAD="systemctl daemon-reload;"

run "$work/prerm-systemd" remove
expect_calls "prerm remove" "$STOP"
expect_files "prerm remove" gone
run "$work/prerm-systemd" upgrade 0.1.0.0
expect_calls "prerm upgrade" ""
expect_files "prerm upgrade" kept
run "$work/postinst-systemd" configure ""
expect_calls "postinst configure (first install)" "$RELOAD"
run "$work/postinst-systemd" configure 0.1.0.0
expect_calls "postinst configure (upgrade)" "$RELOAD$RESTART"
expect_files "postinst configure (upgrade)" kept
run "$work/postrm-systemd" remove
expect_calls "postrm remove" "$RELOAD"
[ -L "$wants/quorvane-watch.service" ] || fail "postrm remove dropped the enablement link"
run "$work/postrm-systemd" upgrade 0.1.0.0
expect_calls "postrm upgrade" ""
expect_files "postrm upgrade" kept
run "$work/postrm-systemd" purge
expect_calls "postrm purge" "$RELOAD"
expect_files "postrm purge" gone
[ -L "$wants/quorvane-watch.service" ] && fail "postrm purge left the enablement link"

# For DPKG_ROOT (or without systemd) the scripts as packaged call nothing,
# and still remove the metrics file under DPKG_ROOT.
run "$control/prerm" remove
expect_calls "prerm remove with DPKG_ROOT" ""
expect_files "prerm remove with DPKG_ROOT" gone
run "$control/postinst" configure 0.1.0.0
expect_calls "postinst configure (upgrade) with DPKG_ROOT" ""
run "$control/postrm" purge
expect_calls "postrm purge with DPKG_ROOT" ""
expect_files "postrm purge with DPKG_ROOT" gone
[ $failed = 0 ] && echo "ok: maintainer scripts stop, restart and purge as they should"
exit $failed
