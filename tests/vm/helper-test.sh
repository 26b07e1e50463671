#!/bin/bash
# helper-test.sh PATH/TO/quorvane-cli PATH/TO/quorvane-helper PATH/TO/close-watch - the privileged
# path on real (emulated) ATA drives: the guest runs a system bus
# (dbus-daemon with the project's bus policy and activation file) and the real
# polkitd with the project's actions; quorvane-cli runs as an unprivileged
# user and reaches the disks only through quorvane-helper, which the bus
# starts as root.
#
# The guest has no login sessions, so polkit's defaults give an unprivileged
# user nothing without an administrator's password (allow_any). A rules file
# grants read-smart to the user nobody alone: nobody's scan and S.M.A.R.T.
# read must print exactly what root's direct ones print, another user's scan
# finds nothing, and nobody's MBR read (read-sectors, not granted) fails.
#
# The bus starts the helper as root with no capability but CAP_SYS_RAWIO, as
# quorvane-helper.service does, and the helped commands run under close-watch:
# the helper must close the disk's node read-only (no IN_CLOSE_WRITE, which
# would make udev re-probe the disk), so a user cannot wake a sleeping drive.
# Exit: 0 pass, 1 fail, 77 skipped (QEMU or guest kernel not installed).
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SRC=$(cd "$HERE/../.." && pwd)
# shellcheck source=vm-lib.sh
. "$HERE/vm-lib.sh"

vm_init "${1:-}"
HELPER=${2:-}
CLOSE_WATCH=${3:-}
[ -x "$HELPER" ] && [ -x "$CLOSE_WATCH" ] ||
    vm_die "usage: $0 PATH/TO/quorvane-cli PATH/TO/quorvane-helper PATH/TO/close-watch"
POLKITD=/usr/lib/polkit-1/polkitd
for tool in /usr/bin/dbus-daemon /usr/bin/setpriv "$POLKITD"; do
    [ -x "$tool" ] || vm_die "$tool missing (run scripts/install-deps.sh)"
done

DISK_A=$(vm_disk a 3584 --disk-id 0x12345678)

# The guest's files: users, the bus, its services, polkit's actions and rules.
ROOT=$VM_WORK/root
GUEST_HELPER=/usr/libexec/quorvane/quorvane-helper
# util-linux's setpriv, at a path of its own: busybox has a smaller one.
SETPRIV=/usr/libexec/qvm/setpriv
mkdir -p "$ROOT/etc/qvm/services" "$ROOT/etc/polkit-1/rules.d" \
    "$ROOT/usr/share/polkit-1/actions" "$ROOT/usr/share/polkit-1/rules.d" \
    "$ROOT/usr/share/dbus-1/system.d"
cat >"$ROOT/etc/passwd" <<'EOF2'
root:x:0:0:root:/root:/bin/sh
polkitd:x:996:996:polkit:/nonexistent:/bin/false
tester:x:1000:1000:tester:/nonexistent:/bin/false
nobody:x:65534:65534:nobody:/nonexistent:/bin/false
EOF2
cat >"$ROOT/etc/group" <<'EOF2'
root:x:0:
polkitd:x:996:
tester:x:1000:
nogroup:x:65534:
EOF2
sed "s#^Exec=@QUORVANE_HELPER_PATH@#Exec=$SETPRIV --inh-caps=-all --bounding-set=-all,+sys_rawio $GUEST_HELPER#" \
    "$SRC/resources/dbus/org.quorvane.Helper1.service.in" >"$ROOT/etc/qvm/services/org.quorvane.Helper1.service"
grep -q "^Exec=$SETPRIV " "$ROOT/etc/qvm/services/org.quorvane.Helper1.service" ||
    vm_die "the activation file has no Exec=@QUORVANE_HELPER_PATH@ line"
