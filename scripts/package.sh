#!/usr/bin/env bash
# Builds Quorvane and makes the Debian package build/quorvane_<version>_<arch>.deb:
#   scripts/package.sh && sudo apt install ./build/quorvane_*.deb
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/build.sh"
cd "$top/build"
cpack -G DEB -B "$top/build" >/dev/null
rm -rf "$top/build/_CPack_Packages"
ls "$top"/build/quorvane_*.deb
