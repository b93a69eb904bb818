#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a scratch
# root and starts the installed program there, offscreen, on the simulated
# bench it brings beside itself. Passes when the program reaches the ready
# state and the package holds what an installation needs.
#
#   scripts/package-test.sh [build-folder]     (default: ./build)
set -euo pipefail
build_dir=$(cd "${1:-build}" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarvel-morrow-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "package-test: $*" >&2
  exit 1
}

echo "package-test: cpack in $build_dir"
cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
deb=$(find "$scratch/out" -maxdepth 1 -name 'tarvel-morrow_*.deb' | head -n 1)
[ -n "$deb" ] || fail "cpack made no .deb"
echo "package-test: $(basename "$deb")"

depends=$(dpkg-deb -f "$deb" Depends)
echo "package-test: Depends: $depends"
for needed in libqt6widgets6 libyaml-cpp; do
  grep -q "$needed" <<<"$depends" || fail "Depends does not name $needed"
done
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
program=$(find "$root" -path '*/lib/tarvel-morrow/tarvel-morrow' -type f | head -n 1)
[ -n "$program" ] || fail "the package holds no lib/tarvel-morrow/tarvel-morrow"
prefix=${program%/lib/tarvel-morrow/tarvel-morrow}
echo "package-test: installed under ${prefix#"$root"}"
# Debian keeps /usr/local for the administrator: the package installs into
# /usr whatever prefix the build had.
[ "${prefix#"$root"}" = /usr ] || fail "the package installs under ${prefix#"$root"}, not /usr"

for file in \
  bin/tarvel-morrow \
  bin/tm-adapter-emulator \
  bin/tm-adapter-check \
  bin/tm-gateway \
  bin/tm-gateway-emulator \
  lib/tarvel-morrow/libtm-gpib.so \
  lib/tarvel-morrow/Quillon2.chm \
  share/tarvel-morrow/help/Quillon.chm \
  share/tarvel-morrow/help/Quillon2.chm \
  share/tarvel-morrow/help/Quillon2.hhp \
  share/tarvel-morrow/help/html/window.html \
  share/tarvel-morrow/help/html/drivers.html \
  share/applications/tarvel-morrow.desktop \
  share/icons/hicolor/16x16/apps/tarvel-morrow.png \
  share/icons/hicolor/32x32/apps/tarvel-morrow.png \
  share/icons/hicolor/48x48/apps/tarvel-morrow.png; do
  [ -e "$prefix/$file" ] || fail "missing $file"
done

# The gateway's unit, disabled (no maintainer script enables it), and its
# options file as a conffile.
unit=$root/lib/systemd/system/tm-gateway.service
[ -f "$unit" ] || fail "missing /lib/systemd/system/tm-gateway.service"
grep -qx 'ExecStart=/usr/bin/tm-gateway $TM_GATEWAY_OPTIONS' "$unit" || fail "the unit starts no /usr/bin/tm-gateway"
grep -qx 'EnvironmentFile=-/etc/default/tm-gateway' "$unit" || fail "the unit reads no /etc/default/tm-gateway"
[ -f "$root/etc/default/tm-gateway" ] || fail "missing /etc/default/tm-gateway"
dpkg-deb -e "$deb" "$scratch/control"
grep -qx /etc/default/tm-gateway "$scratch/control/conffiles" || fail "/etc/default/tm-gateway is no conffile"
if grep -rqs 'systemctl\|deb-systemd' "$scratch/control"; then
  fail "a maintainer script enables or starts the gateway"
fi

# Nothing of the build tree may remain in the installed program.
if readelf -d "$program" | grep -E 'R(UN)?PATH' | grep -q "$build_dir"; then
  fail "the installed program still names the build folder in its run path"
fi

run() {
  env -u GPIB_LIBRARY -u GPIB_SIM_BENCH -u GPIB_SIM_TRACE \
    QT_QPA_PLATFORM=offscreen GPIB_SIM_INSTANT=1 TARVEL_MORROW_READY_PROBE=1 \
    XDG_RUNTIME_DIR="$scratch" timeout 30 "$1" 2>"$scratch/stderr" || true
}
for start in "$program" "$prefix/bin/tarvel-morrow"; do
  output=$(run "$start")
  echo "package-test: ${start#"$root"}:"
  sed 's/^/    /' <<<"$output"
  grep -qx 'state: ready' <<<"$output" || { cat "$scratch/stderr" >&2; fail "not ready"; }
  # The double click opens this installation's help file, whatever prefix
  # the program was built for.
  grep -qx 'double-click help: /usr/share/tarvel-morrow/help/Quillon2.chm' <<<"$output" ||
    fail "the double click's help file is not the installed one"
done
echo "package-test: passed"
