#!/usr/bin/env bash
# Makes the Debian package from the build's install rules, checks that it
# holds every file an installed Quorvane needs, runs lintian on it, unpacks it
# into a throw-away root and runs the unpacked quorvane-cli there.
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
# The helper and the watch service, once they are part of the build.
[ -f "$src/resources/dbus/org.quorvane.Helper1.conf" ] && expected+=(
  /usr/libexec/quorvane/quorvane-helper
  /usr/share/dbus-1/system-services/org.quorvane.Helper1.service
  /usr/share/dbus-1/system.d/org.quorvane.Helper1.conf
  /usr/share/polkit-1/actions/org.quorvane.helper.policy)
[ -f "$src/resources/systemd/quorvane-watch.service" ] &&
  expected+=(/lib/systemd/system/quorvane-watch.service)
missing=0
for f in "${expected[@]}"; do
  grep -qx "$f" "$work/contents" || { echo "FAILED: $f is not in the package"; missing=1; }
done
[ $missing = 0 ] || exit 1
echo "ok: all ${#expected[@]} files in the package"

deps=$(dpkg-deb -f "$deb" Depends)
case $deps in *libc6*) echo "ok: Depends: $deps" ;; *) echo "FAILED: Depends: '$deps'"; exit 1 ;; esac
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
