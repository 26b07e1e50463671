#!/usr/bin/env bash
# Makes the Debian package from the build's install rules, checks that it
# holds every file an installed Quorvane needs, runs lintian on it, unpacks it
# into a throw-away root and runs the unpacked quorvane-cli there; checks its
# maintainer scripts (check-maintainer-scripts.sh). The package's layout is
# the prefix /usr's whatever prefix the build was configured with, and an
# install for another prefix (/usr/local) keeps to that prefix, with the units
# and the bus activation file naming the programs where it put them.
set -euo pipefail
src=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log"; echo "FAILED: cpack"; exit 1; }
deb=$(ls "$work"/out/quorvane_*.deb)
echo "package: $(basename "$deb")"

dpkg-deb --contents "$deb" | awk '{print $NF}' | sed 's#^\./#/#' >"$work/contents"
expected=(
  /usr/bin/quorvane-cli
  /usr/share/applications/quorvane.desktop
  /usr/share/metainfo/org.quorvane.Quorvane.metainfo.xml
  /usr/share/icons/hicolor/scalable/apps/quorvane.svg
  /usr/share/man/man1/quorvane-cli.1.gz
  /usr/share/doc/quorvane/copyright
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/quorvane.png")
done
# The desktop program, unless the build left it out (QUORVANE_GUI=OFF).
[ -x "$build/src/quorvane" ] && expected+=(/usr/bin/quorvane /usr/share/man/man1/quorvane.1.gz)
# The helper and the watch service with its settings and metrics folder.
expected+=(
  /usr/libexec/quorvane/quorvane-helper
  /usr/share/dbus-1/system-services/org.quorvane.Helper1.service
  /usr/share/dbus-1/system.d/org.quorvane.Helper1.conf
  /usr/share/polkit-1/actions/org.quorvane.helper.policy
  /lib/systemd/system/quorvane-helper.service
  /lib/systemd/system/quorvane-watch.service
  /etc/quorvane/Quorvane.ini
  /var/lib/prometheus/node-exporter/
  /usr/share/quorvane/prometheus/quorvane-rules.yml
  /usr/share/quorvane/grafana/quorvane.json
  /usr/share/quorvane/json/common.schema.json
  /usr/share/quorvane/json/smart.schema.json)
missing=0
for f in "${expected[@]}"; do
  grep -qx "$f" "$work/contents" || { echo "FAILED: $f is not in the package"; missing=1; }
done
# The desktop program's modules, in its module folder under the library folder.
if [ -x "$build/src/quorvane" ]; then
  for module in quorvane-siren quorvane-history; do
    grep -qE "^/usr/lib/([^/]+/)?quorvane/$module\.so\$" "$work/contents" ||
      { echo "FAILED: the module $module.so is not in the package"; missing=1; }
  done
fi
[ $missing = 0 ] || exit 1
echo "ok: all ${#expected[@]} files in the package"

# The watch service's settings: a conffile only root reads, without a password.
dpkg-deb -e "$deb" "$work/control"
grep -qx /etc/quorvane/Quorvane.ini "$work/control/conffiles" ||
  { echo "FAILED: /etc/quorvane/Quorvane.ini is no conffile"; exit 1; }
mode=$(dpkg-deb --contents "$deb" | awk '$NF == "./etc/quorvane/Quorvane.ini" {print $1, $2}')
[ "$mode" = "-rw------- root/root" ] || { echo "FAILED: Quorvane.ini is '$mode'"; exit 1; }
echo "ok: /etc/quorvane/Quorvane.ini is a conffile, $mode"
"$src/tests/packaging/check-maintainer-scripts.sh" "$work/control"

deps=$(dpkg-deb -f "$deb" Depends)
# libssl and libsystemd are loaded at run time, so the package must name them;
# the history file needs SQLite.
for dep in libc6 libssl3 libsystemd0 libsqlite3-0; do
  case $deps in *"$dep"*) ;; *) echo "FAILED: Depends lacks $dep: '$deps'"; exit 1 ;; esac
