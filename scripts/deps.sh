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
  help2man lintian libavahi-client-dev
  libmicrohttpd-dev chromium avahi-daemon avahi-utils iproute2
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

# rpcinfo, for the test that reads the gateway's own portmapper as people do
# (rpcinfo -p). Debian has it only in rpcbind, whose installation would start
# an rpcbind that takes port 111 from the gateway's tests: the one program is
# taken out of the package instead, and nothing is installed or started.
tools=/opt/tarvel-morrow-tools
if [ ! -x "$tools/rpcinfo" ] && ! command -v rpcinfo >/dev/null && [ ! -x /usr/sbin/rpcinfo ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  scratch=$(mktemp -d)
  chmod a+rwx "$scratch"  # apt's download user writes there
  (cd "$scratch" && apt-get download rpcbind >/dev/null && dpkg-deb -x rpcbind_*.deb root) &&
    $SUDO install -D -m 755 "$scratch/root/usr/sbin/rpcinfo" "$tools/rpcinfo"
  rm -rf "$scratch"
fi