# polkitd is started by the bus too (the guest has no systemd).
printf '[D-BUS Service]\nName=org.freedesktop.PolicyKit1\nExec=%s --no-debug\nUser=root\n' "$POLKITD" \
    >"$ROOT/etc/qvm/services/org.freedesktop.PolicyKit1.service"
cp "$SRC/resources/dbus/org.quorvane.Helper1.conf" /usr/share/dbus-1/system.d/org.freedesktop.PolicyKit1.conf \
    "$ROOT/usr/share/dbus-1/system.d/"
cp "$SRC/resources/polkit/org.quorvane.helper.policy" "$ROOT/usr/share/polkit-1/actions/"
cp /usr/share/polkit-1/rules.d/50-default.rules "$ROOT/usr/share/polkit-1/rules.d/"
cat >"$ROOT/etc/polkit-1/rules.d/49-quorvane-test.rules" <<'EOF2'
polkit.addRule(function(action, subject) {
    if (action.id == "org.quorvane.helper.read-smart" && subject.user == "nobody")
        return polkit.Result.YES;
});
EOF2
# A system bus as Debian's system.conf sets it up: everything denied, then
# the bus itself and each service's own policy file allowed.
cat >"$ROOT/etc/qvm/bus.conf" <<'EOF2'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=/run/dbus/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <servicedir>/etc/qvm/services</servicedir>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Properties"/>
  </policy>
  <includedir>/usr/share/dbus-1/system.d</includedir>
</busconfig>
EOF2

AS_NOBODY=("$SETPRIV" --reuid=65534 --regid=65534 --clear-groups)
AS_TESTER=("$SETPRIV" --reuid=1000 --regid=1000 --clear-groups)
vm_step direct quorvane-cli scan --json
vm_step directsmart quorvane-cli smart 1 --json
vm_step bus sh -c 'mkdir -p /run/dbus && dbus-daemon --config-file=/etc/qvm/bus.conf --fork --print-address=1'
vm_step denied "${AS_TESTER[@]}" quorvane-cli scan --json
vm_step helped close-watch /tmp/closes-helped.log /dev/sda -- "${AS_NOBODY[@]}" quorvane-cli scan --json
vm_step helpedsmart close-watch /tmp/closes-helpedsmart.log /dev/sda -- \
    "${AS_NOBODY[@]}" quorvane-cli smart 1 --json
vm_step helpedmbr "${AS_NOBODY[@]}" quorvane-cli mbr 1 --json
vm_step closes sh -c 'for f in /tmp/closes-*.log; do n=${f#/tmp/closes-}; echo "== ${n%.log}"; cat "$f"; done'
vm_boot --ide --disk "$DISK_A,model=Hitachi HDS721010CLA332,serial=QVM-A-0001" \
    --include "$HELPER:$GUEST_HELPER" --include /usr/bin/dbus-daemon --include "/usr/bin/setpriv:$SETPRIV" \
    --include "$POLKITD" --include "$ROOT:/" --include "$CLOSE_WATCH:/usr/local/bin/close-watch"

ROUTE="quorvane-cli: using the privileged helper org.quorvane.Helper1 on the system bus"
SAME=$HERE/check_same.py
vm_check direct "$SAME" --rc 0 --json-has 'drives.0.serial_number="QVM-A-0001"'
vm_check bus "$SAME" --rc 0 --out-has "unix:path=/run/dbus/system_bus_socket"
vm_check helped "$SAME" --like "$VM_WORK/steps/direct" --err-has "$ROUTE"
vm_check helpedsmart "$SAME" --like "$VM_WORK/steps/directsmart" --rc 0
vm_check denied "$SAME" --rc 1 --json-doc '{"drives": []}' --err-has "$ROUTE"
vm_check helpedmbr "$SAME" --rc 1 --json-has 'error.kind="read_failed"'
vm_check closes "$HERE/check_closes.py" sda --steps helped helpedsmart
vm_schema scan direct denied helped
vm_schema smart directsmart helpedsmart
vm_schema mbr helpedmbr
vm_finish