done
echo "ok: Depends: $deps"
[ "$(dpkg-deb -f "$deb" Recommends)" = polkitd ] || { echo "FAILED: Recommends"; exit 1; }

# lintian: no errors (warnings are listed).
lintian --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 || true
cat "$work/lintian"
if grep -q '^E:' "$work/lintian"; then echo "FAILED: lintian reports errors"; exit 1; fi
echo "ok: lintian without errors ($(grep -c '^W:' "$work/lintian" || true) warnings)"

# Unpacked into a throw-away root, the programs run from there.
root=$work/root
dpkg-deb -x "$deb" "$root"
"$root/usr/bin/quorvane-cli" --version
out=$("$root/usr/bin/quorvane-cli" --drives "$src/samples/drives" scan)
echo "$out"
echo "$out" | grep -q "ST9160821AS" || { echo "FAILED: unpacked scan"; exit 1; }
echo "ok: unpacked quorvane-cli scans the sample drives"
grep -qx 'SMTP Password=' "$root/etc/quorvane/Quorvane.ini" ||
  { echo "FAILED: the packaged Quorvane.ini sets a password"; exit 1; }

# named_paths ROOT UNIT_DIR DATA_DIR: the programs, settings file and metrics
# folder that the units and the bus activation file name are all in ROOT.
named_paths() {
  local root=$1 unit_dir=$2 data_dir=$3 file path bad=0
  for file in "$unit_dir/quorvane-helper.service" "$unit_dir/quorvane-watch.service" \
              "$data_dir/dbus-1/system-services/org.quorvane.Helper1.service"; do
    [ -f "$root$file" ] || { echo "FAILED: $file is not installed"; bad=1; continue; }
    for path in $(sed -n 's/^\(ExecStart\|Exec\|ReadWritePaths\)=//p' "$root$file"); do
      case $path in
        /*.prom) path=${path%/*} ;; # written by the service, into its folder
        /*) ;;
        *) continue ;;
      esac
      [ -e "$root$path" ] || { echo "FAILED: $file names $path, which is not installed"; bad=1; }
    done
  done
  return $bad
}
named_paths "$root" /lib/systemd/system /usr/share
echo "ok: the package's units and bus activation file name what it installs"

# On a host without a drive the service ends with a status it does not restart on.
mkdir "$work/no-drives"
status=0
"$root/usr/bin/quorvane-cli" --drives "$work/no-drives" watch --count 1 --no-mail >/dev/null 2>&1 ||
  status=$?
unit_status=$(sed -n 's/^RestartPreventExitStatus=//p' "$root/lib/systemd/system/quorvane-watch.service")
if [ "$status" = 0 ] || [ "$unit_status" != "$status" ]; then
  echo "FAILED: watch without drives exits $status, the unit's RestartPreventExitStatus is '$unit_status'"
  exit 1
fi
echo "ok: watch without drives exits $status, which the unit does not restart on"

# Installed for another prefix, everything stays under it (the metrics folder
# is node_exporter's, the same for every prefix).
local_root=$work/local
DESTDIR=$local_root cmake --install "$build" --prefix /usr/local >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; echo "FAILED: cmake --install --prefix /usr/local"; exit 1; }
top=$(cd "$local_root" && find . -mindepth 1 -maxdepth 3 -not -path './usr' -not -path './usr/local' \
  -not -path './usr/local/*' -not -path './var' -not -path './var/lib' -not -path './var/lib/prometheus' | sort)
[ -z "$top" ] || { echo "FAILED: installed outside /usr/local:"; echo "$top"; exit 1; }
named_paths "$local_root" /usr/local/lib/systemd/system /usr/local/share
grep -q '^ExecStart=/usr/local/bin/quorvane-cli --settings /usr/local/etc/quorvane/Quorvane.ini ' \
  "$local_root/usr/local/lib/systemd/system/quorvane-watch.service" ||
  { echo "FAILED: the /usr/local watch unit does not run /usr/local's programs"; exit 1; }
echo "ok: installed for /usr/local, it keeps to /usr/local"
