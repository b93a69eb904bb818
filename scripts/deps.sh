#!/usr/bin/env bash
# Installs every Debian 12 package the build, the program and the tests need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev libxkbcommon-dev
  libyaml-cpp-dev libfmt-dev libcli11-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang clang-format libclang-rt-14-dev
  xvfb xauth xdotool imagemagick
  qt6-qpa-plugins dbus at-spi2-core python3-pyatspi
  fp-utils
  libtirpc-dev rpcsvc-proto python3-pyvisa-py python3-yaml lxi-tools
  python3-serial
  libmicrohttpd-dev chromium libavahi-client-dev avahi-daemon avahi-utils iproute2
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
  # The tests run Avahi daemons of their own inside network namespaces; a
  # daemon of the machine's, started by the installation, would announce the
  # machine on its network for nothing. One that was there before is left be.
  if [[ " ${missing[*]} " == *" avahi-daemon "* ]] && [ -d /run/systemd/system ]; then
    $SUDO systemctl disable --now avahi-daemon.service avahi-daemon.socket || true
  fi
fi
