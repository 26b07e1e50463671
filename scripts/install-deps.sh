#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Quorvane needs.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config git libssl-dev openssl \
  libgtest-dev libgmock-dev \
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-charts-dev libqt6opengl6-dev libqt6svg6 qt6-qpa-plugins \
  libgl-dev fonts-dejavu-core fonts-dejavu-extra \
  xvfb xauth trayer \
  qemu-system-x86 linux-image-amd64 busybox-static cpio fdisk dosfstools binutils file xz-utils libc6-dev \
  ntfs-3g exfatprogs e2fsprogs util-linux gdisk xfsprogs btrfs-progs \
  python3 python3-aiosmtpd python3-jsonschema dbus-daemon python3-dbusmock python3-dbus \
  libsystemd-dev libsqlite3-dev \
  libatasmart-bin smartmontools nvme-cli strace \
  prometheus prometheus-node-exporter \
  clang libclang-rt-14-dev \
  desktop-file-utils appstream libxml2-utils libdbus-1-dev polkitd systemd lintian shellcheck dpkg-dev librsvg2-bin >/dev/null
